#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "model/hardware.h"

namespace wp {

// Fixed sizes of the loom's hook space and of the lift matrix's row-block table.
inline constexpr int kModuleHooks = 220;  // hooks of one controller module
inline constexpr int kModuleBytes = 28;   // bytes per module group (224 bits)
inline constexpr int kMaxModules = 16;
inline constexpr int kMaxHooks = kMaxModules * kModuleHooks;   // 3520
inline constexpr int kMaskBytes = kMaxModules * kModuleBytes;  // 448
inline constexpr int kMaskBits = kMaskBytes * 8;               // 3584
inline constexpr int kRowBlockSlots = 100;

// A pick number as the weaver sees it: 1 is the first pick woven.
struct PickNo {
    int value = 0;
};
// A lift-matrix row: row 0 is the last pick of the design.
struct RowNo {
    int value = 0;
};

// The twelve words of the design header, in file order.
enum class Slot : int {
    startTreadleTop = 0,
    fileType = 1,
    warps = 2,
    shedMode = 3,
    shafts = 4,
    startTreadleRight = 5,
    loom = 6,
    blocksize = 7,
    treadles = 8,
    gridRatio = 9,
    colorType = 10,
    wefts = 11,
};
inline constexpr int kHeaderSlots = 12;
inline constexpr uint16_t kLoomDobby = 607;
inline constexpr uint16_t kLoomCountermarche = 608;

struct DesignHeader {
    std::array<uint16_t, kHeaderSlots> words{};

    uint16_t get(Slot s) const { return words[static_cast<int>(s)]; }
    void set(Slot s, uint16_t v) { words[static_cast<int>(s)] = v; }
    int warps() const { return get(Slot::warps); }
    int wefts() const { return get(Slot::wefts); }
    int shafts() const { return get(Slot::shafts); }
    int treadles() const { return get(Slot::treadles); }
    int loom() const { return get(Slot::loom); }
};

// Key names of the header slots, as the native draft format stores them.
const char* slotKey(Slot s);

// Design file types, as stored in the settings file.
enum class FileType : uint16_t {
    Native = 0,
    Imp = 1,
    Dw1 = 2,
    Bmp = 3,
    Tiff = 4,
    Jpeg = 5,
    Wif = 6
};

// Plain hook mask: byte h div 8, bit h mod 8.
using HookMask = std::array<uint8_t, kMaskBytes>;

inline bool maskBit(const HookMask& m, int h) {
    return h >= 0 && h < kMaskBits && (m[static_cast<size_t>(h / 8)] >> (h % 8)) & 1;
}
inline void setMaskBit(HookMask& m, int h) {
    if (h >= 0 && h < kMaskBits)
        m[static_cast<size_t>(h / 8)] |= static_cast<uint8_t>(1u << (h % 8));
}

// Module-packed place of hook h in a 448-byte pick buffer.
struct PackedPlace {
    int byte;
    uint8_t bit;
};
inline PackedPlace modulePackedPlace(int h) {
    const int inModule = h % kModuleHooks;
    return {(h / kModuleHooks) * kModuleBytes + inModule / 8,
            static_cast<uint8_t>(1u << (inModule % 8))};
}

// The bit-packed lift matrix, held in row blocks of `chunksize` rows so that no
// single allocation grows with the number of picks.
class LiftMatrix {
public:
    // Allocates ceil(wefts / chunksize) zero-filled blocks; false when memory runs
    // out or the design needs more than the 100 block slots (then the block count is 0).
    bool allocate(int wefts, int warps, int chunksize);
    // No rows any more; the blocks are kept to be cleared and used again by the
    // next allocate() of the same block size.
    void release();

    int blockCount() const { return blockCount_; }
    int rowModules() const { return rowModules_; }
    int rowBytes() const { return rowModules_ * kModuleBytes; }
    int rows() const { return rows_; }
    int bits() const { return bits_; }
    int chunksize() const { return chunksize_; }
    void setRowModules(int n) { rowModules_ = n; }

    // Row address; nullptr for a row outside the matrix.
    uint8_t* row(RowNo r);
    const uint8_t* row(RowNo r) const;

