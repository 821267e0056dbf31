#include <gtest/gtest.h>

#include <cstdlib>

#include "model/design.h"
#include "model/settings.h"
#include "tests/support/fakeui.h"

namespace wp {
namespace {

HardwareConfig load(const std::string& text, test::FakeUI& ui) {
    IniFile ini;
    ini.parse(text);
    HardwareConfig hw;
    readSettings(ini, hw, ui);
    return hw;
}

std::vector<int> setHooks(const HookMask& m) {
    std::vector<int> out;
    for (int h = 0; h < kMaskBits; ++h)
        if (maskBit(m, h)) out.push_back(h + 1);
    return out;
}

TEST(Settings, MissingFileGivesOneModuleJx3OnPortOne) {
    test::FakeUI ui;
    HardwareConfig hw = load("", ui);
    EXPECT_EQ(hw.loomType, LoomType::JX3);
    EXPECT_EQ(hw.commPort, 1);
    EXPECT_EQ(hw.hookCount, 220);
    EXPECT_EQ(hw.moduleCount, 1);
    EXPECT_EQ(hw.PumpTimeout, 60);
    EXPECT_EQ(hw.chunksize, 50);
    EXPECT_EQ(hw.maxWefts, 5000);
    EXPECT_TRUE(hw.Shuffle);
    EXPECT_EQ(hw.Hexfile, "DS_MAIN.HEX");
    EXPECT_TRUE(ui.boxes.empty());
}

TEST(Settings, ValuesAndLoomTypes) {
    test::FakeUI ui;
    HardwareConfig hw = load(
        "[Mirlo]\nchunksize=20\nShuffle=0\nLoomType=OLM\nMaxValves=abc\n"
        "[WeavePilot]\ncontrollerArrangement=500\ncommPort=3\nPumpTimeout=90\n",
        ui);
    EXPECT_EQ(hw.loomType, LoomType::OLM);
    EXPECT_EQ(hw.maxWefts, 2000);
    EXPECT_FALSE(hw.Shuffle);
    EXPECT_EQ(hw.MaxValves, 0);  // not a number: the default
    EXPECT_EQ(hw.hookCount, 500);
    EXPECT_EQ(hw.moduleCount, 2);
    EXPECT_EQ(hw.commPort, 3);
    EXPECT_EQ(hw.PumpTimeout, 90);

    // The comparison is exact: lower-case "select" is an ordinary JX3 loom.
    EXPECT_EQ(load("[Mirlo]\nLoomType=select\n", ui).loomType, LoomType::JX3);
    EXPECT_EQ(load("[Mirlo]\nLoomType=Select\n", ui).loomType, LoomType::Select);
    EXPECT_EQ(load("[Mirlo]\nLoomType=olm\n", ui).loomType, LoomType::JX3);
}

TEST(Settings, BlankHeadleTokens) {
    test::FakeUI ui;
    HardwareConfig hw = load("[WeavePilot]\nBlankHeadles=3,17,18\n", ui);
    EXPECT_EQ(setHooks(hw.blankHeadleMask), (std::vector<int>{3, 17, 18}));
    EXPECT_EQ(hw.blankHeadleCount, 3);
    EXPECT_TRUE(ui.boxes.empty());
    // Blank headles carry no warp end from start-up on, whatever the densities.
    EXPECT_EQ(setHooks(hw.hookSkipMask), (std::vector<int>{3, 17, 18}));

    // A comma in the first place makes the rest one token: 5 is set, ",7" is invalid.
    test::FakeUI ui2;
    hw = load("[WeavePilot]\nBlankHeadles=5,,7\n", ui2);
    EXPECT_EQ(setHooks(hw.blankHeadleMask), (std::vector<int>{5}));
    ASSERT_EQ(ui2.boxes.size(), 1u);
    EXPECT_EQ(ui2.boxes[0].text, kBlankHeadlesInvalid);
    EXPECT_EQ(ui2.boxes[0].kind, BoxKind::Error);

    for (const char* bad : {"0", "221", "-4", "x"}) {
        test::FakeUI u;
        hw = load(std::string("[WeavePilot]\nBlankHeadles=") + bad + "\n", u);
        EXPECT_TRUE(setHooks(hw.blankHeadleMask).empty()) << bad;
        EXPECT_EQ(u.boxes.size(), 1u) << bad;
        EXPECT_EQ(hw.blankHeadleCount, 0);
    }

    // One box per bad token; the good ones still apply, repeats count twice.
    test::FakeUI ui3;
    hw = load("[WeavePilot]\nBlankHeadles=2,999,2,abc,4\n", ui3);
    EXPECT_EQ(setHooks(hw.blankHeadleMask), (std::vector<int>{2, 4}));
    EXPECT_EQ(hw.blankHeadleCount, 3);
    EXPECT_EQ(ui3.boxes.size(), 2u);
}

TEST(Settings, ImpossibleValuesAreReplacedAndReported) {
    test::FakeUI ui;
    HardwareConfig hw = load(
        "[Mirlo]\nchunksize=0\n[WeavePilot]\nmodulesDeep=0\ncontrollerArrangement=9000\n"
        "densityY=-2\n",
        ui);
    EXPECT_EQ(hw.chunksize, 1);
    EXPECT_EQ(hw.modulesDeep, 1);
    EXPECT_EQ(hw.hookCount, 3520);
    EXPECT_EQ(hw.moduleCount, 16);
    EXPECT_EQ(hw.densityY, 1);
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_NE(ui.boxes[0].text.find("modulesDeep=0"), std::string::npos);
}

TEST(Settings, NumbersThatDoNotFitTheirFieldAreReplacedInTheSameBox) {
    for (const char* port : {"99999", "-1", "0"}) {
        test::FakeUI ui;
        HardwareConfig hw =
            load(std::string("[WeavePilot]\ncommPort=") + port + "\ncontrollerArrangement=0\n", ui);
        EXPECT_EQ(hw.commPort, std::string(port) == "99999" ? 255 : 1) << port;
        // No module is no loom: one module is the nearest loom there is.
        EXPECT_EQ(hw.hookCount, 220);
        EXPECT_EQ(hw.moduleCount, 1);
        ASSERT_EQ(ui.boxes.size(), 1u) << port;
        EXPECT_NE(ui.boxes[0].text.find(std::string("commPort=") + port), std::string::npos);
        EXPECT_NE(ui.boxes[0].text.find("controllerArrangement=0"), std::string::npos);
    }
    test::FakeUI ui;
    EXPECT_EQ(load("[WeavePilot]\ncommPort=12\n", ui).commPort, 12);
    EXPECT_TRUE(ui.boxes.empty());
}

TEST(Settings, ByteOrderMarkOfAWindowsEditorIsSkipped) {
    test::FakeUI ui;
    HardwareConfig hw = load("\xEF\xBB\xBF[WeavePilot]\r\ncommPort=4\r\n", ui);
    EXPECT_EQ(hw.commPort, 4);
}

TEST(DensityReduction, EverySecondHookOnOneRow) {
    test::FakeUI ui;
    HardwareConfig hw = load(
        "[WeavePilot]\ndensityX=1\ndensityY=2\nmodulesDeep=1\ncontrollerArrangement=220\n", ui);
    std::vector<int> expected;
    for (int h = 2; h <= 220; h += 2) expected.push_back(h);
    EXPECT_EQ(setHooks(hw.hookSkipMask), expected);
}

TEST(DensityReduction, BlankHeadleCountsTowardItsGroup) {
    // Two of three; hook 2 is blank, so the first group drops nothing more.
    test::FakeUI ui;
    HardwareConfig hw = load(
        "[WeavePilot]\ndensityX=2\ndensityY=3\nBlankHeadles=2\ncontrollerArrangement=220\n", ui);
    const std::vector<int> skipped = setHooks(hw.hookSkipMask);
    ASSERT_GE(skipped.size(), 4u);
    EXPECT_EQ(std::vector<int>(skipped.begin(), skipped.begin() + 4),
              (std::vector<int>{2, 6, 9, 12}));
    EXPECT_EQ(setHooks(hw.blankHeadleMask), (std::vector<int>{2}));
}

TEST(DensityReduction, TwoEqualRowsFollowTheInterleavedWalk) {
    // Walk positions alternate between the rows, so one of two drops the second row.
    test::FakeUI ui;
    HardwareConfig hw = load(
        "[WeavePilot]\ndensityX=1\ndensityY=2\nmodulesDeep=2\ncontrollerArrangement=440\n", ui);
    std::vector<int> expected;
    for (int h = 221; h <= 440; ++h) expected.push_back(h);
    EXPECT_EQ(setHooks(hw.hookSkipMask), expected);

    // Two of three on two rows: positions 2, 5, 8, ... dropped.
    hw = load("[WeavePilot]\ndensityX=2\ndensityY=3\nmodulesDeep=2\ncontrollerArrangement=440\n",
              ui);
    const std::vector<int> order = hookWalkOrder(hw);
    std::vector<int> dropped;
    for (size_t i = 2; i < order.size(); i += 3) dropped.push_back(order[i] + 1);
    std::sort(dropped.begin(), dropped.end());
    EXPECT_EQ(setHooks(hw.hookSkipMask), dropped);
}

TEST(DensityReduction, UnequalRowsReduceAlongTheWalk) {
    // 3 modules in 2 rows: rows of 440 and 220 hooks interleave for 440 places,
    // then the first row goes on alone. One of two: the whole second row goes
    // in the interleaved part, every second hook of module 2 after it.
    test::FakeUI ui;
    HardwareConfig hw = load(
        "[WeavePilot]\ndensityX=1\ndensityY=2\nmodulesDeep=2\ncontrollerArrangement=660\n", ui);
    std::vector<int> expected;
    for (int h = 222; h <= 440; h += 2) expected.push_back(h);
    for (int h = 441; h <= 660; ++h) expected.push_back(h);
    EXPECT_EQ(setHooks(hw.hookSkipMask), expected);
    for (int h : expected) EXPECT_LE(h, 660);
}

TEST(DensityReduction, DialogMaskWithoutApplyLeavesTheSkipMask) {
    HardwareConfig hw;
    hw.densityX = 1;
    hw.densityY = 3;
    setMaskBit(hw.blankHeadleMask, 0);
    densityReduction(hw, false);
    EXPECT_TRUE(setHooks(hw.hookSkipMask).empty());
    // Hook 1 blank: the group 1..3 drops only one more (hook 3).
    EXPECT_EQ(setHooks(hw.dialogMask).front(), 1);
    EXPECT_EQ(setHooks(hw.dialogMask)[1], 3);
    densityReduction(hw, true);
    EXPECT_EQ(setHooks(hw.hookSkipMask), setHooks(hw.dialogMask));
}

TEST(Settings, PortNamesResolveThroughThePortsSection) {
    test::FakeUI ui;
    HardwareConfig hw = load("[Ports]\ncom1=/dev/ttyUSB0\n", ui);
    EXPECT_EQ(devicePathFor(hw, "COM1"), "/dev/ttyUSB0");
    EXPECT_EQ(devicePathFor(hw, "COM10"), "/dev/ttyS9");
    EXPECT_EQ(devicePathFor(hw, "COM2"), "/dev/ttyS1");
}

TEST(Settings, PathComesFromOptionThenEnvironment) {
    ::setenv("WEAVEPILOT_SETTINGS", "/tmp/env.ini", 1);
    EXPECT_EQ(settingsPath("/x/lanset.ini"), "/x/lanset.ini");
    EXPECT_EQ(settingsPath(), "/tmp/env.ini");
    ::unsetenv("WEAVEPILOT_SETTINGS");
    ::setenv("XDG_CONFIG_HOME", "/cfg", 1);
    EXPECT_EQ(settingsPath(), "/cfg/weavepilot/lanset.ini");
    ::unsetenv("XDG_CONFIG_HOME");
    ::setenv("HOME", "/home/w", 1);
    EXPECT_EQ(settingsPath(), "/home/w/.config/weavepilot/lanset.ini");
}

}  // namespace
}  // namespace wp
