// The hardware settings dialog's logic, driven without widgets.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/hardwaresettings.h"
#include "model/settings.h"
#include "tests/support/fakeui.h"

namespace wp {
namespace {

namespace fs = std::filesystem;

struct Dialog : ::testing::Test {
    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("wp-hw-" +
               std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(dir);
        fs::create_directories(dir);
        ini = dir / "lanset.ini";
    }
    void TearDown() override { fs::remove_all(dir); }

    // A session on the given settings text, without a port.
    Session& start(const std::string& text) {
        std::ofstream(ini, std::ios::binary) << text;
        session = std::make_unique<Session>(ui, ini.string());
        session->loadSettings(false);
        dialog = std::make_unique<HardwareSettings>(*session);
        dialog->show();
        return *session;
    }
    std::string file() const {
        std::ifstream in(ini, std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        std::string s = ss.str();
        std::erase(s, '\r');
        return s;
    }
    std::vector<int> blank() const {
        std::vector<int> out;
        for (int h = 0; h < kMaskBits; ++h)
            if (maskBit(session->design().hw.blankHeadleMask, h)) out.push_back(h + 1);
        return out;
    }

    fs::path dir, ini;
    test::FakeUI ui;
    std::unique_ptr<Session> session;
    std::unique_ptr<HardwareSettings> dialog;
};

TEST_F(Dialog, ShowReflectsTheConfiguration) {
    start(
        "[WeavePilot]\ncommPort=3\ncontrollerArrangement=880\nmodulesDeep=2\ndensityX=2\n"
        "densityY=3\nBlankHeadles=2,221\n");
    const auto& c = dialog->controls();
    EXPECT_EQ(c.port, 3);
    EXPECT_EQ(c.modules, 4);
    EXPECT_EQ(c.moduleMax, 4);
    EXPECT_EQ(c.modulesDeep, 2);
    EXPECT_EQ(c.densityX, 2);
    EXPECT_EQ(c.densityXMax, 3);
    EXPECT_TRUE(c.jx3Controls);
    EXPECT_FALSE(c.loomTypeVisible);
    EXPECT_EQ(c.loomTypeItem, 1);
    EXPECT_TRUE(dialog->cell(2, 1));  // hook 2 of module 1
    EXPECT_FALSE(dialog->cell(1, 1));
    dialog->setModule(2);
    EXPECT_TRUE(dialog->cell(1, 1));  // hook 221 is the first of module 2
}

TEST_F(Dialog, DoubleClickAndEnterMarkHooksThatOkApplies) {
    Session& s = start("[WeavePilot]\ncontrollerArrangement=660\n");
    dialog->setModule(2);
    dialog->doubleClickCell(5, 2);
    EXPECT_EQ(dialog->controls().hookNumber, "25");
    dialog->enterHookNumber("221");  // beyond a module: nothing
    dialog->enterHookNumber("7");
    dialog->enterHookNumber("abc");
    EXPECT_EQ(dialog->controls().hookNumber, "");
    EXPECT_TRUE(blank().empty());  // nothing applies before a commit
    dialog->ok();
    EXPECT_EQ(blank(), (std::vector<int>{227, 245}));
    EXPECT_TRUE(maskBit(s.design().hw.hookSkipMask, 244));
    // A second double click clears the mark again.
    dialog->show();
    dialog->setModule(2);
    dialog->doubleClickCell(5, 2);
    dialog->ok();
    EXPECT_EQ(blank(), (std::vector<int>{227}));
}

TEST_F(Dialog, FewerModulesCommitTheShownModuleFirst) {
    start("[WeavePilot]\ncontrollerArrangement=880\n");
    dialog->setModule(3);
    dialog->doubleClickCell(1, 1);  // hook 441
    dialog->setModules(2);
    EXPECT_EQ(dialog->controls().module, 2);
    EXPECT_EQ(dialog->controls().moduleMax, 2);
    EXPECT_EQ(blank(), std::vector<int>{441});
    EXPECT_EQ(session->design().hw.hookCount, 440);
}

TEST_F(Dialog, ShowDensityShowsTheDroppedHooksAndLocksTheGrid) {
    start("[WeavePilot]\nBlankHeadles=1\n");
    dialog->setDensityY(2);
    dialog->setDensityX(1);
    dialog->setShowDensity(true);
    // Hook 1 blank fills the first group's drop; from hook 3 on every second hook goes.
    EXPECT_TRUE(dialog->cell(1, 1));
    EXPECT_FALSE(dialog->cell(2, 1));
    EXPECT_FALSE(dialog->cell(3, 1));
    EXPECT_TRUE(dialog->cell(4, 1));
    dialog->doubleClickCell(2, 1);
    EXPECT_FALSE(dialog->cell(2, 1));
    dialog->setShowDensity(false);
    EXPECT_TRUE(dialog->cell(1, 1));
    EXPECT_FALSE(dialog->cell(4, 1));
    dialog->ok();
    EXPECT_TRUE(maskBit(session->design().hw.hookSkipMask, 3));
    EXPECT_EQ(blank(), std::vector<int>{1});
}

TEST_F(Dialog, DensityAndPumpLimits) {
    Session& s = start("");
    dialog->setDensityY(4);
    dialog->setDensityX(9);
    EXPECT_EQ(dialog->controls().densityX, 4);
    dialog->setDensityY(2);
    EXPECT_EQ(s.design().hw.densityX, 2);
    EXPECT_EQ(dialog->controls().densityXMax, 2);
    dialog->setPumpTimeout(10);
    EXPECT_EQ(s.design().hw.PumpTimeout, 60);
    dialog->setPumpTimeout(200);
    EXPECT_EQ(s.design().hw.PumpTimeout, 200);
    dialog->setModulesDeep(5);
    EXPECT_EQ(s.design().hw.modulesDeep, 1);  // one module: one row
}

TEST_F(Dialog, SaveWritesTheSectionAfreshAndReadsBackEqual) {
    start(
        "; my loom\n[Mirlo]\nchunksize=20\n[WeavePilot]\nPumpTimeout=90\nOldKey=1\n"
        "densityX=3\ndensityY=2\n[CurrentFile]\nweft_pos=7\n");
    dialog->setPort(4);
    dialog->setModules(2);
    dialog->setModule(2);
    dialog->doubleClickCell(3, 1);
    dialog->setModule(1);
    dialog->doubleClickCell(20, 11);
    ASSERT_TRUE(dialog->save());
    const std::string text = file();
    EXPECT_NE(text.find("; my loom"), std::string::npos);
    EXPECT_NE(text.find("chunksize=20"), std::string::npos);
    EXPECT_NE(text.find("weft_pos=7"), std::string::npos);
    EXPECT_EQ(text.find("OldKey"), std::string::npos);
    EXPECT_NE(text.find("BlankHeadles=220,223\n"), std::string::npos);
    // densityX above densityY came only from the file: both keys are left out.
    EXPECT_EQ(text.find("densityX"), std::string::npos);
    EXPECT_EQ(session->design().hw.blankHeadleCount, 2);

    test::FakeUI ui2;
    Session back(ui2, ini.string());
    back.loadSettings(false);
    const HardwareConfig& a = session->design().hw;
    const HardwareConfig& b = back.design().hw;
    EXPECT_EQ(b.commPort, 4);
    EXPECT_EQ(b.hookCount, 440);
    EXPECT_EQ(b.PumpTimeout, a.PumpTimeout);
    EXPECT_EQ(b.blankHeadleMask, a.blankHeadleMask);
    EXPECT_EQ(b.densityX, 1);
    EXPECT_EQ(b.densityY, 1);

    // Without blank headles the key goes away.
    dialog->show();
    dialog->doubleClickCell(20, 11);
    dialog->setModule(2);
    dialog->doubleClickCell(3, 1);
    ASSERT_TRUE(dialog->save());
    EXPECT_EQ(file().find("BlankHeadles"), std::string::npos);
}

TEST_F(Dialog, LoomTypeChangeReplacesTheDriver) {
    Session& s = start("[Mirlo]\nLoomType=Select\n[WeavePilot]\ncontrollerArrangement=440\n");
    EXPECT_EQ(s.driver(), nullptr);
    EXPECT_TRUE(dialog->controls().loomTypeEnabled);
    EXPECT_EQ(dialog->controls().loomTypeItem, 0);
    dialog->setLoomType(2);
    ASSERT_NE(s.driver(), nullptr);
    EXPECT_EQ(s.driver()->loomType(), LoomType::OLM);
    EXPECT_FALSE(dialog->controls().jx3Controls);
    EXPECT_EQ(s.window().control(Control::StartButton).caption, "220");
    EXPECT_EQ(s.window().control(Control::ResumeButton).caption, "Direct");
    dialog->setLoomType(1);
    EXPECT_EQ(s.driver()->loomType(), LoomType::JX3);
    EXPECT_EQ(s.design().hw.hookCount, 440);
    EXPECT_EQ(s.window().control(Control::StartButton).caption, "Start");
    dialog->setLoomType(0);
    EXPECT_EQ(s.driver(), nullptr);
    EXPECT_EQ(s.window().control(Control::ResumeButton).caption, "Direct");

    // A fixed loom type keeps its driver.
    Session& fixed = start("[Mirlo]\nLoomType=JX3\n");
    dialog->setLoomType(2);
    EXPECT_EQ(fixed.driver()->loomType(), LoomType::JX3);
    EXPECT_FALSE(dialog->controls().loomTypeVisible);
}

TEST_F(Dialog, PortDeviceGoesToThePortsSection) {
    start("[WeavePilot]\ncommPort=2\n");
    EXPECT_EQ(dialog->portDevice(), "/dev/ttyS1");
    dialog->setPortDevice("/dev/ttyUSB0");
    EXPECT_EQ(devicePathFor(session->design().hw, "COM2"), "/dev/ttyUSB0");
    ASSERT_TRUE(dialog->save());
    EXPECT_NE(file().find("[Ports]\nCOM2=/dev/ttyUSB0"), std::string::npos);
}

}  // namespace
}  // namespace wp