    bool bit(RowNo r, int x) const;
    void setBit(RowNo r, int x, bool on);

private:
    std::array<std::unique_ptr<uint8_t[]>, kRowBlockSlots> blocks_{};
    int blockCount_ = 0;
    int chunksize_ = 50;
    int rowModules_ = 1;
    int rows_ = 0;
    int bits_ = 0;
    size_t blockBytes_ = 0;
};

// Threading, tie-up and treadling. An empty vector means that part is absent.
struct ShaftDraft {
    std::vector<uint8_t> threading;  // one entry per warp bit: shaft index from 0
    std::vector<uint8_t> tieUp;      // treadle t: ceil(shafts/8) bytes
    std::vector<uint8_t> treadling;  // treadle t: ceil(wefts/8) bytes, bit j = row j

    void clear() {
        threading.clear();
        tieUp.clear();
        treadling.clear();
    }
};

struct AnalysisState {
    std::vector<uint8_t> floatMap;  // wefts x warps, row-major by lift-matrix row
    std::vector<int> warpHistogram;
    std::vector<int> weftHistogram;
    uint8_t floatCutLimit = 0;
    uint8_t displayMode = 0;  // 0 plain, 1 analysed, 2 weft floats marked, 3 warp floats marked
    bool bilevelView = false;
    bool cutPreview = false;
};

inline constexpr uint32_t kDefaultWarpColour = 255;       // red
inline constexpr uint32_t kDefaultWeftColour = 0xFFFFFF;  // white

// The one design model of the process.
class DesignModel {
public:
    DesignModel();

    DesignHeader header;
    LiftMatrix matrix;
    ShaftDraft draft;
    std::vector<uint32_t> warpColours;        // by warp end number - 1
    std::vector<uint32_t> weftColours;        // by pick number - 1
    std::vector<uint16_t> weftColourNumbers;  // by pick number - 1, 0 = none
    AnalysisState analysis;

    int currentPick = 1;
    int markerPick = 0;
    std::string designFileName;
    FileType designFileType = FileType::Native;
    bool designReady = false;
    bool shaftDraftAvailable = false;
    bool firstActivation = true;
    bool manualColours = false;

    std::array<uint8_t, kMaskBytes> tabbyEven{};  // 0x55: bits 0, 2, 4, ...
    std::array<uint8_t, kMaskBytes> tabbyOdd{};   // 0xAA: bits 1, 3, 5, ...

    HardwareConfig hw;

    bool hasDesign() const { return matrix.blockCount() > 0; }

    // Row of a pick number; a pick outside 1..wefts gives row -1.
    RowNo rowOfPick(PickNo p) const;

    // Lift bit of row/bit, bounded by the header; outside it reads 0 and writes nothing.
    bool lift(RowNo r, int x) const;
    void setLift(RowNo r, int x, bool on);
    // Lift of pick p and warp end e (both 1-based).
    bool liftAt(PickNo p, int warpEnd) const;

    // Tie-up and treadling bits, bounded by the header.
    bool tieUpBit(int treadle, int shaft) const;
    bool treadlingBit(int treadle, RowNo r) const;
    void setTreadlingBit(int treadle, RowNo r, bool on);

    // Allocates the lift matrix for the header's sizes (sets rowModules).
    bool allocateMatrix();
    // Frees the lift matrix, colour tables and shaft draft.
    void releaseDesign();
    // Allocates colour tables for the header's sizes; warpColour 0 means red.
    void initialiseColours(uint32_t warpColour);

    // Complements the design rows and, by loom layout, the tie-up or treadling.
    void invertDesign();
};

// Hooks in the order warp ends are placed on them: module rows interleaved
// (stride ceil(moduleCount / modulesDeep) modules) while every row still has
// hooks, then the rows that have hooks left, so that only hooks of existing
// modules are used and every one of them is reached.
std::vector<int> hookWalkOrder(const HardwareConfig& hw);

// Modules up to the highest hook that the walk uses for `warps` warp ends.
int modulesUsed(const HardwareConfig& hw, int warps);

// Usable-hook count: walks the hooks 1..hookCount in plain order, counting those
// not in the hook skip mask, until the count reaches n.
struct UsableHooks {
    int count = 0;    // n when the loom has room, else the number of usable hooks
    int modules = 0;  // modules the walk touched
};
UsableHooks usableHookCount(const HardwareConfig& hw, int n);

}  // namespace wp
