#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

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

namespace wp {
namespace {

struct JournalFile : ::testing::Test {
    std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("wp_journal_" + std::to_string(::getpid()));
    void SetUp() override { std::filesystem::create_directories(dir); }
    void TearDown() override { std::filesystem::remove_all(dir); }
};

TEST_F(JournalFile, WrittenWholeReadBackAndRemoved) {
    EXPECT_EQ(journalPathFor((dir / "lanset.ini").string()), (dir / "weaving.journal").string());
    Journal j((dir / "weaving.journal").string());
    EXPECT_FALSE(j.read());
    const JournalEntry e{
        (dir / "my design.dob").string(), FileType::Wif, 7, 3, 12, true, false, true};
    ASSERT_TRUE(j.record(e));
    EXPECT_TRUE(j.recorded());
    j.flush();
    const auto back = j.read();
    ASSERT_TRUE(back);
    EXPECT_EQ(back->designFile, e.designFile);  // spaces and all
    EXPECT_EQ(back->designType, FileType::Wif);
    EXPECT_EQ(back->pick, 7);
    EXPECT_EQ(back->startWeft, 3);
    EXPECT_EQ(back->endWeft, 12);
    EXPECT_TRUE(back->reverse);
    EXPECT_FALSE(back->loop);
    EXPECT_TRUE(back->tabby);
    // Written beside and swapped in: the journal and the file beside it, and a
    // shorter entry leaves nothing of a longer one behind.
    ASSERT_TRUE(j.record({"b.dob", FileType::Native, 8, 3, 12, false, false, false}));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir),
                            std::filesystem::directory_iterator()),
              2);
    ASSERT_TRUE(j.record({"c.dob", FileType::Native, 9, 3, 12, false, false, false}));
    EXPECT_EQ(j.read()->designFile, "c.dob");
    EXPECT_EQ(j.read()->pick, 9);
    EXPECT_FALSE(j.read()->reverse);
    ASSERT_TRUE(j.record(e));

    // A name the file cannot hold leaves the last entry as it was.
    EXPECT_FALSE(j.record({"bad\nname.dob", FileType::Native, 8, 3, 12, true, false, false}));
    EXPECT_EQ(j.read()->pick, 7);

    j.remove();
    EXPECT_FALSE(j.read());
    EXPECT_FALSE(j.recorded());
    EXPECT_TRUE(std::filesystem::is_empty(dir));
}

TEST_F(JournalFile, EntriesThatMakeNoSenseAreNotOffered) {
    const std::string path = (dir / "weaving.journal").string();
    Journal j(path);
    for (const char* text :
         {"[Weaving]\nFileName=\"a.dob\"\npick=30\nStartWeft=1\nEndWeft=20\n",  // pick outside
          "[Weaving]\npick=3\nStartWeft=1\nEndWeft=20\n",                       // no design
          "[Weaving]\nFileName=a.dob\nFileType=9\npick=3\nStartWeft=1\nEndWeft=20\n",
          "not a journal at all"}) {
        std::ofstream(path) << text;
        EXPECT_FALSE(j.read()) << text;
    }
    std::ofstream(path) << "[Weaving]\nFileName=a.dob\npick=3\nStartWeft=1\nEndWeft=20\n";
    EXPECT_TRUE(j.read());
}

TEST(JournalNext, PickAfterTheJournalsInItsDirection) {
    JournalEntry e{"a.dob", FileType::Native, 5, 3, 8, false, false, false};
    EXPECT_EQ(nextPickAfter(e), 6);
    e.reverse = true;
    EXPECT_EQ(nextPickAfter(e), 4);
    e.pick = 3;
    EXPECT_EQ(nextPickAfter(e), 0);  // the range is done
    e.loop = true;
    EXPECT_EQ(nextPickAfter(e), 8);
    e = {"a.dob", FileType::Native, 8, 3, 8, false, true, false};
    EXPECT_EQ(nextPickAfter(e), 3);
}

}  // namespace
}  // namespace wp
