#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace wp::sim {

enum class LoomType { Jx3, Olm };

// How an OLM pick value (word W, byte B) maps to raised treadles or shafts.
struct OlmDraft {
    enum class Kind { Dobby607, Countermarche608 };
    Kind kind = Kind::Dobby607;
    int shafts = 0;  // countermarche only: number of shafts S
};

// A fault keyed by frame (JX3) or command line (OLM) number, counted from 1.
struct IndexedFault {
    std::uint64_t index = 0;
    std::uint32_t value = 0;  // milliseconds for late answers, byte count for garbage
};

struct LoomSimOptions {
    LoomType loom = LoomType::Jx3;
    bool shuffle = true;                         // JX3: host shuffles each 28-byte block
    std::chrono::milliseconds weaveDelay{300};   // pending pick -> woven
    std::chrono::milliseconds readyDelay{20};    // JX3: begin weaving -> "ready" message
    std::chrono::milliseconds selfTestGap{3};    // JX3: between self-test report messages
    std::chrono::milliseconds wakeSilence{100};  // JX3: a lone CR followed by this much quiet
    std::chrono::milliseconds staleFrame{500};   // JX3: a partial frame is dropped after this
    bool interactive = false;                    // weave on Enter instead of after weaveDelay
    int enterFd = 0;                             // where Enter presses are read from
    bool noFirmware = false;                     // JX3: start in the firmware loader
    bool selfTestFail = false;                   // JX3: self-test reports a failure
    int modules = 4;                             // JX3: module count the self-test reports
    bool baudPace = false;                       // bytes take their real time on the line
    OlmDraft olmDraft;
    std::string recordPath;
    std::string picturePath;
    std::string linkPath;
    bool log = false;        // frames and answers to stderr in hex
    std::uint32_t seed = 1;  // for garbage bytes
    std::optional<std::uint64_t> exitAfterPicks;

    // Faults. Frame/line numbers count every received frame (resends included) from 1.
    std::vector<std::uint64_t> rejectFrames;  // JX3: answer 9 instead of handling
    std::vector<std::uint64_t> dropAnswers;   // no answer, handled otherwise
    std::vector<std::uint64_t> noiseAfter;    // JX3: a bogus message after the answer
    std::vector<IndexedFault> lateAnswers;    // answer value ms late
    std::vector<IndexedFault> garbageAfter;   // value random bytes after the answer
    std::optional<std::uint64_t> hangupAfterPicks;
    std::optional<std::uint64_t> hangupAfterFrame;  // JX3
    std::optional<std::uint64_t> unplugAfterPicks;  // the device goes, and comes back
    std::chrono::milliseconds unplugFor{1000};      // how long it stays away
};

struct ParsedArguments {
    bool ok = false;
    bool help = false;
    std::string error;
    LoomSimOptions options;
};

// Parses the program's arguments (without the program name).
ParsedArguments parseArguments(const std::vector<std::string>& args);
std::string usageText();

const char* loomName(LoomType loom);

}  // namespace wp::sim
