#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "model/design.h"
#include "tools/colours.h"

namespace wp {

// The weft image: the lift matrix as a two-colour bitmap, one pixel per cell,
// pick 1 at the bottom, lifted cells red on white.
std::vector<uint8_t> encodeWeftImage(const DesignModel& d);

// The colours file: a 32-bit bitmap two pixels high and max(wefts, warps)
// wide, weft colours in the bottom row (pick 1 first) and warp colours in
// the top row, each padded with black.
std::vector<uint8_t> encodeColoursFile(const DesignModel& d);

// Both are written beside and then renamed over the old file, so that a
// failed write never leaves half a file. False with the reason.
bool writeWeftImage(const std::string& path, const DesignModel& d, std::string& error);
bool writeColoursFile(const std::string& path, const DesignModel& d, std::string& error);

// The name the Save button writes: the chosen name, with ".bmp" appended when
// its file name has no ".".
std::string weftImageName(const std::string& chosen);

enum class ColoursFileStatus { Read, WrongSize, TooManyColours, Unreadable };
struct ColoursFileResult {
    ColoursFileStatus status = ColoursFileStatus::Unreadable;
    std::string error;  // why an unreadable file could not be read
    bool ok() const { return status == ColoursFileStatus::Read; }
};

// Reads a colours file into the design's colours and rebuilds both palettes
// from it: the distinct colours in order of first appearance, at most 16 each,
// weft colour numbers by palette slot. A file of the wrong size changes nothing;
// one with 16 or more weft or warp colours is read but reported.
ColoursFileResult readColoursFile(const std::string& path, DesignModel& d, ColourPalettes& p);

}  // namespace wp
