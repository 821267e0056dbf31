// The examples of every format load as the designs they were made from.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <set>

#include "examples/exampledesigns.h"
#include "tests/support/loadtest.h"

namespace wp {
namespace {

namespace ex = examples;

std::vector<uint8_t> bytesOf(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

struct Examples : test::LoadTest {
    Examples() { settings("[WeavePilot]\ncontrollerArrangement=660\n"); }
    bool load(const std::string& name, FileType type) {
        return open(std::string(WP_SOURCE_DIR) + "/examples/" + name, type);
    }
    const DesignModel& d() const { return s.design(); }
    template <typename Lifted>
    void expectLifts(int warps, int wefts, Lifted lifted) {
        ASSERT_EQ(d().header.warps(), warps);
        ASSERT_EQ(d().header.wefts(), wefts);
        for (int p = 1; p <= wefts; ++p)
            for (int e = 1; e <= warps; ++e)
                ASSERT_EQ(d().liftAt(PickNo{p}, e), lifted(p, e)) << p << "," << e;
    }
};

TEST_F(Examples, FilesOnDiskAreTheOnesTheProgramWrites) {
    // Pictures coded by libjpeg and libtiff may differ between their versions;
    // the others are ours byte for byte.
    const std::string tmp = dir.string();
    std::string error;
    ASSERT_TRUE(ex::writeAll(tmp, error)) << error;
    for (const char* name : {"twill8.dob", "rosepath.ctm", "jacquard440.dob", "motif.imp",
                             "pattrix.dw1", "markers.bmp", "twill4.wif", "liftplan8.wif"})
        EXPECT_EQ(bytesOf(tmp + "/" + name),
                  bytesOf(std::string(WP_SOURCE_DIR) + "/examples/" + name))
            << name;
}

TEST_F(Examples, ImportAndCadDesigns) {
    ASSERT_TRUE(load("motif.imp", FileType::Imp));
    const ImpDesign imp = ex::motifImp();
    expectLifts(imp.warps, imp.wefts, imp.lifted);

    ASSERT_TRUE(load("pattrix.dw1", FileType::Dw1));
    const Dw1Design cad = ex::pattrixDw1();
    expectLifts(cad.warps, cad.wefts, cad.lifted);
    for (int e = 1; e <= cad.warps; ++e) {
        const int record = cad.warpPattern[static_cast<size_t>(e - 1) % cad.warpPattern.size()];
        EXPECT_EQ(d().warpColours[static_cast<size_t>(e - 1)],
                  cad.warpRecords[static_cast<size_t>(record - 1)])
            << e;
    }
    for (int p = 1; p <= cad.wefts; ++p) {
        EXPECT_EQ(d().weftColours[static_cast<size_t>(p - 1)],
                  cad.palette[static_cast<size_t>(cad.weftEntry(p))]);
        EXPECT_EQ(d().weftColourNumbers[static_cast<size_t>(p - 1)], cad.weftEntry(p) + 1);
    }
}

TEST_F(Examples, Pictures) {
    // Picture row j from the top is lift-matrix row j, column x bit x.
    auto expectPicture = [&](int w, int h, bool (*dark)(int, int)) {
        ASSERT_EQ(d().header.warps(), w);
        ASSERT_EQ(d().header.wefts(), h);
        for (int j = 0; j < h; ++j)
            for (int x = 0; x < w; ++x)
                ASSERT_EQ(d().lift(RowNo{j}, x), dark(x, j)) << x << "," << j;
    };
    ASSERT_TRUE(load("markers.bmp", FileType::Bmp));  // stripping declined
    const IndexedImage bmp = ex::markersBmp();
    expectPicture(bmp.width, bmp.height, ex::markersDark);
    for (int y = 0; y < bmp.height; ++y)
        EXPECT_EQ(d().weftColours[static_cast<size_t>(bmp.height - 1 - y)],
                  bmp.palette[2 + static_cast<size_t>(y / 10 % 3)]);

    ASSERT_TRUE(load("fax.tif", FileType::Tiff));
    expectPicture(320, 100, ex::faxDark);
    ASSERT_TRUE(load("photo.jpg", FileType::Jpeg));
    expectPicture(256, 128, ex::photoDark);
}

// Shafts raised in pick p and the drawdown of a WIF example.
std::set<int> raised(const WifDraft& w, int p) {
    std::set<int> up;
    if (w.liftPlan) {
        for (int sh : w.liftPlan(p)) up.insert(sh);
    } else {
        for (int t : w.treadling(p))
            for (int sh : w.tieUp(t)) up.insert(sh);
    }
    return up;
}

TEST_F(Examples, WifDraftsWithTheirDrawdownAndColours) {
    for (const auto& [name, w] : {std::pair{"twill4.wif", ex::twill4Wif()},
                                  std::pair{"liftplan8.wif", ex::liftplan8Wif()}}) {
        ASSERT_TRUE(load(name, FileType::Wif)) << name;
        expectLifts(w.warps, w.wefts,
                    [&](int p, int e) { return raised(w, p).count(w.threading(e)[0]) > 0; });
        EXPECT_TRUE(d().designReady);
        auto colour = [&](int index) {
            const auto& c = w.colours[static_cast<size_t>(index - 1)];
            auto scale = [&](int v) {
                return static_cast<uint32_t>((v * 255 + w.rangeHigh / 2) / w.rangeHigh);
            };
            return scale(c[0]) | scale(c[1]) << 8 | scale(c[2]) << 16;
        };
        for (int e = 1; e <= w.warps; ++e)
            EXPECT_EQ(d().warpColours[static_cast<size_t>(e - 1)],
                      colour(w.warpColourOf ? w.warpColourOf(e) : w.warpColour))
                << name << " " << e;
        for (int p = 1; p <= w.wefts; ++p)
            EXPECT_EQ(d().weftColours[static_cast<size_t>(p - 1)],
                      colour(w.weftColourOf ? w.weftColourOf(p) : w.weftColour))
                << name << " " << p;
    }
}

}  // namespace
}  // namespace wp
