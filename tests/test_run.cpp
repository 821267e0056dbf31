#include <gtest/gtest.h>

#include "app/run.h"
#include "tests/support/fakeui.h"
#include "tests/support/ptypeer.h"

namespace wp {
namespace {

struct Run : ::testing::Test {
    test::FakeUI ui;
    Session s{ui, "/nonexistent/lanset.ini", [] { return makePosixSerialPort({}); }};
    WeavingRun run{s};
    void range(int from, int to) {
        s.window().setStartWeft(from);
        s.window().setEndWeft(to);
    }
};

TEST_F(Run, NextPickWalksTheSequence) {
    range(3, 5);
    EXPECT_EQ(run.NextPick(0), 3);
    EXPECT_EQ(run.NextPick(3), 4);
    EXPECT_EQ(run.NextPick(5), 0);
    s.window().setChecked(Control::LoopCheck, true);
    EXPECT_EQ(run.NextPick(5), 3);
    s.window().setChecked(Control::ReverseBox, true);
    EXPECT_EQ(run.NextPick(0), 5);
    EXPECT_EQ(run.NextPick(4), 3);
    EXPECT_EQ(run.NextPick(3), 5);
    s.window().setChecked(Control::LoopCheck, false);
    EXPECT_EQ(run.NextPick(3), 0);
}

TEST_F(Run, StatesOfTheControls) {
    s.design().designReady = true;
    run.enterRunningState();
    EXPECT_FALSE(s.window().control(Control::StartButton).enabled);
    EXPECT_FALSE(s.window().control(Control::ResumeButton).enabled);
    EXPECT_TRUE(s.window().control(Control::StopButton).enabled);
    EXPECT_FALSE(s.window().control(Control::FileMenu).enabled);
    EXPECT_FALSE(s.window().control(Control::ControlMenu).enabled);
    EXPECT_FALSE(s.window().control(Control::TabbyCheck).enabled);
    run.leaveRunningState();
    EXPECT_TRUE(s.window().control(Control::StartButton).enabled);
    EXPECT_FALSE(s.window().control(Control::StopButton).enabled);
    EXPECT_TRUE(s.window().control(Control::ReverseBox).enabled);
    s.design().designReady = false;
    run.leaveRunningState();
    EXPECT_FALSE(s.window().control(Control::StartButton).enabled);
    run.blockedState();
    EXPECT_FALSE(s.window().control(Control::StopButton).enabled);

    s.design().hw.loomType = LoomType::OLM;
    run.applyCaptions();
    EXPECT_EQ(s.window().control(Control::StartButton).caption, "220");
    EXPECT_EQ(s.window().control(Control::ResumeButton).caption, "Direct");
    s.window().setChecked(Control::TabbyCheck, true);
    run.applyCaptions();
    EXPECT_EQ(s.window().control(Control::StopButton).caption, "StopTabby");
}

TEST_F(Run, ResetOfASilentControllerOffersTheDownload) {
    // A controller on an open line that does not answer may lack its firmware.
    test::PtyPeer peer;
    Session silent(ui, "/nonexistent/lanset.ini", test::portsWithCom1At(peer.slavePath()));
    WeavingRun r(silent);
    silent.createDriver(LoomType::JX3);
    ASSERT_TRUE(silent.driver()->OpenPort(1, false));
    bool offered = false;
    r.downloadFirmware = [&] { offered = true; };
    ui.answers = {Answer::Yes};
    r.controllerReset(0);
    EXPECT_EQ(ui.boxTexts(),
              std::vector<std::string>{"Controller is not responding. Download software?"});
    EXPECT_TRUE(offered);
    EXPECT_FALSE(silent.controllerAnswered());

    // A port that is not open cannot take firmware: nothing is offered.
    ui.boxes.clear();
    s.createDriver(LoomType::JX3);
    run.controllerReset(0);
    EXPECT_TRUE(ui.boxes.empty());
    EXPECT_FALSE(s.controllerAnswered());

    // The shaft loom has nothing to reset: it always counts as answered.
    s.createDriver(LoomType::OLM);
    run.controllerReset(1);
    EXPECT_TRUE(s.controllerAnswered());
    EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(Run, ShaftLoomRefusesDraftsItCannotWeave) {
    s.createDriver(LoomType::OLM);
    s.design().designReady = true;
    run.StartButtonClick();
    EXPECT_EQ(ui.boxTexts(),
              std::vector<std::string>{"Shaft representation of pattern not available"});
    s.design().shaftDraftAvailable = true;
    s.design().header.set(Slot::loom, kLoomDobby);
    s.design().header.set(Slot::treadles, 25);
    run.ResumeButtonClick();
    EXPECT_EQ(ui.boxTexts().back(), "Maximum is 24 shafts !");
}

}  // namespace
}  // namespace wp
