// Start, first activation, close, logging and the end of the program, without windows.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/lifecycle.h"
#include "app/run.h"
#include "import/load.h"
#include "tests/support/fakeui.h"
#include "tools/coloursfile.h"

namespace {

namespace fs = std::filesystem;
using wp::Answer;
using wp::Control;

std::string slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

// The settings file as lines, whatever their ends.
std::string lines(const fs::path& p) {
    std::string s = slurp(p);
    std::erase(s, '\r');
    return s;
}

void spit(const fs::path& p, const std::string& text) {
    std::ofstream out(p, std::ios::binary);
    out << text;
}

class LifecycleTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("wp-life-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
               "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
        ini = dir / "lanset.ini";
        design = dir / "twill8.dob";
        fs::copy_file(fs::path(WP_EXAMPLES_DIR) / "twill8.dob", design);
    }
    void TearDown() override { fs::remove_all(dir); }

    // A program as the window starts it: session, run, lifecycle, created.
    struct Program {
        explicit Program(const fs::path& settings)
            : session(ui, settings.string()), run(session), life(session) {
            life.logPath = (settings.parent_path() / "loomdump.txt").string();
        }
        wp::test::FakeUI ui;
        wp::Session session;
        wp::WeavingRun run;
        wp::Lifecycle life;
    };

    // Loads the test design as the File menu does.
    static void load(Program& p, const fs::path& file) {
        p.ui.fileToChoose = file.string();
        wp::DesignLoader loader(p.session);
        ASSERT_TRUE(loader.openCommand(wp::FileType::Native));
    }

    fs::path dir, ini, design;
};

TEST_F(LifecycleTest, CreationSetsTheStartingState) {
    spit(ini, "[Mirlo]\nLoomType=Select\n[WeavePilot]\ncontrollerArrangement=440\n");
    Program p(ini);
    p.session.design().shaftDraftAvailable = true;
    p.session.design().analysis.floatCutLimit = 7;
    p.session.design().analysis.floatMap.assign(4, 1);
    EXPECT_TRUE(p.life.create(false));

    const wp::DesignModel& d = p.session.design();
    EXPECT_FALSE(d.shaftDraftAvailable);
    EXPECT_TRUE(d.firstActivation);
    EXPECT_FALSE(d.designReady);
    EXPECT_EQ(d.analysis.floatCutLimit, 0);
    EXPECT_TRUE(d.analysis.floatMap.empty());
    EXPECT_FALSE(p.session.window().control(Control::ShaftPlot).visible);
    EXPECT_FALSE(p.session.window().control(Control::ShaftPlot).enabled);
    EXPECT_FALSE(p.session.window().checked(Control::ShaftPlot));
    EXPECT_FALSE(p.session.window().control(Control::InvertBox).enabled);
    EXPECT_EQ(d.tabbyEven.front(), 0x55);
    EXPECT_EQ(d.tabbyEven.back(), 0x55);
    EXPECT_EQ(d.tabbyOdd.front(), 0xAA);
    EXPECT_EQ(d.tabbyOdd.back(), 0xAA);
    EXPECT_EQ(d.hw.moduleCount, 2);
    EXPECT_EQ(d.matrix.rowModules(), 2);
    EXPECT_EQ(d.hw.programDirectory, fs::current_path().string());
    EXPECT_EQ(p.session.driver(), nullptr);
    EXPECT_TRUE(p.ui.boxes.empty());
}

TEST_F(LifecycleTest, FirstActivationOffersTheStoredDesignOnce) {
    spit(ini, "[WeavePilot]\nPumpTimeout=90\n[CurrentFile]\nweft_pos=7\nFileType=0\nFileName=" +
                  design.string() + "\n");
    Program p(ini);
    p.life.create(false);
    p.session.design().hw.PumpTimeout = 5;
    // No port open: the resets have nothing to ask about firmware.
    p.ui.answers = {Answer::Yes};
    EXPECT_TRUE(p.life.FormActivate());

    EXPECT_EQ(p.ui.boxTexts(),
              (std::vector<std::string>{"Continue razezog " + design.string() + " ?"}));
    EXPECT_EQ(p.ui.boxes[0].kind, wp::BoxKind::Information);
    EXPECT_EQ(p.ui.boxes[0].buttons, wp::Buttons::YesNo);
    const wp::DesignModel& d = p.session.design();
    EXPECT_TRUE(d.hasDesign());
    EXPECT_EQ(d.header.warps(), 48);
    EXPECT_EQ(d.currentPick, 7);  // the stored pick stays in force
    EXPECT_EQ(d.hw.PumpTimeout, 90);
    EXPECT_FALSE(d.firstActivation);

    // A second activation (after a dialog, say) does nothing at all.
    p.ui.boxes.clear();
    EXPECT_FALSE(p.life.FormActivate());
    EXPECT_TRUE(p.ui.boxes.empty());
}

