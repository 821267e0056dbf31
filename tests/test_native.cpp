#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "app/session.h"
#include "import/load.h"
#include "import/nativewriter.h"
#include "tests/support/fakeui.h"

namespace wp {
namespace {

namespace fs = std::filesystem;

uint32_t warpColourOf(int end) { return static_cast<uint32_t>(end * 7919) & 0xFFFFFF; }
uint32_t weftColourOf(int pick) { return static_cast<uint32_t>(pick * 104729 + 3) & 0xFFFFFF; }
bool liftOf(int pick, int end) { return ((pick * 31 + end * 17) ^ (pick * end)) % 3 == 0; }

NativeDraft jacquard(int warps, int wefts) {
    NativeDraft d;
    d.warps = warps;
    d.wefts = wefts;
    d.lifted = liftOf;
    d.warpColour = warpColourOf;
    d.weftColour = weftColourOf;
    return d;
}

// A session with a JX3 driver whose port is never opened, and a load that
// does not reset the controller, so the reader alone is under test.
struct Load : ::testing::Test {
    test::FakeUI ui;
    fs::path dir = fs::temp_directory_path() / ("wp_native_" + std::to_string(::getpid()));
    Session s{ui, (dir / "lanset.ini").string()};
    DesignLoader loader{s};

    void SetUp() override {
        fs::create_directories(dir);
        loader.resetController = false;
    }
    void TearDown() override { fs::remove_all(dir); }

