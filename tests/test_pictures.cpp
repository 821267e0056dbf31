// Pictures as designs: the BMP decoder in every shape the format takes, the
// JPEG and TIFF decoders, and the bilevel rules shared by all three readers.
#include <gtest/gtest.h>

#include <algorithm>

#include "import/bmp.h"
#include "import/jpeg.h"
#include "import/picture.h"
#include "import/tiff.h"
#include "tests/support/bmpbuilder.h"
#include "tests/support/loadtest.h"
#include "tools/image.h"

namespace wp {
namespace {

using test::BmpForm;
using test::buildBmp;

constexpr uint32_t kBlack = 0, kWhite = 0xFFFFFF;

// A picture with something different in every row and column.
IndexedImage scatter(int w, int h, int colours) {
    IndexedImage img(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            img.at(x, y) = static_cast<uint8_t>(((x * 7 + y * 13) ^ (x * y)) % colours);
    // Long runs too, for the run-length coder.
    for (int x = 0; x < w / 2; ++x) img.at(x, h / 2) = static_cast<uint8_t>(colours - 1);
    for (int i = 0; i < colours; ++i)
        img.palette.push_back(static_cast<uint32_t>((i * 37) & 0xFF) |
                              static_cast<uint32_t>((i * 91) & 0xFF) << 8 |
                              static_cast<uint32_t>((255 - i * 11) & 0xFF) << 16);
    return img;
}

RgbImage rainbow(int w, int h) {
    RgbImage img(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            img.set(x, y,
                    static_cast<uint32_t>((x * 29) & 0xFF) |
                        static_cast<uint32_t>((y * 53) & 0xFF) << 8 |
                        static_cast<uint32_t>((x * y * 7) & 0xFF) << 16);
    return img;
}

void expectIndexed(const std::vector<uint8_t>& bytes, const IndexedImage& img,
                   const std::string& what) {
    Picture p;
    std::string error;
    ASSERT_TRUE(decodeBmp(bytes.data(), bytes.size(), p, error)) << what << ": " << error;
    ASSERT_TRUE(p.indexed) << what;
    ASSERT_EQ(p.width, img.width) << what;
    ASSERT_EQ(p.height, img.height) << what;
    EXPECT_FALSE(p.bottomUp);
    for (int y = 0; y < img.height; ++y)
        for (int x = 0; x < img.width; ++x) {
            const uint8_t i = img.pixels[static_cast<size_t>(y) * static_cast<size_t>(img.width) +
                                         static_cast<size_t>(x)];
            ASSERT_EQ(p.raw(y, x), i) << what << " at " << x << "," << y;
            ASSERT_EQ(p.colourOf(i), img.palette[i]) << what;
        }
}

TEST(BmpDecoder, PalettePicturesInEveryShape) {
    struct Case {
        const char* what;
        BmpForm form;
        int colours;
    };
    const Case cases[] = {
        {"1 bit", {BmpForm::Header::Info, 1}, 2},
        {"4 bits", {BmpForm::Header::Info, 4}, 16},
        {"8 bits", {BmpForm::Header::Info, 8}, 200},
        {"8 bits top-down", {BmpForm::Header::Info, 8, false, true}, 77},
        {"4 bits, 5 colours used", {BmpForm::Header::Info, 4, false, false, {0, 0, 0}, 5}, 5},
        {"8 bits, 3 colours used", {BmpForm::Header::V5, 8, false, false, {0, 0, 0}, 3}, 3},
        {"OS/2 1 bit", {BmpForm::Header::Os2, 1}, 2},
        {"OS/2 8 bits", {BmpForm::Header::Os2, 8}, 256},
        {"RLE8", {BmpForm::Header::Info, 8, true}, 60},
        {"RLE4", {BmpForm::Header::Info, 4, true}, 16},
    };
    for (const Case& c : cases) {
        for (const int width : {1, 7, 33, 64}) {
            IndexedImage img = scatter(width, 9, c.colours);
            expectIndexed(buildBmp(img, c.form), img,
                          std::string(c.what) + " w" + std::to_string(width));
        }
    }
}

TEST(BmpDecoder, ColourPicturesInEveryShape) {
    const RgbImage img = rainbow(37, 11);
    auto check = [&](const BmpForm& form, int bitsR, int bitsG, int bitsB, const char* what) {
        const std::vector<uint8_t> bytes = buildBmp(img, form);
        Picture p;
        std::string error;
        ASSERT_TRUE(decodeBmp(bytes.data(), bytes.size(), p, error)) << what << ": " << error;
        ASSERT_FALSE(p.indexed);
        // A component kept in n bits comes back as the nearest of 2^n levels.
        auto level = [](uint32_t v, int n) {
            const uint32_t top = (1u << n) - 1;
            return ((v * top + 127) / 255 * 255 + top / 2) / top;
        };
        for (int y = 0; y < img.height; ++y)
            for (int x = 0; x < img.width; ++x) {
                const uint32_t c = img.at(x, y);
                const uint32_t want = level(c & 0xFF, bitsR) | level((c >> 8) & 0xFF, bitsG) << 8 |
                                      level((c >> 16) & 0xFF, bitsB) << 16;
                ASSERT_EQ(p.raw(y, x), want) << what << " at " << x << "," << y;
            }
    };
    check({BmpForm::Header::Info, 24}, 8, 8, 8, "24 bits");
    check({BmpForm::Header::Info, 24, false, true}, 8, 8, 8, "24 bits top-down");
    check({BmpForm::Header::Info, 32}, 8, 8, 8, "32 bits");
    check({BmpForm::Header::Info, 32, false, false, {0xFF0000, 0xFF00, 0xFF}}, 8, 8, 8,
          "32 bits with masks");
    check({BmpForm::Header::V4, 32, false, false, {0xFF, 0xFF00, 0xFF0000}}, 8, 8, 8,
          "32 bits, red last");
    check({BmpForm::Header::V5, 32, false, false, {0x3FF00000, 0xFFC00, 0x3FF}}, 10, 10, 10,
          "32 bits, 10 a component");
    // 5-5-5 without masks, as Windows writes 16-bit pictures; and 5-6-5.
    check({BmpForm::Header::Info, 16}, 5, 5, 5, "16 bits 5-5-5");
    check({BmpForm::Header::Info, 16, false, false, {0xF800, 0x07E0, 0x001F}}, 5, 6, 5,
          "16 bits 5-6-5");
    check({BmpForm::Header::V4, 16, false, true, {0x0F00, 0x00F0, 0x000F}}, 4, 4, 4,
          "16 bits 4-4-4 top-down");
}

TEST(BmpDecoder, PaletteIsTheOneTheFileDeclares) {
    // An OS/2 file's palette entries have three bytes; reading them as four
    // (the old rule from the pixel offset) gives wrong colours.
    IndexedImage img(4, 2);
    img.palette = {0x0000FF, 0x00FF00, 0xFF0000, 0x808080};
    for (int x = 0; x < 4; ++x) img.at(x, 0) = img.at(x, 1) = static_cast<uint8_t>(x);
    BmpForm os2{BmpForm::Header::Os2, 4};
    os2.coloursUsed = 4;
    expectIndexed(buildBmp(img, os2), img, "OS/2 short palette");
    // A palette shorter than the bits allow, with colours used left at 0:
    // the entries that fit before the pixels count.
    BmpForm info{BmpForm::Header::Info, 8};
    info.coloursUsed = 4;
    info.declareColoursUsed = false;
    expectIndexed(buildBmp(img, info), img, "short palette, colours used 0");
    // No room at all before the pixels: no palette, and no pixel bytes read
    // as colours; every index reads as black.
    std::vector<uint8_t> bytes = buildBmp(img, info);
    const uint32_t paletteAt = 14 + 40;
    bytes.erase(bytes.begin() + paletteAt, bytes.begin() + paletteAt + 16);
    bytes[10] = static_cast<uint8_t>(paletteAt);
    Picture p;
    std::string error;
    ASSERT_TRUE(decodeBmp(bytes.data(), bytes.size(), p, error)) << error;
    EXPECT_TRUE(p.palette.empty());
    EXPECT_EQ(p.colourOf(p.raw(0, 3)), 0u);
}

TEST(BmpDecoder, RunLengthDeltasAndEarlyLineEndsLeaveIndexZero) {
    // 6 x 3, bottom row first: row 2 "5 5 ." (end of line), delta to (2, 1)
    // ... then row 0 "1 2 3" as a literal run and the end.
    IndexedImage img(6, 3);
    img.palette.assign(8, 0x123456);
    BmpForm form{BmpForm::Header::Info, 8, true};
    std::vector<uint8_t> bytes = buildBmp(img, form);
    const uint32_t pixelsAt = bytes[10] | bytes[11] << 8;
    bytes.resize(pixelsAt);
    const uint8_t data[] = {2, 5, 0, 0, 0, 2, 2, 0, 1, 7, 0, 0, 0, 3, 1, 2, 3, 0, 0, 1};
    bytes.insert(bytes.end(), std::begin(data), std::end(data));
    Picture p;
    std::string error;
    ASSERT_TRUE(decodeBmp(bytes.data(), bytes.size(), p, error)) << error;
    const int want[3][6] = {{1, 2, 3, 0, 0, 0}, {0, 0, 7, 0, 0, 0}, {5, 5, 0, 0, 0, 0}};
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 6; ++x)
            EXPECT_EQ(p.raw(y, x), static_cast<uint32_t>(want[y][x])) << x << "," << y;
}

TEST(BmpDecoder, DamagedAndUnsupportedFilesAreRefusedWithTheReason) {
    IndexedImage img = scatter(20, 6, 16);
    for (const BmpForm& form :
         {BmpForm{BmpForm::Header::Info, 4}, BmpForm{BmpForm::Header::Info, 8, true},
          BmpForm{BmpForm::Header::Os2, 8}}) {
        const std::vector<uint8_t> whole = buildBmp(img, form);
        Picture p;
        std::string error;
        for (size_t len = 0; len + 4 < whole.size(); ++len) {
            error.clear();
            EXPECT_FALSE(decodeBmp(whole.data(), len, p, error)) << len;
            EXPECT_FALSE(error.empty()) << len;
        }
    }
    auto refused = [](std::vector<uint8_t> bytes, const std::string& says) {
        Picture p;
        std::string error;
        EXPECT_FALSE(decodeBmp(bytes.data(), bytes.size(), p, error)) << says;
        EXPECT_NE(error.find(says), std::string::npos) << error;
    };
    std::vector<uint8_t> good = buildBmp(rainbow(8, 8), BmpForm{BmpForm::Header::Info, 24});
    std::vector<uint8_t> b = good;
    b[0] = 'P';
    refused(b, "not a BMP picture");
    b = good;
    b[28] = 2;
    refused(b, "2 bits a pixel");
    b = good;
    b[30] = 4;
    refused(b, "JPEG picture inside");
    b = good;
    b[30] = 1;
    refused(b, "does not go with 24 bits");
    b = good;
    b[22] = b[23] = b[24] = b[25] = 0;
    refused(b, "8 x 0 pixels");
    b = good;
    b[18] = 0xFF, b[19] = 0xFF, b[20] = 0, b[22] = 0xFF, b[23] = 0xFF, b[24] = 0;
    refused(b, "too large");
}

// --- The bilevel rules --------------------------------------------------------

TEST(Bilevel, ThresholdLiesBetweenTheTwoPeaks) {
    int counts[128] = {};
    // Black and white halves: group 0 is never a peak, white is at 125.
    counts[0] = 50;
    counts[127] = 50;
    EXPECT_EQ(histogramThreshold(counts), 62);
    std::fill(std::begin(counts), std::end(counts), 0);
    counts[8] = 3;   // group 2, at 9
    counts[40] = 8;  // group 10, at 41
    counts[44] = 9;  // group 11, at 45
    EXPECT_EQ(histogramThreshold(counts), 43);
    // Equal counts: the first one stays the largest.
    std::fill(std::begin(counts), std::end(counts), 0);
    counts[20] = 10;  // group 5, at 21
    counts[40] = 10;  // group 10, at 41
    EXPECT_EQ(histogramThreshold(counts), 31);
    std::fill(std::begin(counts), std::end(counts), 0);
    EXPECT_EQ(histogramThreshold(counts), 0);
}

TEST(Bilevel, LightnessIsTheMeanOfTheLargestAndSmallestComponent) {
    EXPECT_EQ(lightness(kBlack), 0);
    EXPECT_EQ(lightness(kWhite), 127);
    EXPECT_EQ(lightness(0x0000FF), 64);  // red: (255 + 0) x 127 / 510, rounded up
    EXPECT_EQ(lightness(0x808080), 64);
    EXPECT_EQ(lightness(0x020000), 0);
    EXPECT_EQ(lightness(0x030000), 1);
}

// Pictures through the common load.
struct Pictures : test::LoadTest {
    bool openBmp(const std::vector<uint8_t>& bytes) {
        return open(write("p.bmp", bytes), FileType::Bmp);
    }
    std::string lastBox() const { return ui.boxes.empty() ? "" : ui.boxes.back().text; }
    // Whether lift-matrix row j, bit x is lifted.
    bool up(int j, int x) const { return s.design().lift(RowNo{j}, x); }
};

// A 24-bit picture: white, with black where `dark` says.
template <typename Dark>
RgbImage picture(int w, int h, Dark dark) {
    RgbImage img(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) img.set(x, y, dark(x, y) ? kBlack : kWhite);
    return img;
}

TEST_F(Pictures, DarkPixelsAreLiftedWithTheTopRowAsTheLastPick) {
    auto dark = [](int x, int y) { return (x * 3 + y * 5) % 7 < 3 || x < 2; };
    ASSERT_TRUE(openBmp(encodeBmp(picture(40, 30, dark)))) << lastBox();
    const DesignModel& d = s.design();
    EXPECT_EQ(d.header.warps(), 40);
    EXPECT_EQ(d.header.wefts(), 30);
    // Picture row j from the top is lift-matrix row j; column x is bit x.
    for (int j = 0; j < 30; ++j)
        for (int x = 0; x < 40; ++x) ASSERT_EQ(up(j, x), dark(x, j)) << x << "," << j;
    EXPECT_EQ(d.warpColours, std::vector<uint32_t>(40, 255u));
    EXPECT_EQ(d.weftColours, std::vector<uint32_t>(30, kWhite));
    EXPECT_TRUE(ui.boxes.empty());
    EXPECT_EQ(ui.filters.back(), "BMPImage|*.BMP");
}

TEST_F(Pictures, BlankEdgesAreStrippedWhenTheWeaverSaysSo) {
    settings("[WeavePilot]\ncontrollerArrangement=440\n");
    // 501 wide: columns 32..240 and the last 60 black (blank) in the first
    // seven rows, white elsewhere.
    auto dark = [](int x, int y) { return y < 7 ? (x >= 32 && x <= 240) || x >= 441 : x % 3 == 0; };
    const RgbImage img = picture(501, 20, dark);
    ui.answers = {Answer::Yes};
    ASSERT_TRUE(openBmp(encodeBmp(img))) << lastBox();
    ASSERT_FALSE(ui.boxes.empty());
    EXPECT_EQ(ui.boxes[0].text, "Strip blank edges ?");
    EXPECT_EQ(ui.boxes[0].kind, BoxKind::Confirmation);
    EXPECT_EQ(s.design().header.warps(), 381);
    for (int x = 0; x < 381; ++x) EXPECT_EQ(up(10, x), dark(x + 60, 10)) << x;
    // No: the whole width.
    ui.answers = {Answer::No};
    ASSERT_TRUE(openBmp(encodeBmp(img)));
    EXPECT_EQ(s.design().header.warps(), 440);  // cut to the loom instead
    // 500 wide is never offered; a blank edge of 50 neither, 51 is.
    auto asked = [&] {
        const auto texts = ui.boxTexts();
        return std::count(texts.begin(), texts.end(), "Strip blank edges ?") > 0;
    };
    ui.boxes.clear();
    ASSERT_TRUE(openBmp(encodeBmp(picture(500, 20, dark))));
    EXPECT_FALSE(asked());
    auto edge = [](int from) {
        return [from](int x, int y) { return y < 7 && ((x >= 32 && x <= 240) || x >= from); };
    };
    ASSERT_TRUE(openBmp(encodeBmp(picture(501, 20, edge(451)))));
    EXPECT_FALSE(asked());
    ASSERT_TRUE(openBmp(encodeBmp(picture(501, 20, edge(450)))));
    EXPECT_TRUE(asked());
}

TEST_F(Pictures, WidePicturesLoseTheirLeftColumns) {
    auto dark = [](int x, int y) { return (x + y) % 3 == 0; };
    ASSERT_TRUE(openBmp(encodeBmp(picture(300, 8, dark))));
    EXPECT_EQ(ui.boxTexts(),
              std::vector<std::string>{
                  "Design size: 300 threads, Available 1 modules. Truncating from left"});
    ASSERT_EQ(s.design().header.warps(), 220);
    // Columns 80..299 are bits 0..219.
    for (int j = 0; j < 8; ++j)
        for (int x = 0; x < 220; ++x) ASSERT_EQ(up(j, x), dark(x + 80, j));
}

TEST_F(Pictures, OneDarkBandInTheSampledRowsStillGivesADesign) {
    // A black frame two rows deep: the sampled rows alone give threshold 0.
    auto dark = [](int x, int y) {
        return y < 2 || y > 37 || x < 2 || x > 37 || (x / 4 + y / 4) % 2 == 0;
    };
    ASSERT_TRUE(openBmp(encodeBmp(picture(40, 40, dark))));
    for (int j = 0; j < 40; ++j)
        for (int x = 0; x < 40; ++x) ASSERT_EQ(up(j, x), dark(x, j)) << x << "," << j;

    // A scanned white-on-black fax: the black is not quite black, so the
    // sampled rows give a small threshold that still lifts none of them.
    constexpr uint32_t kNearBlack = 0x141414;
    auto text = [](int x, int y) { return y > 3 && (x * 7 + y * 3) % 5 == 0; };
    RgbImage fax(40, 20);
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 40; ++x) fax.set(x, y, text(x, y) ? kWhite : kNearBlack);
    ASSERT_TRUE(openBmp(encodeBmp(fax)));
    for (int j = 0; j < 20; ++j)
        for (int x = 0; x < 40; ++x) ASSERT_EQ(up(j, x), !text(x, j)) << x << "," << j;

    // Sampled rows of a dark band with lighter texture keep their own threshold.
    RgbImage textured(40, 20);
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 40; ++x)
            textured.set(x, y,
                         y < 2 ? (x % 2 ? 0x505050u : kNearBlack) : (x % 3 ? kWhite : kBlack));
    ASSERT_TRUE(openBmp(encodeBmp(textured)));
    // 0x505050 (lightness 40) is above the sampled threshold; white too.
    EXPECT_FALSE(up(0, 1));
    EXPECT_TRUE(up(0, 0));
    EXPECT_FALSE(up(5, 1));
    EXPECT_TRUE(up(5, 0));
}

// An 8-bit picture whose first 16 columns hold one marker pixel a row.
IndexedImage marked(int w, int h) {
    IndexedImage img(w, h);
    img.palette = {kWhite, kBlack, 0x0000FF, 0x00FF00, 0xFF0000};
    for (int y = 0; y < h; ++y) {
        img.at(y % 16, y) = static_cast<uint8_t>(2 + y % 3);
        for (int x = 241; x < w - 60; ++x) img.at(x, y) = (x + y) % 4 == 0 ? 1 : 0;
    }
    return img;
}

TEST_F(Pictures, MarkersColourTheirOwnPicks) {
    settings("[WeavePilot]\ncontrollerArrangement=660\n");
    IndexedImage img = marked(600, 24);
    ASSERT_TRUE(openBmp(encodeBmp(img, 8))) << lastBox();
    EXPECT_EQ(ui.boxes.front().text, "Strip blank edges ?");  // answered No
    const DesignModel& d = s.design();
    ASSERT_EQ(d.header.wefts(), 24);
    // Picture row y from the top is pick 24 - y.
    for (int y = 0; y < 24; ++y)
        EXPECT_EQ(d.weftColours[static_cast<size_t>(24 - y - 1)], img.palette[2 + y % 3]) << y;
    // A later row with two marks takes every colour back.
    img.at(15, 20) = 3;
    img.at(14, 20) = 3;
    ASSERT_TRUE(openBmp(encodeBmp(img, 8)));
    EXPECT_EQ(s.design().weftColours, std::vector<uint32_t>(24, kWhite));
}

TEST_F(Pictures, TallTiffsGiveTheirBottomRowsAndBmpsTheirTopRows) {
    settings("[Mirlo]\nchunksize=1\n");  // 100 picks at most
    auto dark = [](int x, int y) { return (x * y + y) % 5 < 2; };
    const RgbImage img = picture(30, 130, dark);
    std::string error;
    const std::vector<uint8_t> tif = encodeTiff(img, TiffKind::Rgb, &error);
    ASSERT_FALSE(tif.empty()) << error;
    ASSERT_TRUE(open(write("t.tif", tif), FileType::Tiff)) << lastBox();
    EXPECT_EQ(ui.filters.back(), "TIFFImage|*.TIF");
    ASSERT_EQ(s.design().header.wefts(), 100);
    for (int j = 0; j < 100; ++j)
        for (int x = 0; x < 30; ++x) ASSERT_EQ(up(j, x), dark(x, j + 30)) << x << "," << j;
    ASSERT_TRUE(openBmp(encodeBmp(img)));
    for (int j = 0; j < 100; ++j)
        for (int x = 0; x < 30; ++x) ASSERT_EQ(up(j, x), dark(x, j)) << x << "," << j;
}

TEST_F(Pictures, FaxAndGreyTiffsReadAsTheyLook) {
    auto dark = [](int x, int y) { return (x / 5 + y / 3) % 2 == 0; };
    const RgbImage img = picture(64, 33, dark);
    for (const TiffKind kind : {TiffKind::FaxG3, TiffKind::FaxG4, TiffKind::Grey8, TiffKind::Rgb}) {
        std::string error;
        const std::vector<uint8_t> tif = encodeTiff(img, kind, &error);
        ASSERT_FALSE(tif.empty()) << error;
        ASSERT_TRUE(open(write("f.tif", tif), FileType::Tiff)) << lastBox();
        for (int j = 0; j < 33; ++j)
            for (int x = 0; x < 64; ++x)
                ASSERT_EQ(up(j, x), dark(x, j)) << static_cast<int>(kind) << ":" << x << "," << j;
        // Cut short, the picture is refused rather than shown in part.
        const std::string cut = write(
            "cut.tif", std::vector<uint8_t>(
                           tif.begin(), tif.begin() + static_cast<std::ptrdiff_t>(tif.size() / 2)));
        EXPECT_FALSE(open(cut, FileType::Tiff)) << static_cast<int>(kind);
        EXPECT_EQ(lastBox().rfind("Cannot load " + cut + ": ", 0), 0u) << lastBox();
    }
}

TEST_F(Pictures, JpegsBaselineProgressiveAndGrey) {
    auto dark = [](int x, int y) { return (x / 8 + y / 8) % 2 == 0; };
    const RgbImage img = picture(96, 48, dark);
    for (const JpegOptions& o : {JpegOptions{95, false, false}, JpegOptions{95, true, false},
                                 JpegOptions{95, false, true}}) {
        const std::vector<uint8_t> jpg = encodeJpeg(img, o);
        ASSERT_FALSE(jpg.empty());
        ASSERT_TRUE(open(write("j.jpg", jpg), FileType::Jpeg)) << lastBox();
        for (int j = 0; j < 48; ++j)
            for (int x = 0; x < 96; ++x)
                ASSERT_EQ(up(j, x), dark(x, j)) << o.progressive << o.grey << ":" << x << "," << j;
        // Cut short, inside the picture's data, it is refused rather than
        // shown with a grey patch.
        for (const size_t keep : {jpg.size() * 2 / 3, jpg.size() - 60}) {
            const std::string cut = write(
                "cut.jpg",
                std::vector<uint8_t>(jpg.begin(), jpg.begin() + static_cast<std::ptrdiff_t>(keep)));
            EXPECT_FALSE(open(cut, FileType::Jpeg)) << keep;
            EXPECT_EQ(lastBox().rfind("Cannot load " + cut + ": ", 0), 0u) << lastBox();
        }
        if (!o.progressive) {
            EXPECT_NE(lastBox().find("damaged"), std::string::npos) << lastBox();
        }
    }
    EXPECT_EQ(ui.filters.back(), "JPEGImage|*.JPG");
    EXPECT_FALSE(open(write("no.jpg", std::vector<uint8_t>{'G', 'I', 'F'}), FileType::Jpeg));
    EXPECT_NE(lastBox().find("not a JPEG picture"), std::string::npos);
}

}  // namespace
}  // namespace wp
