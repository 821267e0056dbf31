#include "sim/engine.h"

namespace wp::sim {

namespace {

// Long enough for the host to read the last message before the line goes dead.
constexpr auto kHangupGrace = std::chrono::milliseconds(50);

}  // namespace

bool endAfterPick(const LoomSimOptions& options, EngineContext& ctx, std::uint64_t number,
                  TimePoint sent) {
    if (options.hangupAfterPicks == number) {
        ctx.log("hanging up after pick " + std::to_string(number));
        ctx.hangUp(sent + kHangupGrace);
        return true;
    }
    if (options.unplugAfterPicks == number) {
        // The controller stays powered: it goes on when the line is back.
        ctx.log("unplugged after pick " + std::to_string(number));
        ctx.unplug(sent + kHangupGrace, options.unplugFor);
        return false;
    }
    if (options.exitAfterPicks == number) {
        ctx.finish(sent);
        return true;
    }
    return false;
}

}  // namespace wp::sim
