#include "loom/hexfile.h"

#include <cstdio>

namespace wp {
namespace {

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

std::string hex2(unsigned v) {
    char buf[4];
    std::snprintf(buf, sizeof buf, "%02X", v & 0xFFu);
    return buf;
}

// Checks one record; empty when it is sound. Sets endOfFile for a type 01 record.
std::string checkRecord(const std::string& line, bool& endOfFile) {
    if (line.empty() || line[0] != ':') return "a record starts with ':'";
    if ((line.size() - 1) % 2 != 0) return "odd number of hex digits";
    std::vector<unsigned> bytes;
    for (size_t i = 1; i + 1 < line.size(); i += 2) {
        const int hi = hexDigit(line[i]), lo = hexDigit(line[i + 1]);
        if (hi < 0 || lo < 0) {
            std::string text = "'";
            text.append(line, i, 2).append("' is not a hex byte");
            return text;
        }
        bytes.push_back(static_cast<unsigned>(hi * 16 + lo));
    }
    if (bytes.size() < 5) return "too short for a record";
    const unsigned count = bytes[0];
    if (bytes.size() != count + 5)
        return "byte count " + hex2(count) + " but " + std::to_string(bytes.size() - 5) +
               " data bytes";
    const unsigned type = bytes[3];
    if (type > 5) return "unknown record type " + hex2(type);
    unsigned sum = 0;
    for (size_t i = 0; i + 1 < bytes.size(); ++i) sum += bytes[i];
    const unsigned want = (0x100u - (sum & 0xFFu)) & 0xFFu;
    if (bytes.back() != want)
        return "checksum " + hex2(bytes.back()) + ", the record needs " + hex2(want);
    if (type == 1) {
        if (count != 0) return "end-of-file record with data";
        endOfFile = true;
    }
    return {};
}

}  // namespace

HexFile checkIntelHex(const std::string& text) {
    HexFile f;
    // Blank lines and spaces after a record are what editors and tools leave
    // behind, not part of it: they are not sent. numbers[i] is the file's line
    // of lines[i], for the messages.
    std::vector<int> numbers;
    int fileLines = 0;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        start = end + 1;
        ++fileLines;
        const size_t last = line.find_last_not_of(" \t\r");
        if (last == std::string::npos) continue;
        line.erase(last + 1);
        f.size += line.size() + 2;  // sent with CR LF
        f.lines.push_back(std::move(line));
        numbers.push_back(fileLines);
    }
    bool endOfFile = false;
    for (size_t i = 0; i < f.lines.size(); ++i) {
        const int number = numbers[i];
        if (endOfFile) {
            f.badLine = number;
            f.fault = "data after the end-of-file record";
            return f;
        }
        const std::string fault = checkRecord(f.lines[i], endOfFile);
        if (!fault.empty()) {
            f.badLine = number;
            f.fault = fault;
            return f;
        }
    }
    if (!endOfFile) {
        f.badLine = fileLines + 1;
        f.fault =
            f.lines.empty() ? "the file is empty" : "no end-of-file record (the file is cut short)";
    }
    return f;
}

}  // namespace wp