TEST_F(LifecycleTest, FirstActivationOffersNothingItCannotReload) {
    for (const std::string& name : {std::string("a.db"), (dir / "gone.dob").string()}) {
        spit(ini, "[Mirlo]\nLoomType=Select\n[CurrentFile]\nweft_pos=3\nFileName=" + name + "\n");
        Program p(ini);
        p.life.create(false);
        EXPECT_FALSE(p.life.FormActivate()) << name;
        EXPECT_TRUE(p.ui.boxes.empty()) << name;
        EXPECT_EQ(p.session.design().currentPick, 3);
        EXPECT_FALSE(p.session.design().hasDesign());
    }
    // Answering No leaves the program without a design.
    spit(ini, "[Mirlo]\nLoomType=Select\n[CurrentFile]\nFileName=" + design.string() + "\n");
    Program p(ini);
    p.life.create(false);
    EXPECT_FALSE(p.life.FormActivate());
    EXPECT_EQ(p.ui.boxTexts().size(), 1u);
    EXPECT_FALSE(p.session.design().hasDesign());
}

TEST_F(LifecycleTest, CloseKeepsThePickOnlyWhenAskedTo) {
    const std::string base = "; the weaver's own note\n[WeavePilot]\ncommPort=1\n";
    spit(ini, base + "[CurrentFile]\nweft_pos=12\nFileName=old.dob\n");
    {
        // Pick 1: nothing asked, the old section goes.
        Program p(ini);
        p.life.create(false);
        load(p, design);
        p.ui.boxes.clear();
        ASSERT_TRUE(p.session.design().designReady);
        EXPECT_FALSE(p.life.FormClose());
        EXPECT_TRUE(p.ui.boxes.empty());
        EXPECT_EQ(lines(ini), base);
    }
    {
        // No: asked once, nothing kept.
        Program p(ini);
        p.life.create(false);
        load(p, design);
        p.session.design().currentPick = 9;
        p.ui.boxes.clear();
        p.ui.answers = {Answer::No};
        EXPECT_FALSE(p.life.FormClose());
        EXPECT_EQ(p.ui.boxTexts(), std::vector<std::string>{"Save current weft position?"});
        EXPECT_EQ(lines(ini), base);
    }
    {
        // Yes: the design and pick are written, and offered at the next start.
        Program p(ini);
        p.life.create(false);
        load(p, design);
        p.session.design().currentPick = 9;
        p.session.design().manualColours = true;
        std::string coloursWritten;
        p.life.writeColoursFile = [&](const std::string& path) {
            coloursWritten = path;
            return true;
        };
        p.ui.answers = {Answer::Yes};
        EXPECT_TRUE(p.life.FormClose());
        EXPECT_EQ(coloursWritten, (dir / "twill8_colors.bmp").string());
        const std::string text = lines(ini);
        EXPECT_EQ(text.rfind(base, 0), 0u) << text;
        EXPECT_NE(text.find("[CurrentFile]"), std::string::npos);
        EXPECT_NE(text.find("weft_pos=9"), std::string::npos);
        EXPECT_NE(text.find("FileType=0"), std::string::npos);
        EXPECT_NE(text.find("FileName=" + design.string()), std::string::npos);
    }
    // The atomic write leaves no temporary file behind.
    int files = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir)) ++files;
    EXPECT_EQ(files, 2);  // lanset.ini and the design
    Program next(ini);
    next.life.create(false);
    next.ui.answers = {Answer::Yes};
    EXPECT_TRUE(next.life.FormActivate());
    EXPECT_EQ(next.session.design().currentPick, 9);
}

TEST_F(LifecycleTest, CloseKeepsColoursSetByHandInTheColoursFile) {
    spit(ini, "[WeavePilot]\ncommPort=1\n");
    const fs::path colours = dir / "twill8_colors.bmp";
    {
        Program p(ini);
        p.life.create(false);
        load(p, design);
        wp::DesignModel& d = p.session.design();
        d.currentPick = 4;
        d.weftColours[0] = 0x123456;
        // Not set by hand: no colours file.
        p.ui.answers = {Answer::Yes};
        EXPECT_TRUE(p.life.FormClose());
        EXPECT_FALSE(fs::exists(colours));
        d.manualColours = true;
        d.currentPick = 5;
        p.ui.answers = {Answer::Yes};
        EXPECT_TRUE(p.life.FormClose());
        const std::vector<uint8_t> want = wp::encodeColoursFile(d);
        EXPECT_EQ(slurp(colours), std::string(want.begin(), want.end()));
    }
    {
        // A colours file that cannot be written is reported; the pick is kept.
        Program p(ini);
        p.life.create(false);
        load(p, design);
        fs::remove(colours);
        fs::create_directory(colours);
        p.session.design().currentPick = 6;
        p.session.design().manualColours = true;
        p.ui.boxes.clear();
        p.ui.answers = {Answer::Yes};
        EXPECT_TRUE(p.life.FormClose());
        ASSERT_EQ(p.ui.boxes.size(), 2u);
        EXPECT_EQ(p.ui.boxes[1].kind, wp::BoxKind::Error);
        EXPECT_EQ(p.ui.boxes[1].text.rfind("Cannot write the colours file " + colours.string(), 0),
                  0u)
            << p.ui.boxes[1].text;
        EXPECT_NE(lines(ini).find("weft_pos=6"), std::string::npos);
    }
}

