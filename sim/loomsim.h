#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "sim/engine.h"
#include "sim/options.h"
#include "sim/record.h"
#include "sim/status.h"

namespace wp::sim {

enum class StopReason {
    Requested,  // requestStop() (SIGINT/SIGTERM in the program)
    HungUp,     // a hang-up fault closed the line
    PicksDone,  // exitAfterPicks reached
    Failed,     // see RunResult::error
};

struct RunResult {
    StopReason reason = StopReason::Requested;
    std::string error;
};

// A loom controller on a pseudo-terminal. Typical use:
//   LoomSim sim(options);
//   if (!sim.open()) ...;
//   std::thread t([&] { sim.run(); });
//   ... host opens sim.devicePath() ...
//   sim.requestStop(); t.join();
// run() may be called once. The accessors may be called from any thread at any time.
class LoomSim {
public:
    explicit LoomSim(LoomSimOptions options);
    ~LoomSim();
    LoomSim(const LoomSim&) = delete;
    LoomSim& operator=(const LoomSim&) = delete;

    // Creates the pty (and the --link symlink and the record file).
    Status open();
    // The slave side the host opens, e.g. /dev/pts/3; empty before open().
    std::string devicePath() const;
    // Serves the host until stopped. Writes the picture (if a path was given) on the way out.
    RunResult run();
    // Both are async-signal-safe and thread-safe.
    void requestStop() noexcept;
    void requestPicture() noexcept;
    // Closes the pty and removes the symlink; the destructor does this too. Not while run()
    // is still going on another thread.
    void close();

    const LoomSimOptions& options() const;
    SimState state() const;
    std::vector<WovenPick> wovenPicks() const;
    // OLM store entries the host wrote, as (index, entry), by index.
    std::vector<std::pair<int, StoreEntry>> olmStore() const;
    // Writes the cloth picture now (PNG or PBM by the path's ending).
    Status writePicture(const std::string& path) const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace wp::sim
