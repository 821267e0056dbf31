#include "model/design.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace wp {

const char* slotKey(Slot s) {
    static const char* const keys[kHeaderSlots] = {
        "startTreadleTop", "fileType",          "warps",     "shedMode",
        "shafts",          "startTreadleRight", "loom",      "blocksize",
        "treadles",        "gridRatio",         "colorType", "wefts"};
    return keys[static_cast<int>(s)];
}

const char* loomTypeName(LoomType t) {
    switch (t) {
        case LoomType::JX3:
            return "JX3";
        case LoomType::OLM:
            return "OLM";
        case LoomType::Select:
            return "Select";
    }
    return "JX3";
}

bool LiftMatrix::allocate(int wefts, int warps, int chunksize) {
    release();
    if (chunksize <= 0 || wefts <= 0 || warps < 0) return false;
    const int blocks = (wefts + chunksize - 1) / chunksize;
    if (blocks > kRowBlockSlots) return false;
    rowModules_ = std::max(1, (warps + kModuleHooks - 1) / kModuleHooks);
    chunksize_ = chunksize;
    const size_t blockBytes = static_cast<size_t>(chunksize) * static_cast<size_t>(rowBytes());
    // Blocks of the last design are used again when they have the same size:
    // clearing memory at hand costs far less than fresh pages from the system.
    if (blockBytes != blockBytes_) {
        for (auto& b : blocks_) b.reset();
        blockBytes_ = blockBytes;
    }
    for (int b = 0; b < blocks; ++b) {
        auto& block = blocks_[static_cast<size_t>(b)];
        if (block) {
            std::memset(block.get(), 0, blockBytes);
            continue;
        }
        block.reset(new (std::nothrow) uint8_t[blockBytes]());
        if (!block) {
            release();
            return false;
        }
    }
    blockCount_ = blocks;
    rows_ = wefts;
    bits_ = warps;
    return true;
}

void LiftMatrix::release() {
    // The blocks stay for the next design (see allocate()); without a block
    // count nothing reads them.
    blockCount_ = 0;
    rows_ = 0;
    bits_ = 0;
}

uint8_t* LiftMatrix::row(RowNo r) {
    return const_cast<uint8_t*>(static_cast<const LiftMatrix*>(this)->row(r));
}

const uint8_t* LiftMatrix::row(RowNo r) const {
    if (r.value < 0 || r.value >= rows_ || blockCount_ == 0) return nullptr;
    const int block = r.value / chunksize_;
    if (block >= blockCount_) return nullptr;
    return blocks_[static_cast<size_t>(block)].get() +
           static_cast<size_t>(r.value % chunksize_) * static_cast<size_t>(rowBytes());
}

bool LiftMatrix::bit(RowNo r, int x) const {
    const uint8_t* p = row(r);
    if (!p || x < 0 || x >= bits_) return false;
    return (p[x / 8] >> (x % 8)) & 1;
}

void LiftMatrix::setBit(RowNo r, int x, bool on) {
    uint8_t* p = row(r);
    if (!p || x < 0 || x >= bits_) return;
    const auto mask = static_cast<uint8_t>(1u << (x % 8));
    if (on)
        p[x / 8] |= mask;
    else
        p[x / 8] &= static_cast<uint8_t>(~mask);
}

DesignModel::DesignModel() {
    tabbyEven.fill(0x55);
    tabbyOdd.fill(0xAA);
}

RowNo DesignModel::rowOfPick(PickNo p) const {
    if (p.value < 1 || p.value > header.wefts()) return RowNo{-1};
    return RowNo{header.wefts() - p.value};
}

bool DesignModel::lift(RowNo r, int x) const {
    if (r.value < 0 || r.value >= header.wefts() || x < 0 || x >= header.warps()) return false;
    return matrix.bit(r, x);
}

void DesignModel::setLift(RowNo r, int x, bool on) {
    if (r.value < 0 || r.value >= header.wefts() || x < 0 || x >= header.warps()) return;
    matrix.setBit(r, x, on);
}

bool DesignModel::liftAt(PickNo p, int warpEnd) const {
    return lift(rowOfPick(p), header.warps() - warpEnd);
}

bool DesignModel::tieUpBit(int treadle, int shaft) const {
    const int shafts = header.shafts();
    if (treadle < 0 || shaft < 0 || shaft >= shafts) return false;
    const size_t i = static_cast<size_t>(treadle * ((shafts + 7) / 8) + shaft / 8);
    return i < draft.tieUp.size() && (draft.tieUp[i] >> (shaft % 8)) & 1;
}

