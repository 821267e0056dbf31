#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "sim/engine.h"
#include "sim/shuffle.h"

namespace wp::sim {

// A JX3 controller message: [code][value][code ^ value].
std::string jx3Message(std::uint8_t code, std::uint8_t value);

// The self-test report as (code, value) pairs: 10 = test step, 15 = a number, then 5 (passed)
// or 6 (failed).
std::vector<std::pair<std::uint8_t, std::uint8_t>> selfTestReport(int modules, bool fail);

// True for an Intel HEX line (":LLAAAATT<data>CC") whose length and checksum are right.
bool validHexRecord(std::string_view line);

// The JX3 controller: binary frames while its firmware runs, CR-terminated text lines while
// its firmware loader runs.
class Jx3Engine final : public Engine {
public:
    Jx3Engine(const LoomSimOptions& options, EngineContext& context);

    void start(TimePoint now) override;
    void onByte(std::uint8_t byte, TimePoint at) override;
    void onEnter(TimePoint at) override;
    void fillState(SimState& state) const override;

private:
    enum class Mode { Frames, Loader };

    void frameByte(std::uint8_t byte, TimePoint at);
    void quietAfterPartialFrame(std::uint64_t serial, bool loneCr, TimePoint at);
    void handleFrame(TimePoint at);
    TimePoint reply(std::uint64_t frame, std::uint8_t code, std::uint8_t value, TimePoint at);
    void endOfPick(int blocks, TimePoint base);
    void weavePending(TimePoint at);
    void startSelfTest(TimePoint base);
    void cancelPending();

    void enterLoader(TimePoint at);
    void loaderByte(std::uint8_t byte, TimePoint at);
    void loaderLine(TimePoint at);
    void finishLoad(TimePoint at);

    const LoomSimOptions& options_;
    EngineContext& ctx_;
    std::mt19937 random_;
    Mode mode_ = Mode::Frames;
    bool closing_ = false;        // a hang-up or stop is scheduled: take no more input
    std::uint64_t rxSerial_ = 0;  // bumped by every byte, so timers can tell silence

    std::vector<std::uint8_t> frame_;
    std::uint64_t frames_ = 0;
    std::array<std::uint8_t, kPickBytes> blocks_{};
    int blocksPerPick_ = 0;
    std::optional<WovenPick> pending_;
    std::uint64_t pickSerial_ = 0;
    std::uint64_t readySerial_ = 0;
    std::uint64_t testSerial_ = 0;
    std::uint64_t selfTests_ = 0;
    std::uint64_t woven_ = 0;
    std::optional<std::uint8_t> maxValves_;
    std::optional<std::uint8_t> powerOnTime_;
    std::optional<std::uint8_t> pumpTimeout_;

    std::string line_;
    bool lineBinary_ = false;
    TimePoint lastLoaderByte_{};
    bool loadStarted_ = false;
    std::uint64_t goodRecords_ = 0;
    std::uint64_t badRecords_ = 0;
    std::uint64_t loadsCompleted_ = 0;
};

}  // namespace wp::sim
