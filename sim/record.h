#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "sim/options.h"
#include "sim/picture.h"
#include "sim/status.h"

namespace wp::sim {

constexpr int kOlmStoreSize = 220;

struct WovenPick {
    std::vector<int> lifted;            // 1-based hooks (JX3) or treadles/shafts (OLM), ascending
    std::optional<std::uint32_t> word;  // OLM only
    std::optional<std::uint8_t> byte;   // OLM only
};

// One OLM pick store entry; a part the host never wrote stays empty.
struct StoreEntry {
    std::optional<std::uint32_t> word;
    std::optional<std::uint8_t> byte;
    std::vector<int> lifted;
};

// 1-based raised treadles (607) or shafts (608) of an OLM pick value.
std::vector<int> olmLifts(const OlmDraft& draft, std::uint32_t word, std::uint8_t byte);

std::string recordHeader(const LoomSimOptions& options);
std::string formatPickLine(std::size_t number, const WovenPick& pick);
std::string formatStoreLine(std::size_t index, const StoreEntry& entry);

// Width of the cloth picture: JX3 rounds the highest hook up to whole modules, OLM shows
// every treadle (24) or shaft.
int clothWidth(const LoomSimOptions& options, const std::vector<WovenPick>& picks);
// First woven pick at the bottom, hook 1 in the rightmost column. With no picks one blank
// row is drawn so that the file is still a valid picture.
Bitmap clothPicture(const std::vector<WovenPick>& picks, int width);

// The record file: picks are appended and flushed; a change to earlier content (the OLM
// store) rewrites the whole file through a temporary so that readers never see it half done.
class RecordFile {
public:
    RecordFile() = default;
    RecordFile(const RecordFile&) = delete;
    RecordFile& operator=(const RecordFile&) = delete;
    ~RecordFile();

    bool isOpen() const { return file_ != nullptr; }
    Status open(const std::string& path, const std::string& header);
    Status appendLine(const std::string& line);
    Status rewrite(const std::string& content);
    void close();

private:
    std::string path_;
    std::FILE* file_ = nullptr;
};

}  // namespace wp::sim