TEST_F(LifecycleTest, CloseWithoutSettingsFileCreatesNone) {
    Program p(dir / "missing" / "lanset.ini");
    p.life.create(false);
    EXPECT_FALSE(p.life.FormClose());
    EXPECT_FALSE(fs::exists(dir / "missing"));
}

TEST_F(LifecycleTest, ASettingsFileTheWeaverNamedMustBeReadable) {
    // At the default place a missing file is the first start: nothing to say.
    {
        Program p(dir / "absent.ini");
        p.life.create(false);
        EXPECT_TRUE(p.ui.boxes.empty());
    }
    // Named on the command line, missing or a folder: one box naming the path.
    for (const fs::path& named : {dir / "absent.ini", dir}) {
        Program p(named);
        p.session.setSettingsChosen(true);
        p.life.create(false);
        ASSERT_EQ(p.ui.boxes.size(), 1u) << named;
        EXPECT_NE(p.ui.boxes[0].text.find(named.string()), std::string::npos);
        EXPECT_NE(p.ui.boxes[0].text.find("default settings"), std::string::npos);
        EXPECT_EQ(p.session.design().hw.hookCount, 220);
    }
    // A folder is unreadable wherever it stands.
    Program p(dir);
    p.life.create(false);
    EXPECT_EQ(p.ui.boxes.size(), 1u);
}

TEST_F(LifecycleTest, LoggingWritesTheHardwareHead) {
    spit(ini,
         "[Mirlo]\nLoomType=Select\n[WeavePilot]\ncontrollerArrangement=440\nmodulesDeep=2\n"
         "BlankHeadles=3,9,300\ndensityX=1\ndensityY=1\n");
    Program p(ini);
    p.life.create(false);
    EXPECT_TRUE(p.life.LoggingClick());
    EXPECT_TRUE(p.session.log().isOpen());
    p.session.log().write("frame\r\n");
    EXPECT_EQ(slurp(p.life.logPath),
              "modulesDeep=2  densityX=1  densityY=1\r\nBlankHeadles=3,9,300,\r\nframe\r\n");
    EXPECT_FALSE(p.life.LoggingClick());
    EXPECT_FALSE(p.session.log().isOpen());

    // Turned on again, the file starts afresh.
    EXPECT_TRUE(p.life.LoggingClick());
    EXPECT_EQ(slurp(p.life.logPath),
              "modulesDeep=2  densityX=1  densityY=1\r\nBlankHeadles=3,9,300,\r\n");
    p.life.ExitClick();
    EXPECT_FALSE(p.session.log().isOpen());

    // A file that cannot be created: logging stays off, nothing is said.
    p.life.logPath = (dir / "no" / "such" / "dir" / "loomdump.txt").string();
    EXPECT_FALSE(p.life.LoggingClick());
    EXPECT_FALSE(p.session.log().isOpen());
    EXPECT_TRUE(p.ui.boxes.empty());
}

TEST_F(LifecycleTest, LoggingWithoutBlankHeadlesEndsTheListEmpty) {
    spit(ini, "[Mirlo]\nLoomType=Select\n");
    Program p(ini);
    p.life.create(false);
    EXPECT_EQ(p.life.logHeader(), "modulesDeep=1  densityX=1  densityY=1\r\nBlankHeadles=\r\n");
}

TEST_F(LifecycleTest, ResetAndDestruction) {
    spit(ini, "[WeavePilot]\ncommPort=1\n[Ports]\nCOM1=" + (dir / "none").string() + "\n");
    Program p(ini);
    p.life.create(false);
    load(p, design);
    p.ui.boxes.clear();
    // Reset tries the port again (the loom may have been plugged in since); it
    // is still missing, and a download cannot help.
    p.life.ResetClick();
    ASSERT_EQ(p.ui.boxes.size(), 1u);
    EXPECT_EQ(
        p.ui.boxes[0].text.rfind(
            "ComPort open failed: " + (dir / "none").string() + ": No such file or directory. ", 0),
        0u)
        << p.ui.boxes[0].text;

    ASSERT_TRUE(p.session.design().designReady);
    p.session.window().setEnabled(Control::InvertBox, true);
    p.life.destroy();
    EXPECT_FALSE(p.session.design().designReady);
    EXPECT_FALSE(p.session.design().hasDesign());
    EXPECT_FALSE(p.session.window().control(Control::InvertBox).enabled);
}

