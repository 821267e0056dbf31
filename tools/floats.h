#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "model/design.h"

namespace wp {

// Float analysis: runs of equal cells along each pick (weft floats) and along
// each warp end (warp floats), counted by length, marked in the float map,
// and cut where they are longer than a limit.
//
// Float map values: 0 not yet marked; 1..254 the length of the run the cell
// belongs to; runs of 255 cells or more store 1; kCutMark marks a cut.
inline constexpr int kFloatBins = 100;
inline constexpr uint8_t kCutMark = 255;
inline constexpr int kCutLimitMax = 100;

// Display modes of the analysis.
inline constexpr uint8_t kAnalysisClosed = 0;
inline constexpr uint8_t kAnalysed = 1;
inline constexpr uint8_t kWeftFloatsMarked = 2;
inline constexpr uint8_t kWarpFloatsMarked = 3;

enum class FloatLine { Picks, WarpEnds };
enum class FloatPass { Count, CountAndMark, Mark };

// Histogram bin of a run of n cells: bins 0..97 count runs of 1..98 cells,
// bin 98 runs of 99..254, bin 99 runs of 255 or more. As a float length shown
// to the weaver, the bin number is the run length - 1.
inline int floatBin(int n) {
    return n < 99 ? n - 1 : (n < 255 ? 98 : 99);
}

// Where an even remainder of a too-long run is cut: a draw of 0..98, an odd
// draw moves the cut one cell towards the start of the run.
using CutDraw = std::function<int()>;
// Seeded once from the clock.
CutDraw clockSeededDraw();
// The same draws for the same seed, for scripts and tests.
CutDraw seededDraw(uint32_t seed);

// Opens the analysis: histograms and float map allocated (the map for the
// design's size), display mode 1, bilevel view and cut preview off. False when
// memory runs out; then nothing has changed.
bool openFloatAnalysis(DesignModel& d);

// One pass over every line of a direction. Count adds to that direction's
// histogram (weft floats along picks, warp floats along warp ends); marking
// writes every cell's run length into the float map, cut marks included.
void runFloatPass(DesignModel& d, FloatLine line, FloatPass kind);

// The Analyse button: clears map and histograms, counts and marks the weft
// floats, counts the warp floats; display mode 1, cut preview off.
void analyseFloats(DesignModel& d);

// The longest float of a histogram as the panel shows it: ">254" when runs of
// 255 cells or more exist, else the highest non-empty bin above 0, else "0".
std::string longestFloatText(const std::vector<int>& histogram);

// Show Weft / Show Warp with the Limit field's value (nothing when the field is
// empty). The cut limit becomes the value when it is above 2, else 0; only then
// are the runs of that direction marked (display mode 2 or 3, cut preview off).
// True when the design grid must be repainted.
bool showFloats(DesignModel& d, FloatLine line, std::optional<int> limit);

// A new Limit value while runs are marked: shown cut marks are removed and the
// limit takes the value (above 2 only). True when the grid must be repainted.
bool changeCutLimit(DesignModel& d, std::optional<int> limit);

// Show TieUp: turns the cut preview on (cut marks placed) or off (removed).
// True when it acted.
bool toggleCutPreview(DesignModel& d, const CutDraw& draw);
// The two halves, along the lines of the display mode.
void placeCutMarks(DesignModel& d, const CutDraw& draw);
void removeCutMarks(DesignModel& d);

// Apply: complements every lift-matrix cell that holds a cut mark. The marks
// stay, so a second Apply restores the design. Returns the cells flipped.
int applyCuts(DesignModel& d);

// Done: map and histograms freed, limit, display mode, bilevel view and cut
// preview cleared.
void closeFloatAnalysis(DesignModel& d);

// Float repair by hand: while the analysis is open (display mode 1 to 3) the
// cell of lift-matrix row j and bit x is complemented; in the marked views
// (modes 2 and 3) its float-map entry becomes 1, so it shows as a one-cell run
// until the next marking pass. False when nothing changed (analysis closed, or
// a cell outside the design).
bool flipCellByHand(DesignModel& d, RowNo j, int x);

// Colour (0x00BBGGRR) of a design cell while runs are marked (display modes 2
// and 3): cut marks black; with a limit of 2 or more, runs over the limit blue
// (lifted) or green (not lifted), others red and white in the bilevel view, or
// their plain colours.
inline constexpr uint32_t kFloatCutColour = 0x000000;
inline constexpr uint32_t kLongWarpFloatColour = 0xFF0000;  // blue
inline constexpr uint32_t kLongWeftFloatColour = 0x00FF00;  // green
inline constexpr uint32_t kBilevelLiftedColour = 0x0000FF;  // red
inline constexpr uint32_t kBilevelSunkColour = 0xFFFFFF;    // white
inline uint32_t floatViewColour(bool lifted, uint8_t v, uint8_t limit, bool bilevel,
                                uint32_t warpColour, uint32_t weftColour) {
    if (v == kCutMark) return kFloatCutColour;
    if (limit < 2) return lifted ? warpColour : weftColour;
    if (lifted)
        return v > limit ? kLongWarpFloatColour : (bilevel ? kBilevelLiftedColour : warpColour);
    return v > limit ? kLongWeftFloatColour : (bilevel ? kBilevelSunkColour : weftColour);
}

// What the float chart plots: bins 0 .. n + 1 of both histograms (at most
// bin 99), n being the highest bin above 0 that either histogram uses, and
// the counts of runs of 255 cells or more as text (" " when there are none).
struct FloatChartData {
    std::vector<int> warp;
    std::vector<int> weft;
    std::string warpLabel;
    std::string weftLabel;
};
FloatChartData floatChartData(const AnalysisState& a);

}  // namespace wp
