#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <string_view>

#include "sim/engine.h"

namespace wp::sim {

// "M)Dpp.ooK0<hex>": a register write. digits may be empty (direct mode off).
struct OlmCommand {
    int page = 0;
    int offset = 0;
    std::string digits;
};

// Parses one command line without its CR; empty when the line is not a register write.
std::optional<OlmCommand> parseOlmLine(std::string_view line);

// The OLM controller: ASCII register writes, every byte echoed at once.
class OlmEngine final : public Engine {
public:
    OlmEngine(const LoomSimOptions& options, EngineContext& context);

    void start(TimePoint now) override;
    void onByte(std::uint8_t byte, TimePoint at) override;
    void onEnter(TimePoint at) override;
    void fillState(SimState& state) const override;

private:
    struct PendingPick {
        std::uint32_t word = 0;
        std::uint8_t byte = 0;
        std::uint64_t line = 0;  // the command that asked for it, for its deferred answer
    };

    void handleLine(TimePoint at);
    // The answer text for a line, or empty when it is answered later (a direct pick).
    std::string execute(const OlmCommand& command, std::uint64_t line, TimePoint at);
    void answer(std::uint64_t line, const std::string& text, TimePoint at);
    void writeStore(int index, std::optional<std::uint32_t> word, std::optional<std::uint8_t> byte);
    void weavePending(TimePoint at);

    const LoomSimOptions& options_;
    EngineContext& ctx_;
    std::mt19937 random_;
    bool closing_ = false;
    std::string line_;
    bool lineTooLong_ = false;
    std::uint64_t lines_ = 0;
    bool direct_ = false;
    std::uint8_t directByte_ = 0;
    std::optional<PendingPick> pending_;
    std::uint64_t pickSerial_ = 0;
    std::uint64_t woven_ = 0;
    std::uint64_t storeWrites_ = 0;
    std::array<StoreEntry, kOlmStoreSize> store_;
};

}  // namespace wp::sim
