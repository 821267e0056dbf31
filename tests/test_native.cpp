#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "import/formats.h"
#include "import/load.h"
#include "import/nativewriter.h"
#include "tests/support/drafts.h"
#include "tests/support/fakeui.h"
#include "tests/support/loadtest.h"

namespace wp {
namespace {

namespace fs = std::filesystem;

using test::jacquard;
using test::jacquardLift;
using test::jacquardWarpColour;
using test::jacquardWeftColour;

struct Load : test::LoadTest {
    bool open(const std::string& path) { return LoadTest::open(path, FileType::Native); }
};

TEST_F(Load, DesignRoundTripsBitForBit) {
    settings("[WeavePilot]\ncontrollerArrangement=660\n");
    ASSERT_TRUE(open(write("j.dob", writeNativeDraft(jacquard(445, 203)))));
    const DesignModel& d = s.design();
    EXPECT_EQ(d.header.warps(), 445);
    EXPECT_EQ(d.header.wefts(), 203);
    EXPECT_EQ(d.matrix.rowModules(), 3);
    EXPECT_EQ(d.matrix.blockCount(), 5);
    for (int p = 1; p <= 203; ++p)
        for (int e = 1; e <= 445; ++e)
            ASSERT_EQ(d.liftAt(PickNo{p}, e), jacquardLift(p, e)) << p << "," << e;
    for (int e = 1; e <= 445; ++e)
        ASSERT_EQ(d.warpColours[static_cast<size_t>(e - 1)], jacquardWarpColour(e));
    for (int p = 1; p <= 203; ++p)
        ASSERT_EQ(d.weftColours[static_cast<size_t>(p - 1)], jacquardWeftColour(p));
    EXPECT_TRUE(d.designReady);
    EXPECT_FALSE(d.shaftDraftAvailable);
    EXPECT_FALSE(s.window().control(Control::ShaftPlot).visible);
    EXPECT_EQ(ui.filters.back(), "Dobby|*.DOB|Countermarche|*.CTM");
    EXPECT_TRUE(ui.boxes.empty());
    EXPECT_TRUE(s.window().control(Control::FileMenu).enabled);
}

TEST_F(Load, WideDesignIsCutFromTheLeft) {
    settings("[WeavePilot]\nBlankHeadles=3,9\n");
    const NativeDraft n = test::dobby(300, 20, 4);
    ASSERT_TRUE(open(write("wide.dob", writeNativeDraft(n))));
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].text,
              "Design size: 300 threads, Available 1 modules. Truncating from left");
    const DesignModel& d = s.design();
    ASSERT_EQ(d.header.warps(), 218);
    // Warp ends 1..218 stay (file warp ends 82..299); 219..300 are cut.
    for (int p = 1; p <= 20; ++p)
        for (int e = 1; e <= 218; ++e) ASSERT_EQ(d.liftAt(PickNo{p}, e), n.lifted(p, e));
    for (int e = 1; e <= 218; ++e) {
        EXPECT_EQ(d.warpColours[static_cast<size_t>(e - 1)], jacquardWarpColour(e));
        // The threading stays with its warp end.
        EXPECT_EQ(d.draft.threading[static_cast<size_t>(218 - e)], n.threading(e)) << e;
    }
}

TEST_F(Load, ADesignAfterAnotherKeepsNoneOfItsLifts) {
    settings("[WeavePilot]\ncontrollerArrangement=660\n");
    ASSERT_TRUE(open(write("full.dob", writeNativeDraft(jacquard(445, 203)))));
    // The same row size and fewer picks, then none lifted at all.
    NativeDraft empty = jacquard(441, 120);
    empty.lifted = [](int, int) { return false; };
    ASSERT_TRUE(open(write("empty.dob", writeNativeDraft(empty))));
    const DesignModel& d = s.design();
    for (int j = 0; j < 120; ++j) {
        const uint8_t* row = d.matrix.row(RowNo{j});
        ASSERT_TRUE(std::all_of(row, row + d.matrix.rowBytes(), [](uint8_t b) { return b == 0; }))
            << j;
    }
}

TEST_F(Load, FileWithoutColoursGetsRedWarpAndWhiteWeft) {
    NativeDraft n = jacquard(10, 5);
    n.warpColour = nullptr;
    ASSERT_TRUE(open(write("plain.dob", writeNativeDraft(n))));
    EXPECT_EQ(s.design().warpColours, std::vector<uint32_t>(10, 255));
    EXPECT_EQ(s.design().weftColours, std::vector<uint32_t>(5, 0xFFFFFF));
    EXPECT_EQ(s.design().weftColourNumbers, std::vector<uint16_t>(5, 0));
}

