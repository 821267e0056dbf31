#include "sim/options.h"

#include <unistd.h>
#include <charconv>
#include <string_view>

namespace wp::sim {

namespace {

template <typename T>
bool parseNumber(std::string_view text, T min, T max, T& out) {
    T value{};
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (ec != std::errc() || ptr != end || text.empty() || value < min || value > max) {
        return false;
    }
    out = value;
    return true;
}

// "N:V" as used by --late and --garbage.
bool parsePair(std::string_view text, std::uint32_t maxValue, IndexedFault& out) {
    auto colon = text.find(':');
    if (colon == std::string_view::npos) return false;
    IndexedFault fault;
    if (!parseNumber<std::uint64_t>(text.substr(0, colon), 1, UINT64_MAX, fault.index)) {
        return false;
    }
    if (!parseNumber<std::uint32_t>(text.substr(colon + 1), 0, maxValue, fault.value)) {
        return false;
    }
    out = fault;
    return true;
}

bool parseDraft(std::string_view text, OlmDraft& out) {
    if (text == "607") {
        out = OlmDraft{};
        return true;
    }
    if (text.substr(0, 4) != "608:") return false;
    int shafts = 0;
    // The shaft bits ride in W above its low byte, and W holds 32 bits.
    if (!parseNumber(text.substr(4), 1, 24, shafts)) return false;
    out = OlmDraft{OlmDraft::Kind::Countermarche608, shafts};
    return true;
}

}  // namespace

const char* loomName(LoomType loom) {
    return loom == LoomType::Jx3 ? "jx3" : "olm";
}

std::string usageText() {
    return "Usage: weavepilot-loomsim [options]\n"
           "Plays a loom controller on a pseudo-terminal; the host opens the printed device.\n"
           "\n"
           "  --loom jx3|olm            loom type (default jx3)\n"
           "  --shuffle on|off          JX3: the host shuffles module blocks (default on)\n"
           "  --weave-ms MS             time to weave a pick (default 300)\n"
           "  --ready-ms MS             JX3: begin weaving -> ready message (default 20)\n"
           "  --interactive             weave each pick when Enter is pressed on stdin\n"
           "  --no-firmware             JX3: start in the firmware loader\n"
           "  --selftest-fail           JX3: the self-test reports a failure\n"
           "  --modules N               JX3: modules the self-test reports (1..16, default 4)\n"
           "  --baud-pace               bytes take their real line time (19200 or 4800 baud)\n"
           "  --olm-draft 607|608:S     OLM: decode picks as dobby or S-shaft countermarche\n"
           "  --record FILE             write the woven cloth record, flushed after each pick\n"
           "  --picture FILE            picture of the cloth at exit and on SIGUSR1\n"
           "                            (.png for PNG, anything else gives PBM)\n"
           "  --link PATH               symlink PATH to the device (removed at exit)\n"
           "  --log                     print received frames and answers to stderr\n"
           "  --exit-after-picks K      stop after the K-th woven pick\n"
           "  --seed N                  seed for garbage bytes (default 1)\n"
           "\n"
           "Faults (N counts received frames, or OLM command lines, from 1; repeatable):\n"
           "  --reject-frame N          JX3: answer frame N with 9 instead of handling it\n"
           "  --drop-answer N           handle frame/line N but send no answer\n"
           "  --noise-after N           JX3: send 20 00 00 after answering frame N\n"
           "  --late N:MS               answer frame/line N MS milliseconds late\n"
           "  --garbage N:COUNT         send COUNT random bytes after answering frame/line N\n"
           "  --hangup-after-picks K    close the line after the K-th woven pick\n"
           "  --hangup-after-frame N    JX3: close the line on receiving frame N\n"
           "  --unplug-after-picks K    remove the device after the K-th woven pick (a pulled\n"
           "                            cable) and bring it back, under --link, after\n"
           "  --unplug-ms MS            this long (default 1000)\n"
           "\n"
           "  --help                    show this text\n";
}

ParsedArguments parseArguments(const std::vector<std::string>& args) {
    ParsedArguments result;
    LoomSimOptions& o = result.options;
    o.enterFd = STDIN_FILENO;
    auto fail = [&result](std::string message) {
        result.ok = false;
        result.error = std::move(message);
        return result;
    };

    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string name = args[i];
        std::string value;
        bool hasValue = false;
        if (auto eq = name.find('='); name.rfind("--", 0) == 0 && eq != std::string::npos) {
            value = name.substr(eq + 1);
            name = name.substr(0, eq);
            hasValue = true;
        }
        auto takeValue = [&]() -> bool {
            if (hasValue) return true;
            if (i + 1 >= args.size()) return false;
            value = args[++i];
            return true;
        };
        auto bad = [&]() { return fail("invalid value for " + name + ": '" + value + "'"); };
        auto flag = [&](bool& target) {
            target = true;
            return !hasValue;
        };

        if (name == "--help" || name == "-h") {
            result.help = true;
            result.ok = true;
            return result;
        }
        // Options without a value.
        bool* flagTarget = nullptr;
        if (name == "--interactive") flagTarget = &o.interactive;
        if (name == "--no-firmware") flagTarget = &o.noFirmware;
        if (name == "--selftest-fail") flagTarget = &o.selfTestFail;
        if (name == "--baud-pace") flagTarget = &o.baudPace;
        if (name == "--log") flagTarget = &o.log;
        if (flagTarget != nullptr) {
            if (!flag(*flagTarget)) return fail(name + " takes no value");
            continue;
        }

        static const char* const withValue[] = {"--loom",
                                                "--shuffle",
                                                "--weave-ms",
                                                "--ready-ms",
                                                "--modules",
                                                "--olm-draft",
                                                "--record",
                                                "--picture",
                                                "--link",
                                                "--seed",
                                                "--exit-after-picks",
                                                "--reject-frame",
                                                "--drop-answer",
                                                "--noise-after",
                                                "--late",
                                                "--garbage",
                                                "--hangup-after-picks",
                                                "--hangup-after-frame",
                                                "--unplug-after-picks",
                                                "--unplug-ms"};
        bool known = false;
        for (const char* candidate : withValue) known = known || name == candidate;
        if (!known) return fail("unknown option " + name);
        if (!takeValue()) return fail(name + " needs a value");

        std::uint64_t n = 0;
        std::uint32_t ms = 0;
        IndexedFault fault;
        if (name == "--loom") {
            if (value == "jx3") {
                o.loom = LoomType::Jx3;
            } else if (value == "olm") {
                o.loom = LoomType::Olm;
            } else {
                return bad();
            }
        } else if (name == "--shuffle") {
            if (value != "on" && value != "off") return bad();
            o.shuffle = value == "on";
        } else if (name == "--weave-ms" || name == "--ready-ms" || name == "--unplug-ms") {
            if (!parseNumber<std::uint32_t>(value, 0, 3600000, ms)) return bad();
            (name == "--weave-ms"   ? o.weaveDelay
             : name == "--ready-ms" ? o.readyDelay
                                    : o.unplugFor) = std::chrono::milliseconds(ms);
        } else if (name == "--modules") {
            if (!parseNumber(value, 1, 16, o.modules)) return bad();
        } else if (name == "--olm-draft") {
            if (!parseDraft(value, o.olmDraft)) return bad();
        } else if (name == "--record") {
            o.recordPath = value;
        } else if (name == "--picture") {
            o.picturePath = value;
        } else if (name == "--link") {
            o.linkPath = value;
        } else if (name == "--seed") {
            if (!parseNumber<std::uint32_t>(value, 0, UINT32_MAX, o.seed)) return bad();
        } else if (name == "--late" || name == "--garbage") {
            const bool late = name == "--late";
            if (!parsePair(value, late ? 600000 : 1000000, fault)) return bad();
            (late ? o.lateAnswers : o.garbageAfter).push_back(fault);
        } else {
            if (!parseNumber<std::uint64_t>(value, 1, UINT64_MAX, n)) return bad();
            if (name == "--exit-after-picks") o.exitAfterPicks = n;
            if (name == "--reject-frame") o.rejectFrames.push_back(n);
            if (name == "--drop-answer") o.dropAnswers.push_back(n);
            if (name == "--noise-after") o.noiseAfter.push_back(n);
            if (name == "--hangup-after-picks") o.hangupAfterPicks = n;
            if (name == "--hangup-after-frame") o.hangupAfterFrame = n;
            if (name == "--unplug-after-picks") o.unplugAfterPicks = n;
        }
    }
    result.ok = true;
    return result;
}

}  // namespace wp::sim
