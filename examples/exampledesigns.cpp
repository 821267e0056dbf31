#include "examples/exampledesigns.h"

#include "model/inifile.h"

namespace wp::examples {
namespace {

constexpr uint32_t rgb(unsigned r, unsigned g, unsigned b) {
    return r | g << 8 | b << 16;
}

}  // namespace

// 8-shaft dobby: straight draw, 2/2 twill lift plan.
NativeDraft twill8() {
    NativeDraft d;
    d.warps = 48;
    d.wefts = 64;
    d.shafts = 8;
    d.treadles = 8;
    d.loom = 607;
    auto raised = [](int pick, int shaft) { return (shaft - pick + 800) % 8 < 4; };
    d.threading = [](int end) { return (end - 1) % 8; };
    // Treadle t raises shaft shafts - 1 - t.
    d.liftPlan = [raised](int treadle, int pick) { return raised(pick, 7 - treadle); };
    d.lifted = [raised](int pick, int end) { return raised(pick, (end - 1) % 8); };
    d.warpColour = [](int) { return rgb(30, 40, 110); };
    d.weftColour = [](int) { return rgb(240, 230, 200); };
    return d;
}

// 4-shaft countermarche rosepath: tie-up of 6 treadles, a treadle per pick.
NativeDraft rosepath() {
    static const int threadingOrder[] = {0, 1, 2, 3, 2, 1, 0, 3};
    static const bool tie[6][4] = {{1, 1, 0, 0}, {0, 1, 1, 0}, {0, 0, 1, 1},
                                   {1, 0, 0, 1}, {1, 0, 1, 0}, {0, 1, 0, 1}};
    static const int treadlingOrder[] = {0, 1, 2, 3, 2, 1, 0, 3, 4, 5, 4, 5};
    NativeDraft d;
    d.warps = 40;
    d.wefts = 48;
    d.shafts = 4;
    d.treadles = 6;
    d.loom = 608;
    d.threading = [](int end) { return threadingOrder[(end - 1) % 8]; };
    d.tieUp = [](int t, int s) { return tie[t][s]; };
    d.treadleOfPick = [](int pick) { return treadlingOrder[(pick - 1) % 12]; };
    d.lifted = [](int pick, int end) {
        return tie[treadlingOrder[(pick - 1) % 12]][threadingOrder[(end - 1) % 8]];
    };
    d.warpColour = [](int end) {
        return (end - 1) / 4 % 2 ? rgb(200, 40, 40) : rgb(250, 250, 240);
    };
    d.weftColour = [](int pick) { return (pick - 1) / 12 % 2 ? rgb(40, 90, 40) : rgb(30, 30, 30); };
    return d;
}

// Jacquard design on two modules: diamonds on a satin ground, striped warp,
// banded weft.
NativeDraft jacquard440() {
    NativeDraft d;
    d.warps = 440;
    d.wefts = 160;
    d.lifted = [](int pick, int end) {
        const int x = (end - 1) % 40 - 20, y = (pick - 1) % 40 - 20;
        const int r = (x < 0 ? -x : x) + (y < 0 ? -y : y);
        if (r < 14 && r > 8) return true;
        if (r <= 8) return (end + 2 * pick) % 5 == 0 ? false : true;
        return (end * 3 + pick) % 5 == 0;  // 5-end satin ground
    };
    d.warpColour = [](int end) {
        switch ((end - 1) / 20 % 3) {
            case 0:
                return rgb(180, 20, 60);
            case 1:
                return rgb(240, 200, 60);
            default:
                return rgb(20, 60, 150);
        }
    };
    d.weftColour = [](int pick) {
        return (pick - 1) / 40 % 2 ? rgb(250, 250, 250) : rgb(20, 20, 20);
    };
    return d;
}

NativeDraft big() {
    NativeDraft d;
    d.warps = 3520;
    d.wefts = 5000;
    d.lifted = [](int pick, int end) {
        unsigned h =
            static_cast<unsigned>(pick) * 2654435761u ^ static_cast<unsigned>(end) * 40503u;
        return ((h >> 13) & 3) == 0 || (end + pick) % 7 == 0;
    };
    d.warpColour = [](int end) { return rgb(static_cast<unsigned>(end % 256), 80, 160); };
    d.weftColour = [](int pick) { return rgb(240, static_cast<unsigned>(pick % 256), 200); };
    return d;
}

// Import file: interlocking lozenges, 120 warp ends x 80 picks.
ImpDesign motifImp() {
    ImpDesign d;
    d.warps = 120;
    d.wefts = 80;
    d.lifted = [](int pick, int end) {
        const int x = (end - 1) % 24 - 12, y = (pick - 1) % 16 - 8;
        const int r = 2 * (x < 0 ? -x : x) + 3 * (y < 0 ? -y : y);
        return r < 18 ? (r % 6) < 3 : (end + pick) % 4 == 0;
    };
    return d;
}

// CAD file: a 200-end damask-like check, a three-colour warp pattern and
// weft colour marks in bands of eight.
Dw1Design pattrixDw1() {
    Dw1Design d;
    d.warps = 200;
    d.wefts = 96;
    d.lifted = [](int pick, int end) {
        const bool block = ((end - 1) / 25 + (pick - 1) / 24) % 2 == 0;
        return block ? (end * 2 + pick) % 5 == 0 : (end * 2 + pick) % 5 != 0;
    };
    d.palette = {rgb(230, 220, 190), rgb(120, 20, 40), rgb(20, 70, 120), rgb(40, 40, 40)};
    d.warpRecords = {rgb(240, 235, 220), rgb(150, 30, 50), rgb(30, 50, 100)};
    d.warpPattern = {1, 1, 1, 2, 3, 3, 2};
    d.weftEntry = [](int pick) { return (pick - 1) / 8 % 4; };
    return d;
}

// WIF with a treadling: 4-shaft twill on 6 treadles, colours on a 0..999
// range as Fiberworks writes them, a striped warp.
WifDraft twill4Wif() {
    WifDraft d;
    d.warps = 64;
    d.wefts = 48;
    d.shafts = 4;
    d.treadles = 6;
    d.threading = [](int end) {
        static const int point[6] = {1, 2, 3, 4, 3, 2};
        return std::vector<int>{point[(end - 1) % 6]};
    };
    d.tieUp = [](int t) {
        static const std::vector<int> tie[6] = {{1, 2}, {2, 3}, {3, 4}, {1, 4}, {1, 3}, {2, 4}};
        return tie[t - 1];
    };
    d.treadling = [](int pick) {
        static const int order[12] = {1, 2, 3, 4, 1, 2, 3, 4, 5, 6, 5, 6};
        return std::vector<int>{order[(pick - 1) % 12]};
    };
    d.colours = {{999, 999, 900}, {600, 100, 100}, {100, 200, 500}, {100, 100, 100}};
    d.rangeHigh = 999;
    d.warpColour = 1;
    d.weftColour = 4;
    d.warpColourOf = [](int end) { return (end - 1) / 8 % 3 == 2 ? 2 : 1; };
    d.weftColourOf = [](int pick) { return (pick - 1) / 12 % 2 ? 3 : 4; };
    d.sourceProgram = "Weave Pilot (Fiberworks colour range)";
    return d;
}

// WIF with a lift plan: an 8-shaft point twill.
WifDraft liftplan8Wif() {
    WifDraft d;
    d.warps = 56;
    d.wefts = 56;
    d.shafts = 8;
    d.treadles = 0;
    d.threading = [](int end) {
        const int k = (end - 1) % 14;
        return std::vector<int>{k < 8 ? k + 1 : 14 - k + 1};
    };
    d.liftPlan = [](int pick) {
        const int k = (pick - 1) % 14, row = k < 8 ? k : 14 - k;
        std::vector<int> up;
        for (int s = 1; s <= 8; ++s)
            if ((s - 1 - row + 8) % 8 < 3) up.push_back(s);
        return up;
    };
    d.colours = {{250, 250, 250}, {20, 20, 90}};
    d.warpColour = 2;
    d.weftColour = 1;
    return d;
}

namespace {

bool markersDesign(int x, int y) {
    if (x < 241) return false;
    if (y < 7) return x < 540 && (x / 6 + y) % 3 == 0;
    const int cx = (x - 241) % 60 - 30, cy = y % 40 - 20;
    return cx * cx + 2 * cy * cy < 500 && (cx * cx + 2 * cy * cy) % 180 > 60;
}

}  // namespace

// The markers are dark colours: unless stripped, they are lifted too.
bool markersDark(int x, int y) {
    return markersDesign(x, y) || (x < kMarkerColumns && x == y % kMarkerColumns);
}

// An 8-bit BMP of 600 x 60: a design from column 241 on, a blank right edge
// of 60 in the first rows, and one weft marker a row in the first 16 columns.
IndexedImage markersBmp() {
    IndexedImage img(600, 60);
    img.palette = {rgb(255, 255, 255), rgb(0, 0, 0), rgb(200, 30, 30), rgb(30, 120, 40),
                   rgb(40, 60, 200)};
    for (int y = 0; y < img.height; ++y) {
        img.at(y % kMarkerColumns, y) = static_cast<uint8_t>(2 + (y / 10) % 3);
        for (int x = 0; x < img.width; ++x)
            if (markersDesign(x, y)) img.at(x, y) = 1;
    }
    return img;
}

bool faxDark(int x, int y) {
    const int cx = x % 80 - 40, cy = y % 50 - 25;
    return (cx * cx) / 4 + cy * cy < 400 ? (x + y) % 2 == 0 : (x / 10 + y / 10) % 5 == 0;
}

// A black-and-white fax picture (TIFF, CCITT group 4), 320 x 100.
RgbImage faxTif() {
    RgbImage img(320, 100);
    for (int y = 0; y < img.height; ++y)
        for (int x = 0; x < img.width; ++x)
            img.set(x, y, faxDark(x, y) ? rgb(0, 0, 0) : rgb(255, 255, 255));
    return img;
}

bool photoDark(int x, int y) {
    return ((x / 16) * 3 + (y / 16) * 5) % 7 < 3;
}

// A progressive colour JPEG, 256 x 128: dark blue blocks on light yellow,
// block edges on the coder's 8-pixel grid.
RgbImage photoJpg() {
    RgbImage img(256, 128);
    for (int y = 0; y < img.height; ++y)
        for (int x = 0; x < img.width; ++x)
            img.set(x, y, photoDark(x, y) ? rgb(20, 30, 90) : rgb(250, 240, 170));
    return img;
}

namespace {

bool save(const std::string& path, const std::vector<uint8_t>& bytes, std::string& error) {
    std::string why;
    if (!bytes.empty() && writeFileAtomically(path, std::string(bytes.begin(), bytes.end()), &why))
        return true;
    error = path + (why.empty() ? "" : ": " + why);
    return false;
}

}  // namespace

bool writeAll(const std::string& folder, std::string& error) {
    const std::string f = folder + "/";
    std::string tiffError;
    const std::vector<uint8_t> fax = encodeTiff(faxTif(), TiffKind::FaxG4, &tiffError);
    const std::string wif1 = writeWif(twill4Wif()), wif2 = writeWif(liftplan8Wif());
    return save(f + "twill8.dob", writeNativeDraft(twill8()), error) &&
           save(f + "rosepath.ctm", writeNativeDraft(rosepath()), error) &&
           save(f + "jacquard440.dob", writeNativeDraft(jacquard440()), error) &&
           save(f + "motif.imp", writeImp(motifImp()), error) &&
           save(f + "pattrix.dw1", writeDw1(pattrixDw1()), error) &&
           save(f + "markers.bmp", encodeBmp(markersBmp(), 8), error) &&
           save(f + "fax.tif", fax, error) &&
           save(f + "photo.jpg", encodeJpeg(photoJpg(), {95, true, false}), error) &&
           save(f + "twill4.wif", {wif1.begin(), wif1.end()}, error) &&
           save(f + "liftplan8.wif", {wif2.begin(), wif2.end()}, error);
}

}  // namespace wp::examples