TEST_F(Load, WeftColourNumbersFollowFirstAppearance) {
    NativeDraft n = jacquard(4, 3);
    n.weftColour = [](int pick) { return pick == 2 ? 0xFF0000u : 0x0000FFu; };
    ASSERT_TRUE(open(write("w.dob", writeNativeDraft(n))));
    EXPECT_EQ(s.design().weftColourNumbers, (std::vector<uint16_t>{1, 2, 1}));
}

TEST_F(Load, CountermarcheTieUpAndTreadleListAgreeWithTheLifts) {
    const NativeDraft n = test::rosepath();
    ASSERT_TRUE(open(write("cm.ctm", writeNativeDraft(n))));
    const DesignModel& d = s.design();
    EXPECT_TRUE(d.shaftDraftAvailable);
    EXPECT_TRUE(s.window().control(Control::ShaftPlot).visible);
    ASSERT_EQ(d.draft.tieUp.size(), 4u);
    for (int t = 0; t < 4; ++t)
        for (int sh = 0; sh < 4; ++sh) EXPECT_EQ(d.tieUpBit(t, sh), n.tieUp(t, sh));
    // Each pick's treadle, tied to the shafts of the threading, gives its lifts.
    for (int p = 1; p <= 12; ++p) {
        const RowNo r = d.rowOfPick(PickNo{p});
        const int treadle = n.treadleOfPick(p);
        for (int t = 0; t < 4; ++t) EXPECT_EQ(d.treadlingBit(t, r), t == treadle) << p;
        for (int x = 0; x < 16; ++x)
            EXPECT_EQ(d.lift(r, x), d.tieUpBit(treadle, d.draft.threading[static_cast<size_t>(x)]));
    }
}

TEST_F(Load, DobbyLiftPlanIsTakenAsItStands) {
    const NativeDraft n = test::dobby(8, 10, 4);
    ASSERT_TRUE(open(write("d.dob", writeNativeDraft(n))));
    const DesignModel& d = s.design();
    for (int p = 1; p <= 10; ++p)
        for (int t = 0; t < 4; ++t)
            EXPECT_EQ(d.treadlingBit(t, d.rowOfPick(PickNo{p})), n.liftPlan(t, p));
    // Treadle j is tied to shaft shafts - 1 - j only.
    for (int t = 0; t < 4; ++t)
        for (int sh = 0; sh < 4; ++sh) EXPECT_EQ(d.tieUpBit(t, sh), sh == 3 - t);
}

TEST_F(Load, PicksBeyondTheRowBlocksAreCutWithAWord) {
    settings("[Mirlo]\nchunksize=1\n");  // at most 100 picks
    ASSERT_TRUE(open(write("long.dob", writeNativeDraft(jacquard(9, 101)))));
    const DesignModel& d = s.design();
    EXPECT_EQ(d.header.wefts(), 100);
    EXPECT_EQ(ui.boxTexts(),
              std::vector<std::string>{
                  "Design size: 101 picks, available 100. The design is cut to 100 picks; to "
                  "weave them all, raise chunksize (now 1) in the [Mirlo] section of the "
                  "settings file: a design may have chunksize x 100 picks."});
    // File weft j is row j; the file's last weft (its pick 1) is the one cut.
    for (int p = 1; p <= 100; ++p)
        for (int e = 1; e <= 9; ++e) ASSERT_EQ(d.liftAt(PickNo{p}, e), jacquardLift(p + 1, e));
    EXPECT_EQ(d.weftColours[0], jacquardWeftColour(2));
}

TEST_F(Load, LargeDesignIsReadWhateverTheLengthFieldSays) {
    settings("[WeavePilot]\ncontrollerArrangement=3520\n");
    ASSERT_TRUE(open(write("big.dob", writeNativeDraft(jacquard(3520, 80)))));
    for (int p = 1; p <= 80; p += 7)
        for (int e = 1; e <= 3520; e += 3)
            ASSERT_EQ(s.design().liftAt(PickNo{p}, e), jacquardLift(p, e));
}

TEST_F(Load, DamagedFilesAreRefusedWithTheirName) {
    NativeDraft n = jacquard(12, 9);
    n.omitStruct = true;
    ASSERT_FALSE(open(write("nostruct.dob", writeNativeDraft(n))));
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].text, "Unknown file structure.");
    EXPECT_EQ(ui.boxes[0].kind, BoxKind::Information);
    EXPECT_FALSE(s.design().hasDesign());

    std::vector<uint8_t> bytes = writeNativeDraft(jacquard(12, 9));
    bytes.resize(bytes.size() - 3);
    const std::string path = write("short.dob", bytes);
    ASSERT_FALSE(open(path));
    EXPECT_EQ(ui.boxes.back().text,
              "Cannot load " + path +
                  ": the design data is shorter than its header says (21 of 24 bytes).");
    EXPECT_FALSE(s.design().hasDesign());
    EXPECT_FALSE(s.design().designReady);
    EXPECT_FALSE(s.window().control(Control::StartButton).enabled);
    EXPECT_TRUE(s.window().control(Control::FileMenu).enabled);

    ASSERT_FALSE(open((dir / "missing.dob").string()));
    EXPECT_NE(ui.boxes.back().text.find("No such file or directory"), std::string::npos);
}

