#pragma once

// The OLM controller's register commands. Every command is a line
// "M)D" + page "." offset + "K0" + hexadecimal value, ended by CR; the
// controller echoes each byte and then answers with text in which one letter
// matters.
namespace wp::olm {

// A command line: kLineStart, page (two decimal digits), ".", offset (two
// decimal digits), kValueStart, the value in uppercase hexadecimal.
inline constexpr const char* kLineStart = "M)D";
inline constexpr const char* kValueStart = "K0";

// Control registers.
inline constexpr unsigned kControlPage = 14;
inline constexpr unsigned kDirectSwitch = 50;  // "AB" switches direct mode on, nothing off
inline constexpr unsigned kDirectWord = 52;    // word of the pick to weave now (4 digits)
inline constexpr unsigned kDirectByte = 54;    // byte of the pick to weave now (2 digits)
inline constexpr const char* kDirectOnValue = "AB";

// The pick store: entry i has its word (4 digits) at page i / 32 and its byte
// ("00" and 2 digits) at page i / 32 + 7, both at offset (i mod 32) x 2.
inline constexpr unsigned kStoreEntriesPerPage = 32;
inline constexpr unsigned kStoreBytePageOffset = 7;
inline constexpr const char* kStoreBytePrefix = "00";
inline constexpr int kStoreSize = 220;

inline constexpr int kWordDigits = 4;
inline constexpr int kByteDigits = 2;

// The letters that matter in an answer.
inline constexpr char kDirectOnLetter = 'A';
inline constexpr char kDirectOffLetter = 'E';
inline constexpr char kWovenLetter = 'Q';
inline constexpr char kStoredLetter = 'R';
inline constexpr char kOtherFinalLetter = 'Z';
inline constexpr char kBell = 0x07;  // the search for the letter stops here

// Waits, in milliseconds.
inline constexpr int kAnswerMs = 5000;        // for the answer to a command
inline constexpr int kDirectOnRetryMs = 500;  // a second look for "A", then the command again
inline constexpr int kDirectOnLastMs = 1000;
inline constexpr int kDirectOffMs = 1000;
inline constexpr int kWeaveMs = 100000;  // the weaver has this long to weave a direct pick

// Most shafts (or treadles) the controller lifts.
inline constexpr int kMaxShafts = 24;

}  // namespace wp::olm
