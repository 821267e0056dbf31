#pragma once

#include <gtest/gtest.h>

#include <thread>
#include <utility>

#include "sim/loomsim.h"

namespace wp::test {

// The controller simulator running on a thread of its own for the length of
// a test, on a pseudo-terminal the session under test opens.
struct SimThread {
    explicit SimThread(sim::LoomSimOptions o) : sim(std::move(o)) {
        const sim::Status st = sim.open();
        EXPECT_TRUE(st.ok) << st.error;
        thread = std::thread([this] { sim.run(); });
    }
    ~SimThread() {
        sim.requestStop();
        thread.join();
    }
    SimThread(const SimThread&) = delete;
    SimThread& operator=(const SimThread&) = delete;
    sim::LoomSim sim;
    std::thread thread;
};

}  // namespace wp::test