TEST_F(Load, EveryPrefixOfADraftLoadsOrFailsCleanly) {
    const std::vector<uint8_t> whole = writeNativeDraft(test::rosepath());
    for (size_t len = 0; len < whole.size(); ++len) {
        const std::string path =
            write("cut.ctm", {whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(len)});
        EXPECT_FALSE(open(path)) << len;
        EXPECT_FALSE(s.design().hasDesign()) << len;
        EXPECT_FALSE(s.design().designReady) << len;
    }
    EXPECT_TRUE(open(write("whole.ctm", whole)));
}

TEST_F(Load, ReadinessFollowsTheLoomType) {
    NativeDraft n = jacquard(8, 4);  // no treadling
    const std::string path = write("j.dob", writeNativeDraft(n));
    settings("[Mirlo]\nLoomType=OLM\n");
    ASSERT_TRUE(open(path));
    EXPECT_FALSE(s.design().designReady);  // shown, but the shaft loom needs a treadling
    settings("[Mirlo]\nLoomType=Select\n");
    ASSERT_TRUE(open(path));
    EXPECT_FALSE(s.design().designReady);
    settings("");
    ASSERT_TRUE(open(path));
    EXPECT_TRUE(s.design().designReady);
}

TEST_F(Load, ColoursFileIsOfferedWhenItExists) {
    const std::string path = write("rose.dob", writeNativeDraft(jacquard(8, 4)));
    write("rose_colors.bmp", {0});
    ui.answers = {Answer::Yes};
    std::string readFrom;
    s.setColoursFileReader([&](const std::string& p) {
        readFrom = p;
        return true;
    });
    ASSERT_TRUE(open(path));
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].text, "Read the manual colors file?");
    EXPECT_EQ(readFrom, (dir / "rose_colors.bmp").string());
    EXPECT_TRUE(s.design().manualColours);
}

TEST_F(Load, CancelledDialogChangesOnlyTheFileType) {
    ASSERT_TRUE(open(write("a.dob", writeNativeDraft(jacquard(8, 4)))));
    ui.fileToChoose.reset();
    EXPECT_FALSE(loader.openCommand(FileType::Bmp));
    EXPECT_EQ(s.design().designFileType, FileType::Bmp);
    EXPECT_TRUE(s.design().hasDesign());
    EXPECT_EQ(ui.filters.back(), "BMPImage|*.BMP");
}

TEST(ColoursFile, NameIsCutBeforeTheLastDot) {
    EXPECT_EQ(coloursFileName("/d/rose.dob"), "/d/rose_colors.bmp");
    EXPECT_EQ(coloursFileName("/d/rose"), "/d/rose_colors.bmp");
    EXPECT_EQ(coloursFileName("/d.x/rose"), "/d.x/rose_colors.bmp");
    EXPECT_EQ(coloursFileName("/d/.hidden"), "/d/.hidden_colors.bmp");
    EXPECT_EQ(coloursFileName("a.b.dob"), "a.b_colors.bmp");
}

TEST(DesignTypes, ExtensionsAreReadWithoutRegardToCase) {
    const std::pair<const char*, FileType> known[] = {
        {"a.dob", FileType::Native}, {"b.CTM", FileType::Native},  {"c.Imp", FileType::Imp},
        {"d.DW1", FileType::Dw1},    {"e.dw", FileType::Dw1},      {"f.bmp", FileType::Bmp},
        {"g.Tif", FileType::Tiff},   {"h.TIFF", FileType::Tiff},   {"i.JPG", FileType::Jpeg},
        {"j.jpeg", FileType::Jpeg},  {"/x.y/k.wif", FileType::Wif}};
    for (const auto& [path, type] : known) EXPECT_EQ(designTypeOfPath(path), type) << path;
    for (const char* path : {"plain", "/d.bmp/plain", "x.png", "x.", ".bmpx", "x.tif.gz"})
        EXPECT_FALSE(designTypeOfPath(path)) << path;
    EXPECT_EQ(designTypeOfExtension("JPG"), FileType::Jpeg);
    for (FileType t : {FileType::Native, FileType::Imp, FileType::Dw1, FileType::Bmp,
                       FileType::Tiff, FileType::Jpeg, FileType::Wif})
        EXPECT_EQ(designTypeOfExtension(designTypeName(t)), t);
}

}  // namespace
}  // namespace wp
