#include "sim/record.h"

#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <cstring>

namespace wp::sim {

namespace {

std::string joinLifts(const std::vector<int>& lifted) {
    std::string out;
    for (std::size_t i = 0; i < lifted.size(); ++i) {
        if (i > 0) out += ',';
        out += std::to_string(lifted[i]);
    }
    return out;
}

std::string hex(std::uint32_t value, int digits) {
    char text[16];
    std::snprintf(text, sizeof text, "%0*" PRIX32, digits, value);
    return text;
}

std::string wordText(const std::optional<std::uint32_t>& word) {
    return word ? hex(*word, 4) : std::string("-");
}

std::string byteText(const std::optional<std::uint8_t>& byte) {
    return byte ? hex(*byte, 2) : std::string("-");
}

}  // namespace

std::vector<int> olmLifts(const OlmDraft& draft, std::uint32_t word, std::uint8_t byte) {
    std::vector<int> lifted;
    if (draft.kind == OlmDraft::Kind::Dobby607) {
        for (int treadle = 1; treadle <= 8; ++treadle) {
            if ((byte >> (8 - treadle)) & 1U) lifted.push_back(treadle);
        }
        for (int treadle = 9; treadle <= 24; ++treadle) {
            if ((word >> (24 - treadle)) & 1U) lifted.push_back(treadle);
        }
    } else {
        const std::uint32_t shafts = word >> 8;
        for (int shaft = 1; shaft <= draft.shafts; ++shaft) {
            if ((shafts >> (draft.shafts - shaft)) & 1U) lifted.push_back(shaft);
        }
    }
    return lifted;
}

std::string recordHeader(const LoomSimOptions& options) {
    if (options.loom == LoomType::Jx3) {
        return std::string("# weavepilot-loomsim record: loom=jx3 shuffle=") +
               (options.shuffle ? "on" : "off") +
               "\n# pick K: 1-based lifted hooks of the K-th woven pick\n";
    }
    const bool dobby = options.olmDraft.kind == OlmDraft::Kind::Dobby607;
    const std::string draft = dobby ? "607" : "608:" + std::to_string(options.olmDraft.shafts);
    return "# weavepilot-loomsim record: loom=olm draft=" + draft +
           "\n# store I: pick store entry I (0-based) as last written, hex; "
           "pick K: K-th pick woven in direct mode; lift: raised " +
           (dobby ? "treadles" : "shafts") + ", 1-based\n";
}

std::string formatPickLine(std::size_t number, const WovenPick& pick) {
    std::string line = "pick ";
    line.append(std::to_string(number)).append(":");
    if (pick.word || pick.byte) {
        return line + " word=" + wordText(pick.word) + " byte=" + byteText(pick.byte) +
               " lift=" + joinLifts(pick.lifted);
    }
    if (!pick.lifted.empty()) line.append(" ").append(joinLifts(pick.lifted));
    return line;
}

std::string formatStoreLine(std::size_t index, const StoreEntry& entry) {
    return "store " + std::to_string(index) + ": word=" + wordText(entry.word) +
           " byte=" + byteText(entry.byte) + " lift=" + joinLifts(entry.lifted);
}

int clothWidth(const LoomSimOptions& options, const std::vector<WovenPick>& picks) {
    if (options.loom == LoomType::Olm) {
        const bool dobby = options.olmDraft.kind == OlmDraft::Kind::Dobby607;
        return dobby ? 24 : std::max(24, options.olmDraft.shafts);
    }
    int highest = 0;
    for (const WovenPick& pick : picks) {
        if (!pick.lifted.empty()) highest = std::max(highest, pick.lifted.back());
    }
    constexpr int kModule = 220;
    return std::max(1, (highest + kModule - 1) / kModule) * kModule;
}

Bitmap clothPicture(const std::vector<WovenPick>& picks, int width) {
    const int height = std::max<int>(1, static_cast<int>(picks.size()));
    Bitmap bitmap(width, height);
    for (std::size_t i = 0; i < picks.size(); ++i) {
        const int y = height - 1 - static_cast<int>(i);
        for (int lifted : picks[i].lifted) bitmap.setBlack(width - lifted, y);
    }
    return bitmap;
}

RecordFile::~RecordFile() {
    close();
}

Status RecordFile::open(const std::string& path, const std::string& header) {
    close();
    path_ = path;
    return rewrite(header);
}

Status RecordFile::appendLine(const std::string& line) {
    if (file_ == nullptr) return Status::failure("record file is not open");
    if (std::fputs((line + "\n").c_str(), file_) < 0 || std::fflush(file_) != 0) {
        return Status::failure("cannot write " + path_ + ": " + std::strerror(errno));
    }
    return Status::success();
}

Status RecordFile::rewrite(const std::string& content) {
    close();
    const std::string temporary = path_ + ".tmp";
    std::FILE* file = std::fopen(temporary.c_str(), "w");
    if (file == nullptr) {
        return Status::failure("cannot write " + temporary + ": " + std::strerror(errno));
    }
    const bool written = std::fwrite(content.data(), 1, content.size(), file) == content.size();
    if (std::fclose(file) != 0 || !written) {
        std::remove(temporary.c_str());
        return Status::failure("cannot write " + temporary);
    }
    if (std::rename(temporary.c_str(), path_.c_str()) != 0) {
        std::remove(temporary.c_str());
        return Status::failure("cannot replace " + path_ + ": " + std::strerror(errno));
    }
    file_ = std::fopen(path_.c_str(), "a");
    if (file_ == nullptr) {
        return Status::failure("cannot append to " + path_ + ": " + std::strerror(errno));
    }
    return Status::success();
}

void RecordFile::close() {
    if (file_ != nullptr) std::fclose(file_);
    file_ = nullptr;
}

}  // namespace wp::sim
