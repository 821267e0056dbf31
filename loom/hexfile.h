#pragma once

#include <string>
#include <vector>

namespace wp {

// An Intel HEX firmware file, read whole and checked record by record before a
// single line goes to the controller: a half-flashed controller is worse than
// one that was not flashed at all.
struct HexFile {
    std::vector<std::string> lines;  // as they are sent: without line ends
    size_t size = 0;                 // bytes the lines take on the line, for the progress
    int badLine = 0;                 // 1-based line of the first fault, 0 when sound
    std::string fault;               // what is wrong with that line
    bool ok() const { return badLine == 0 && fault.empty(); }
};

// Splits the text into lines (CR LF or LF), leaves out blank lines and the
// spaces after a record, and checks each line as a record: colon, hex digits,
// byte count, record type 00..05, checksum, and one end-of-file record, last.
HexFile checkIntelHex(const std::string& text);

}  // namespace wp
