#pragma once

#include <cstdint>

// The JX3 controller's binary frames. Host to controller: code, parameter,
// 0 or 28 data bytes, then a check byte, the XOR of every byte before it.
// Controller to host: 3 bytes, code and value; the third is not examined.
namespace wp::jx3 {

// Frame codes, host to controller.
enum Command : uint8_t {
    kMaxValves = 1,      // parameter: MaxValves
    kReset = 2,          // parameter 0: reset; 1: reset after a load, or stop
    kPowerOnTime = 3,    // parameter: PowerOnTime / 2
    kSelfTest = 4,       // parameter 1
    kPumpTimeout = 7,    // parameter: PumpTimeout / 2
    kBeginWeaving = 11,  // parameter: module blocks per pick
    kModuleBlock = 13,   // parameter: block number from 1; 28 data bytes
    kEndOfPick = 14,     // parameter: module blocks per pick
};

// Parameter of kReset that stops a run (and resets after a design load).
inline constexpr uint8_t kStopParameter = 1;

// Response codes, controller to host.
enum Response : uint8_t {
    kTestPassed = 5,
    kTestFailed = 6,
    kAccepted = 8,
    kRejected = 9,  // the frame is sent once more
    kTestLine = 10,
    kReady = 12,  // value kPickWoven when a pick has been woven
    kTestNumber = 15,
};

// Value of kReady when the loom has woven a pick.
inline constexpr uint8_t kPickWoven = 0;
// A 3-byte message with a code above this is the controller's chatter.
inline constexpr uint8_t kLastResponseCode = 15;

inline constexpr int kMessageBytes = 3;
inline constexpr int kFrameOverhead = 3;  // code, parameter, check
inline constexpr int kBlockDataBytes = 28;
// Bytes asked for per read in the loader's text mode.
inline constexpr int kTextReadBytes = 86;

// Waits, in milliseconds.
inline constexpr int kAnswerMs = 3000;      // for the answer to a frame
inline constexpr int kStopReportMs = 5000;  // for the report before a repeated stop

// Settings frames are sent only for values inside these bounds (exclusive).
inline constexpr int kPumpTimeoutAbove = 30, kPumpTimeoutBelow = 512;
inline constexpr int kMaxValvesAbove = 4, kMaxValvesBelow = 255;
inline constexpr int kPowerOnTimeAbove = 4, kPowerOnTimeBelow = 255;

// The firmware loader speaks text lines ended by CR.
// Commands before the HEX lines, in this order; the loader answers each.
inline constexpr const char* kLoaderPreamble[] = {"Z", "U",    "W 0", "R", "W 8",
                                                  "R", "W C8", "R",   "L"};
// After the last HEX line.
inline constexpr const char* kLoaderEnd = "Z";
inline constexpr int kLoaderHelloMs = 2000;    // for the answer to a lone CR
inline constexpr int kLoaderCommandMs = 1000;  // for each preamble command
inline constexpr int kLoaderEndMs = 2000;      // for the answer to the end command

}  // namespace wp::jx3
