#pragma once

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "sim/options.h"
#include "sim/record.h"

namespace wp::sim {

using Clock = std::chrono::steady_clock;
using TimePoint = Clock::time_point;

// A snapshot of what the simulated controller knows, for tests and support output.
struct SimState {
    LoomType loom = LoomType::Jx3;
    bool running = false;
    bool hungUp = false;
    std::uint64_t framesReceived = 0;  // JX3 frames, or OLM command lines
    std::uint64_t picksWoven = 0;
    bool pickPending = false;

    // JX3
    int blocksPerPick = 0;
    std::optional<std::uint8_t> maxValves;    // code 1
    std::optional<std::uint8_t> powerOnTime;  // code 3
    std::optional<std::uint8_t> pumpTimeout;  // code 7
    std::uint64_t selfTestsStarted = 0;
    bool loaderMode = false;
    std::uint64_t loaderGoodRecords = 0;  // of the current or last load
    std::uint64_t loaderBadRecords = 0;
    std::uint64_t loadsCompleted = 0;

    // OLM
    bool directMode = false;
    std::uint64_t storeWrites = 0;
};

// What a protocol engine may ask of the simulator around it. Engines never touch file
// descriptors or the clock themselves, so all timing (including line pacing) stays in the
// run loop. Every call happens on the run loop's thread.
class EngineContext {
public:
    virtual ~EngineContext() = default;
    // Queues bytes for the host, to go out at `due`. logIt: show them in --log output.
    virtual void send(TimePoint due, std::string bytes, bool logIt) = 0;
    // Runs fn(scheduled time) at `when`.
    virtual void at(TimePoint when, std::function<void(TimePoint)> fn) = 0;
    // Line time of `bytes` bytes (zero without pacing).
    virtual Clock::duration lineTime(std::size_t bytes) const = 0;
    virtual void hangUp(TimePoint when) = 0;
    // The device goes away at `when` (the host's line hangs up, its name is
    // gone) and comes back, on a new line under the same name, `away` later.
    virtual void unplug(TimePoint when, Clock::duration away) = 0;
    virtual void finish(TimePoint when) = 0;  // clean stop
    virtual void pickWoven(WovenPick pick) = 0;
    virtual void storeWritten(int index, const StoreEntry& entry) = 0;
    virtual void log(const std::string& line) = 0;
    virtual void tell(const std::string& line) = 0;  // for the person at the keyboard
};

class Engine {
public:
    virtual ~Engine() = default;
    virtual void start(TimePoint now) = 0;
    virtual void onByte(std::uint8_t byte, TimePoint at) = 0;
    virtual void onEnter(TimePoint at) = 0;
    virtual void fillState(SimState& state) const = 0;
};

// The faults that end the line once the word on the number-th woven pick has
// gone out (at `sent`): a hang-up, or the end of the simulation. True when one
// applies and the engine must take no more input.
bool endAfterPick(const LoomSimOptions& options, EngineContext& ctx, std::uint64_t number,
                  TimePoint sent);

inline bool listed(const std::vector<std::uint64_t>& numbers, std::uint64_t n) {
    return std::find(numbers.begin(), numbers.end(), n) != numbers.end();
}

// Sum of the values given for n (a repeated option adds up).
inline std::uint64_t faultValue(const std::vector<IndexedFault>& faults, std::uint64_t n) {
    std::uint64_t total = 0;
    for (const IndexedFault& fault : faults) {
        if (fault.index == n) total += fault.value;
    }
    return total;
}

inline std::string randomBytes(std::mt19937& random, std::uint64_t count) {
    std::string bytes;
    std::uniform_int_distribution<int> distribution(0, 255);
    for (std::uint64_t i = 0; i < count; ++i) bytes += static_cast<char>(distribution(random));
    return bytes;
}

}  // namespace wp::sim