bool DesignModel::treadlingBit(int treadle, RowNo r) const {
    if (treadle < 0 || r.value < 0 || r.value >= header.wefts()) return false;
    const size_t i = static_cast<size_t>(treadle * ((header.wefts() + 7) / 8) + r.value / 8);
    return i < draft.treadling.size() && (draft.treadling[i] >> (r.value % 8)) & 1;
}

void DesignModel::setTreadlingBit(int treadle, RowNo r, bool on) {
    if (treadle < 0 || r.value < 0 || r.value >= header.wefts()) return;
    const size_t i = static_cast<size_t>(treadle * ((header.wefts() + 7) / 8) + r.value / 8);
    if (i >= draft.treadling.size()) return;
    const auto mask = static_cast<uint8_t>(1u << (r.value % 8));
    if (on)
        draft.treadling[i] |= mask;
    else
        draft.treadling[i] &= static_cast<uint8_t>(~mask);
}

bool DesignModel::allocateMatrix() {
    return matrix.allocate(header.wefts(), header.warps(), hw.chunksize);
}

void DesignModel::releaseDesign() {
    matrix.release();
    warpColours.clear();
    weftColours.clear();
    weftColourNumbers.clear();
    draft.clear();
    analysis.floatMap.clear();
}

void DesignModel::initialiseColours(uint32_t warpColour) {
    const auto warps = static_cast<size_t>(header.warps());
    const auto wefts = static_cast<size_t>(header.wefts());
    weftColours.assign(wefts, kDefaultWeftColour);
    warpColours.assign(warps, warpColour != 0 ? warpColour : kDefaultWarpColour);
    weftColourNumbers.assign(wefts, 0);
}

void DesignModel::invertDesign() {
    const int rowBytesUsed = (header.warps() + 7) / 8;
    for (int j = 0; j < header.wefts(); ++j) {
        uint8_t* p = matrix.row(RowNo{j});
        if (!p) continue;
        const int n = std::min(rowBytesUsed, matrix.rowBytes());
        for (int b = 0; b < n; ++b) p[b] = static_cast<uint8_t>(~p[b]);
    }
    auto complement = [](std::vector<uint8_t>& v, size_t n) {
        n = std::min(n, v.size());
        for (size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>(~v[i]);
    };
    const int shafts = header.shafts();
    if (header.loom() == kLoomCountermarche) {
        complement(draft.tieUp, static_cast<size_t>(shafts * ((shafts + 7) / 8)));
    } else if (header.loom() == kLoomDobby) {
        complement(draft.treadling,
                   static_cast<size_t>(header.treadles() * ((header.wefts() + 7) / 8)));
    }
}

std::vector<int> hookWalkOrder(const HardwareConfig& hw) {
    const int modules = std::clamp(hw.moduleCount, 0, kMaxModules);
    const int deep = std::clamp(hw.modulesDeep, 1, std::max(1, modules));
    const int total = modules * kModuleHooks;
    const int stride = (modules + deep - 1) / deep * kModuleHooks;
    std::vector<int> order;
    order.reserve(static_cast<size_t>(total));
    for (int k = 0; k < stride; ++k) {
        for (int r = 0; r < deep; ++r) {
            const int p = r * stride + k;
            if (p < total) order.push_back(p);
        }
    }
    return order;
}

int modulesUsed(const HardwareConfig& hw, int warps) {
    int placed = 0, highest = -1;
    for (int p : hookWalkOrder(hw)) {
        if (placed >= warps) break;
        if (p >= kMaxHooks || maskBit(hw.hookSkipMask, p)) continue;
        highest = std::max(highest, p);
        ++placed;
    }
    return highest < 0 ? 0 : highest / kModuleHooks + 1;
}

UsableHooks usableHookCount(const HardwareConfig& hw, int n) {
    UsableHooks r;
    if (hw.hookCount <= 0) return r;
    const int hooks = std::min(hw.hookCount, kMaskBits);
    int walked = 0;
    for (int h = 0; h < hooks && r.count < n; ++h) {
        walked = h + 1;
        if (!maskBit(hw.hookSkipMask, h)) ++r.count;
    }
    if (r.count < n) walked = hooks;
    r.modules = (std::min(walked, hw.hookCount) + kModuleHooks - 1) / kModuleHooks;
    return r;
}

}  // namespace wp
