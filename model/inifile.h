#pragma once

#include <optional>
#include <string>
#include <vector>

namespace wp {

// A profile (INI) file: [Section] headers and key=value lines. Section and key
// names compare case-insensitively, as profile files always have; values are
// trimmed of spaces and of one pair of surrounding quotes. Lines the program
// does not touch (comments, unknown keys) are kept as they are on save.
class IniFile {
public:
    // Reads the file; a file that cannot be read gives an empty one and false,
    // with the reason's errno in *errorCode (ENOENT for a missing file).
    bool load(const std::string& path, int* errorCode = nullptr);
    void parse(const std::string& text);

    std::optional<std::string> value(const std::string& section, const std::string& key) const;
    std::string readString(const std::string& section, const std::string& key,
                           const std::string& def) const;
    // A missing key, or a value that does not start with a number, gives def.
    int readInt(const std::string& section, const std::string& key, int def) const;
    // All key=value pairs of a section, in file order.
    std::vector<std::pair<std::string, std::string>> sectionEntries(const std::string& section) const;

    void setValue(const std::string& section, const std::string& key, const std::string& value);
    void eraseSection(const std::string& section);

    std::string text() const;
    // Writes atomically: a crash in the middle never leaves a truncated file.
    bool save(const std::string& path, std::string* error = nullptr) const;

private:
    std::vector<std::string> lines_;
};

// Parses a whole token as a decimal integer (surrounding spaces allowed).
std::optional<long long> parseWholeInt(const std::string& text);

// Writes data to path through a temporary file in the same folder, flushed to disk
// and renamed over the old file.
bool writeFileAtomically(const std::string& path, const std::string& data, std::string* error);

}  // namespace wp
