#include "tools/coloursfile.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>

#include "model/inifile.h"
#include "tools/bmp.h"

namespace wp {

namespace {

constexpr std::streamsize kColoursFileMax = 64 << 20;

void putPixel32(std::vector<uint8_t>& out, uint32_t colour) {
    out.push_back(static_cast<uint8_t>(colour >> 16));  // blue
    out.push_back(static_cast<uint8_t>(colour >> 8));   // green
    out.push_back(static_cast<uint8_t>(colour));        // red
    out.push_back(0);
}

bool writeBytes(const std::string& path, const std::vector<uint8_t>& bytes, std::string& error) {
    return writeFileAtomically(path, std::string(bytes.begin(), bytes.end()), &error);
}

// Colour `c` in a palette of `count` used slots: its slot number, appended
// while there is room; 0 when the palette is full.
int slotOf(Palette& pal, uint32_t c) {
    for (int k = 1; k <= pal.count; ++k)
        if (pal.colours[static_cast<size_t>(k - 1)] == c) return k;
    if (pal.count >= kPaletteSlots) return 0;
    pal.colours[static_cast<size_t>(pal.count)] = c;
    return ++pal.count;
}

}  // namespace

std::vector<uint8_t> encodeWeftImage(const DesignModel& d) {
    const int warps = d.header.warps();
    const int wefts = d.header.wefts();
    const auto rowBytes = static_cast<size_t>(bmpRowBytes(warps, 1));
    std::vector<uint8_t> out = bmpHeader(warps, wefts, 1, 2);
    const uint8_t table[8] = {0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0xFF, 0x00};  // white, red
    out.insert(out.end(), table, table + 8);
    const size_t pixels = out.size();
    out.resize(pixels + rowBytes * static_cast<size_t>(wefts), 0);
    // The first stored row is the bottom of the picture: pick 1, the last row.
    for (int i = 0; i < wefts; ++i) {
        uint8_t* line = out.data() + pixels + static_cast<size_t>(i) * rowBytes;
        const RowNo j{wefts - 1 - i};
        for (int x = 0; x < warps; ++x)
            if (d.lift(j, x)) line[x / 8] |= static_cast<uint8_t>(0x80u >> (x % 8));
    }
    return out;
}

std::vector<uint8_t> encodeColoursFile(const DesignModel& d) {
    const int wefts = d.header.wefts();
    const int warps = d.header.warps();
    const int width = std::max(wefts, warps);
    std::vector<uint8_t> out = bmpHeader(width, 2, 32, 0);
    out.reserve(out.size() + 8 * static_cast<size_t>(width));
    const auto row = [&](const std::vector<uint32_t>& colours, int n) {
        for (int i = 0; i < width; ++i)
            putPixel32(out, i < n && static_cast<size_t>(i) < colours.size()
                                ? colours[static_cast<size_t>(i)]
                                : 0);
    };
    row(d.weftColours, wefts);
    row(d.warpColours, warps);
    return out;
}

bool writeWeftImage(const std::string& path, const DesignModel& d, std::string& error) {
    return writeBytes(path, encodeWeftImage(d), error);
}

bool writeColoursFile(const std::string& path, const DesignModel& d, std::string& error) {
    return writeBytes(path, encodeColoursFile(d), error);
}

std::string weftImageName(const std::string& chosen) {
    const size_t slash = chosen.find_last_of('/');
    const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    return chosen.find('.', nameStart) == std::string::npos ? chosen + ".bmp" : chosen;
}

ColoursFileResult readColoursFile(const std::string& path, DesignModel& d, ColourPalettes& p) {
    ColoursFileResult r;
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        r.error = std::strerror(errno);
        return r;
    }
    in.seekg(0, std::ios::end);
    const std::streamsize size = in.tellg();
    if (size < 0 || size > kColoursFileMax) {
        r.error = "the file is too large to be a colours file";
        return r;
    }
    std::vector<uint8_t> bytes(static_cast<size_t>(size));
    in.seekg(0);
    if (!in.read(reinterpret_cast<char*>(bytes.data()), size)) {
        r.error = "the file could not be read";
        return r;
    }
    BmpImage img;
    if (!decodeBmp(bytes, img, r.error)) return r;

    const int wefts = d.header.wefts();
    const int warps = d.header.warps();
    // Too narrow for the picks or the warp ends, or not two rows: not this design's.
    if (img.width < wefts || img.width < warps || img.height != 2 ||
        d.weftColours.size() < static_cast<size_t>(wefts) ||
        d.weftColourNumbers.size() < static_cast<size_t>(wefts) ||
        d.warpColours.size() < static_cast<size_t>(warps)) {
        r.status = ColoursFileStatus::WrongSize;
        return r;
    }
    p.weft.count = 0;
    p.warp.count = 0;
    p.weft.colours.fill(kWhite);
    p.warp.colours.fill(kWhite);
    for (int i = 0; i < wefts; ++i) {
        const uint32_t c = img.at(i, 1);  // the bottom row
        d.weftColours[static_cast<size_t>(i)] = c;
        d.weftColourNumbers[static_cast<size_t>(i)] = static_cast<uint16_t>(slotOf(p.weft, c));
    }
    for (int j = 0; j < warps; ++j) {
        const uint32_t c = img.at(j, 0);  // the top row
        d.warpColours[static_cast<size_t>(j)] = c;
        slotOf(p.warp, c);
    }
    r.status = p.weft.count < kPaletteSlots && p.warp.count < kPaletteSlots
                   ? ColoursFileStatus::Read
                   : ColoursFileStatus::TooManyColours;
    return r;
}

}  // namespace wp
