#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace wp {

// A profile (INI) file as Windows programs read and write them, for the
// settings file and for WIF drafts alike: [Section] headers and key=value
// lines. Section and key names compare without regard to case; values are
// trimmed of spaces and of one pair of surrounding quotes and otherwise kept
// as they stand (no list splitting, no escapes). Lines starting with ';' or '#'
// are comments; a byte-order mark and CR, LF or CRLF line ends are accepted.
// When a key appears twice, the first one counts. Lines the program does not
// touch (comments, unknown keys) are kept as they are on save.
class IniFile {
public:
    // Reads the file; a file that cannot be read gives an empty one and false,
    // with the reason's errno in *errorCode (ENOENT for a missing file).
    bool load(const std::string& path, int* errorCode = nullptr);
    void parse(std::string_view text);

    bool hasSection(std::string_view section) const;
    std::optional<std::string> value(std::string_view section, std::string_view key) const;
    std::string readString(std::string_view section, std::string_view key,
                           const std::string& def) const;
    // A missing key, or a value that does not start with a number, gives def.
    int readInt(std::string_view section, std::string_view key, int def) const;
    // All key=value pairs of a section, in file order, values trimmed.
    std::vector<std::pair<std::string, std::string>> sectionEntries(std::string_view section) const;
    // The same without copies, for large sections; the views last until the
    // file is changed.
    void forEachEntry(
        std::string_view section,
        const std::function<void(std::string_view key, std::string_view value)>& f) const;
    // The raw lines of each section of that name, in file order, for readers
    // that walk large sections themselves; lines end in "\n" or "\r\n".
    std::vector<std::string_view> sectionTexts(std::string_view section) const;

    void setValue(const std::string& section, const std::string& key, const std::string& value);
    void eraseSection(const std::string& section);

    std::string text() const;
    // Writes atomically: a crash in the middle never leaves a truncated file.
    bool save(const std::string& path, std::string* error = nullptr) const;

private:
    // A section's name is text_[nameAt, nameAt + nameLength), its lines
    // text_[begin, end) after its header. Offsets, so that copies stay whole.
    struct Section {
        size_t nameAt, nameLength;
        size_t begin, end;
    };
    std::string_view nameOf(const Section& s) const {
        return std::string_view(text_).substr(s.nameAt, s.nameLength);
    }
    // Each key=value line of the section, in file order; false from f stops.
    template <typename F>
    void scan(const Section& s, F f) const;
    // Splits text_ into lines for an edit, and back.
    std::vector<std::string> lines() const;
    void setLines(const std::vector<std::string>& lines);

    std::string text_;
    std::vector<Section> sections_;
};

// Whether two section or key names are the same without regard to case.
bool sameName(std::string_view a, std::string_view b);

// Parses a whole token as a decimal integer (surrounding spaces allowed).
std::optional<long long> parseWholeInt(std::string_view text);

// Writes data to path through a temporary file in the same folder, flushed to
// disk and renamed over the old file. A symbolic link at path is followed, so
// the file it points to is replaced and the link stays; a folder, device, FIFO
// or socket at path is refused.
bool writeFileAtomically(const std::string& path, const std::string& data, std::string* error);

}  // namespace wp