    void settings(const std::string& text) {
        std::ofstream(dir / "lanset.ini") << text;
        s.loadSettings(false);
    }
    std::string write(const std::string& name, const std::vector<uint8_t>& bytes) {
        const std::string path = (dir / name).string();
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        return path;
    }
    bool open(const std::string& path) {
        ui.fileToChoose = path;
        return loader.openCommand(FileType::Native);
    }
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
        for (int e = 1; e <= 445; ++e) ASSERT_EQ(d.liftAt(PickNo{p}, e), liftOf(p, e)) << p << "," << e;
    for (int e = 1; e <= 445; ++e) ASSERT_EQ(d.warpColours[static_cast<size_t>(e - 1)], warpColourOf(e));
    for (int p = 1; p <= 203; ++p) ASSERT_EQ(d.weftColours[static_cast<size_t>(p - 1)], weftColourOf(p));
    EXPECT_TRUE(d.designReady);
    EXPECT_FALSE(d.shaftDraftAvailable);
    EXPECT_FALSE(s.window().control(Control::ShaftPlot).visible);
    EXPECT_EQ(ui.filters.back(), "Dobby|*.DOB|Countermarche|*.CTM");
    EXPECT_TRUE(ui.boxes.empty());
    EXPECT_TRUE(s.window().control(Control::FileMenu).enabled);
}

TEST_F(Load, WideDesignIsCutFromTheLeft) {
    settings("[WeavePilot]\nBlankHeadles=3,9\n");
    NativeDraft n = jacquard(300, 20);
    n.shafts = 4;
    n.treadles = 4;
    n.loom = 607;
    n.threading = [](int end) { return end % 4; };
    n.liftPlan = [](int t, int pick) { return (t + pick) % 2 == 0; };
    ASSERT_TRUE(open(write("wide.dob", writeNativeDraft(n))));
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].text, "Design size: 300 threads, Available 1 modules. Truncating from left");
    const DesignModel& d = s.design();
    ASSERT_EQ(d.header.warps(), 218);
    // Warp ends 1..218 stay (file warp ends 82..299); 219..300 are cut.
    for (int p = 1; p <= 20; ++p)
        for (int e = 1; e <= 218; ++e) ASSERT_EQ(d.liftAt(PickNo{p}, e), liftOf(p, e));
    for (int e = 1; e <= 218; ++e) {
        EXPECT_EQ(d.warpColours[static_cast<size_t>(e - 1)], warpColourOf(e));
        // The threading stays with its warp end.
        EXPECT_EQ(d.draft.threading[static_cast<size_t>(218 - e)], e % 4) << e;
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
    static const bool tie[3][8] = {{1, 1, 0, 0, 1, 1, 0, 0}, {0, 1, 1, 0, 0, 1, 1, 0}, {1, 0, 0, 0, 0, 0, 0, 1}};
    NativeDraft n;
    n.warps = 16;
    n.wefts = 11;
    n.shafts = 8;
    n.treadles = 3;
    n.loom = 608;
    n.threading = [](int end) { return (end * 3) % 8; };
    n.tieUp = [](int t, int sh) { return tie[t][sh]; };
    n.treadleOfPick = [](int pick) { return pick % 3; };
    n.lifted = [&](int pick, int end) { return tie[pick % 3][(end * 3) % 8]; };
    n.warpColour = warpColourOf;
    n.weftColour = weftColourOf;
    ASSERT_TRUE(open(write("cm.ctm", writeNativeDraft(n))));
    const DesignModel& d = s.design();
    EXPECT_TRUE(d.shaftDraftAvailable);
    EXPECT_TRUE(s.window().control(Control::ShaftPlot).visible);
    ASSERT_EQ(d.draft.tieUp.size(), 3u);
    for (int t = 0; t < 3; ++t)
        for (int sh = 0; sh < 8; ++sh) EXPECT_EQ(d.tieUpBit(t, sh), tie[t][sh]);
    // Each pick's treadle, tied to the shafts of the threading, gives its lifts.
    for (int p = 1; p <= 11; ++p) {
        const RowNo r = d.rowOfPick(PickNo{p});
        for (int t = 0; t < 3; ++t) EXPECT_EQ(d.treadlingBit(t, r), t == p % 3) << p;
        for (int x = 0; x < 16; ++x)
            EXPECT_EQ(d.lift(r, x), d.tieUpBit(p % 3, d.draft.threading[static_cast<size_t>(x)]));
    }
}

TEST_F(Load, DobbyLiftPlanIsTakenAsItStands) {
    NativeDraft n = jacquard(8, 10);
    n.shafts = 4;
    n.treadles = 4;
    n.loom = 607;
    n.threading = [](int end) { return (end - 1) % 4; };
    n.liftPlan = [](int t, int pick) { return (t + pick) % 3 == 0; };
    ASSERT_TRUE(open(write("d.dob", writeNativeDraft(n))));
    const DesignModel& d = s.design();
    for (int p = 1; p <= 10; ++p)
        for (int t = 0; t < 4; ++t) EXPECT_EQ(d.treadlingBit(t, d.rowOfPick(PickNo{p})), (t + p) % 3 == 0);
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
        for (int e = 1; e <= 9; ++e) ASSERT_EQ(d.liftAt(PickNo{p}, e), liftOf(p + 1, e));
    EXPECT_EQ(d.weftColours[0], weftColourOf(2));
}

TEST_F(Load, LargeDesignIsReadWhateverTheLengthFieldSays) {
    settings("[WeavePilot]\ncontrollerArrangement=3520\n");
    ASSERT_TRUE(open(write("big.dob", writeNativeDraft(jacquard(3520, 80)))));
    for (int p = 1; p <= 80; p += 7)
        for (int e = 1; e <= 3520; e += 3) ASSERT_EQ(s.design().liftAt(PickNo{p}, e), liftOf(p, e));
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
    EXPECT_EQ(ui.boxes.back().text, "Cannot load " + path +
                                        ": the design data is shorter than its header says (21 of 24 bytes).");
    EXPECT_FALSE(s.design().hasDesign());
    EXPECT_FALSE(s.design().designReady);
    EXPECT_FALSE(s.window().control(Control::StartButton).enabled);
    EXPECT_TRUE(s.window().control(Control::FileMenu).enabled);

    ASSERT_FALSE(open((dir / "missing.dob").string()));
    EXPECT_NE(ui.boxes.back().text.find("No such file or directory"), std::string::npos);
}

TEST_F(Load, EveryPrefixOfADraftLoadsOrFailsCleanly) {
    NativeDraft n;
    n.warps = 10;
    n.wefts = 7;
    n.shafts = 3;
    n.treadles = 2;
    n.loom = 608;
    n.threading = [](int end) { return end % 3; };
    n.tieUp = [](int t, int sh) { return t == sh; };
    n.treadleOfPick = [](int pick) { return pick % 2; };
    n.lifted = liftOf;
    n.warpColour = warpColourOf;
    n.weftColour = weftColourOf;
    const std::vector<uint8_t> whole = writeNativeDraft(n);
    for (size_t len = 0; len < whole.size(); ++len) {
        const std::string path = write("cut.ctm", {whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(len)});
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

}  // namespace
}  // namespace wp
