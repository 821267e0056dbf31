#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <thread>

#include "sim/loomsim.h"

namespace wp::sim::test {

using namespace std::chrono_literals;
using Millis = std::chrono::milliseconds;

// A JX3 frame with its check byte.
std::string jx3Frame(std::uint8_t code, std::uint8_t parameter, const std::string& data = {});
std::string hexOf(const std::string& bytes);
// A fresh path under the temporary directory; the file is removed by the destructor.
class TempPath {
public:
    explicit TempPath(const std::string& suffix);
    ~TempPath();
    TempPath(const TempPath&) = delete;
    TempPath& operator=(const TempPath&) = delete;
    const std::string& str() const { return path_; }

private:
    std::string path_;
};
std::string readFile(const std::string& path);

// Polls pred until it holds or the timeout passes.
template <typename Pred>
bool waitUntil(Pred pred, Millis timeout = 2000ms) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!pred()) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

// Runs a LoomSim on its own thread and talks to it through the slave side of the pty, raw,
// the way the host program opens its serial port.
class SimHarness {
public:
    explicit SimHarness(LoomSimOptions options);
    ~SimHarness();
    SimHarness(const SimHarness&) = delete;
    SimHarness& operator=(const SimHarness&) = delete;

    bool ok() const { return error_.empty(); }
    const std::string& error() const { return error_; }
    LoomSim& sim() { return sim_; }

    void write(const std::string& bytes);
    // Up to count bytes; fewer if the timeout passes or the line hangs up.
    std::string read(std::size_t count, Millis timeout = 2000ms);
    // Bytes up to and including terminator (or what came before the timeout).
    std::string readUntil(const std::string& terminator, Millis timeout = 2000ms);
    // True when nothing arrives for the whole period.
    bool quietFor(Millis period);
    // True once the line reports a hang-up (POLLHUP, end of file or EIO).
    bool waitHangup(Millis timeout = 2000ms);
    // Stops the simulator (if still running) and returns how run() ended.
    RunResult stop();

private:
    LoomSim sim_;
    std::thread thread_;
    RunResult result_;
    bool joined_ = false;
    int fd_ = -1;
    std::string error_;
};

}  // namespace wp::sim::test
