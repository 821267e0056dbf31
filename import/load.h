#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "import/reader.h"
#include "model/design.h"
#include "model/loadhost.h"

namespace wp {

// The open dialog's filter for each file type.
const char* fileFilter(FileType type);

// The single path by which designs reach the design model.
class DesignLoader {
public:
    explicit DesignLoader(LoadHost& s) : s_(s) {}

    // The File menu's open commands: dialog, release, read. True when a design
    // was loaded.
    bool openCommand(FileType type);
    // The reload at start-up: no dialog, the stored pick stays in force.
    bool reload(const std::string& path, FileType type);

    // False skips the controller reset a load does while the controller has not
    // answered yet (for front ends that only inspect designs).
    bool resetController = true;

private:
    bool commonLoad();
    ReadResult readFile(FileType type, const std::string& path);

    LoadHost& s_;
};

// The colours file of a design: its name cut before the last "." followed by
// "_colors.bmp".
std::string coloursFileName(const std::string& designFile);

// A design file's bytes, mapped from the page cache rather than copied.
class MappedFile {
public:
    MappedFile() = default;
    ~MappedFile();
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;

    bool open(const std::string& path, std::string& error, size_t maxBytes = 256u << 20);
    const uint8_t* data() const { return map_ ? static_cast<const uint8_t*>(map_) : copy_.data(); }
    size_t size() const { return map_ ? size_ : copy_.size(); }

private:
    void* map_ = nullptr;
    size_t size_ = 0;
    std::vector<uint8_t> copy_;
};

// Reads a whole file, refusing files larger than maxBytes.
bool readWholeFile(const std::string& path, std::vector<uint8_t>& out, std::string& error,
                   size_t maxBytes = 256u << 20);

}  // namespace wp