TEST_F(LifecycleTest, JournalLeftBehindIsOfferedBeforeTheLastDesign) {
    spit(ini, "[CurrentFile]\nweft_pos=7\nFileType=0\nFileName=" + design.string() + "\n");
    const std::string offer = "Weaving stopped unexpectedly at pick 5 of " + design.string() +
                              ". Continue from the next pick?";
    wp::Journal journal(wp::journalPathFor(ini.string()));
    ASSERT_TRUE(
        journal.record({design.string(), wp::FileType::Native, 5, 3, 10, true, false, true}));
    {
        // Yes: the journal's design, range and direction; Next weft is the pick
        // after 5 going down.
        Program p(ini);
        p.life.create(false);
        p.ui.answers = {Answer::Yes};
        EXPECT_TRUE(p.life.FormActivate());
        EXPECT_EQ(p.ui.boxTexts(), std::vector<std::string>{offer});
        const wp::DesignModel& d = p.session.design();
        EXPECT_TRUE(d.designReady);
        EXPECT_EQ(d.designFileName, design.string());
        EXPECT_EQ(d.currentPick, 5);
        const wp::RunPanel& panel = p.session.window().panel();
        EXPECT_EQ(panel.startWeft, 3);
        EXPECT_EQ(panel.endWeft, 10);
        EXPECT_EQ(panel.nextWeft, 4);
        EXPECT_EQ(panel.currentWeft, "5");
        EXPECT_TRUE(p.session.window().checked(Control::ReverseBox));
        EXPECT_TRUE(p.session.window().checked(Control::TabbyCheck));
        EXPECT_FALSE(p.session.window().checked(Control::LoopCheck));
    }
    {
        // No: the usual offer follows, and the journal stays until a clean close.
        Program p(ini);
        p.life.create(false);
        p.ui.answers = {Answer::No, Answer::Yes};
        EXPECT_TRUE(p.life.FormActivate());
        EXPECT_EQ(p.ui.boxTexts(),
                  (std::vector<std::string>{offer, "Continue razezog " + design.string() + " ?"}));
        EXPECT_EQ(p.session.design().currentPick, 7);
        EXPECT_TRUE(journal.read());
        p.life.FormClose();
        EXPECT_FALSE(journal.read());
    }
    {
        // A range woven to its end leaves nothing to go on with: no offer.
        spit(ini, "[CurrentFile]\nweft_pos=7\nFileType=0\nFileName=" + design.string() + "\n");
        ASSERT_TRUE(
            journal.record({design.string(), wp::FileType::Native, 3, 3, 10, true, false, false}));
        Program p(ini);
        p.life.create(false);
        p.ui.answers = {Answer::No};
        EXPECT_FALSE(p.life.FormActivate());
        EXPECT_EQ(p.ui.boxTexts(),
                  std::vector<std::string>{"Continue razezog " + design.string() + " ?"});
    }
}

TEST_F(LifecycleTest, APickTheLoomHeldIsTheWeaversToCallWoven) {
    wp::Journal journal(wp::journalPathFor(ini.string()));
    struct Case {
        int pick;
        Answer woven;
        int nextWeft;
        std::string currentWeft;
    };
    // Range 3..10 going up; the loom held the pick when weaving stopped.
    for (const Case& c : {Case{6, Answer::Yes, 7, "6"}, Case{6, Answer::No, 6, "5"},
                          Case{3, Answer::No, 3, ""}, Case{10, Answer::Yes, 3, "10"}}) {
        SCOPED_TRACE(std::to_string(c.pick) + (c.woven == Answer::Yes ? " woven" : " not woven"));
        wp::JournalEntry e{
            design.string(), wp::FileType::Native, c.pick, 3, 10, false, false, false};
        e.onLoom = true;
        ASSERT_TRUE(journal.record(e));
        Program p(ini);
        p.life.create(false);
        p.ui.answers = {Answer::Yes, c.woven};
        EXPECT_TRUE(p.life.FormActivate());
        ASSERT_EQ(p.ui.boxTexts().size(), 2u);
        EXPECT_EQ(p.ui.boxTexts()[1], "Pick " + std::to_string(c.pick) +
                                          " had been sent to the loom when weaving stopped. Has "
                                          "the loom woven it?");
        const wp::RunPanel& panel = p.session.window().panel();
        EXPECT_EQ(panel.nextWeft, c.nextWeft);
        if (!c.currentWeft.empty()) {
            EXPECT_EQ(panel.currentWeft, c.currentWeft);
        }
        p.life.FormClose();
    }
}

}  // namespace
