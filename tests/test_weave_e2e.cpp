// Weaves designs through the real serial code, over a pseudo-terminal, against
// the controller simulator, and compares the cloth the simulator recorded with
// the design.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>
#include <thread>

#include "app/run.h"
#include "app/session.h"
#include "import/load.h"
#include "import/nativewriter.h"
#include "loom/olm/olm.h"
#include "sim/loomsim.h"
#include "tests/support/drafts.h"
#include "tests/support/fakeui.h"
#include "tests/support/ptypeer.h"
#include "tests/support/simthread.h"

namespace wp {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

using test::jacquard;
using test::rosepath;
using test::rosepathShafts;

// Hooks in placing order, worked out from the module layout alone: rows of
// ceil(modules / rows) modules, taken level by level while a row has hooks.
std::vector<int> referenceWalk(int modules, int deep) {
    deep = std::clamp(deep, 1, std::max(1, modules));
    const int perRow = (modules + deep - 1) / deep;
    std::vector<std::vector<int>> rows(static_cast<size_t>(deep));
    for (int m = 0; m < modules; ++m)
        for (int h = 0; h < 220; ++h) rows[static_cast<size_t>(m / perRow)].push_back(m * 220 + h);
    std::vector<int> walk;
    for (size_t level = 0;; ++level) {
        bool any = false;
        for (const auto& r : rows)
            if (level < r.size()) {
                walk.push_back(r[level]);
                any = true;
            }
        if (!any) break;
    }
    return walk;
}

using test::SimThread;

sim::LoomSimOptions fastJx3(bool shuffle = true) {
    sim::LoomSimOptions o;
    o.weaveDelay = 2ms;
    o.readyDelay = 2ms;
    o.shuffle = shuffle;
    return o;
}

struct Weave : ::testing::Test {
    test::FakeUI ui;
    fs::path dir = fs::temp_directory_path() / ("wp_e2e_" + std::to_string(::getpid()));
    std::unique_ptr<SimThread> loom;
    std::unique_ptr<Session> s;
    std::unique_ptr<WeavingRun> run;
    std::vector<int> woven;  // picks the run reported woven
    bool stopAfterLast = true;

    void SetUp() override { fs::create_directories(dir); }
    void TearDown() override {
        disconnect();
        fs::remove_all(dir);
    }
    void disconnect() {
        run.reset();
        s.reset();
        loom.reset();
        woven.clear();
    }

    // Starts the simulator and a session whose COM1 is the simulator (by its
    // link when it has one).
    void connect(const std::string& settings, sim::LoomSimOptions o) {
        const std::string link = o.linkPath;
        loom = std::make_unique<SimThread>(std::move(o));
        std::ofstream(dir / "lanset.ini")
            << settings << "\n[Ports]\nCOM1=" << (link.empty() ? loom->sim.devicePath() : link)
            << "\n";
        s = std::make_unique<Session>(ui, (dir / "lanset.ini").string());
        s->loadSettings(true);
        run = std::make_unique<WeavingRun>(*s);
        run->onPickWoven = [this](int p) {
            woven.push_back(p);
            const int last = s->window().checked(Control::ReverseBox)
                                 ? s->window().panel().startWeft
                                 : s->window().panel().endWeft;
            if (stopAfterLast && !s->window().checked(Control::LoopCheck) && p == last)
                run->StopButtonClick();
        };
    }
    void load(const NativeDraft& n, const std::string& name = "d.dob") {
        const std::string path = (dir / name).string();
        ASSERT_TRUE(saveNativeDraft(n, path));
        ui.fileToChoose = path;
        DesignLoader loader(*s);
        ASSERT_TRUE(loader.openCommand(FileType::Native));
        ASSERT_TRUE(s->design().designReady);
    }
    void range(int from, int to) {
        s->window().setStartWeft(from);
        s->window().setEndWeft(to);
        s->window().setNextWeft(from);
    }

    // The hooks pick p must lift, by the design and the hook walk.
    std::set<int> expectedHooks(int pick, bool tabby = false) {
        const DesignModel& d = s->design();
        const HardwareConfig& hw = d.hw;
        std::set<int> hooks;
        int end = 1;
        for (int h : referenceWalk(hw.moduleCount, hw.modulesDeep)) {
            if (end > d.header.warps()) break;
            if (maskBit(hw.hookSkipMask, h)) continue;
            const bool up = tabby ? (d.header.warps() - end) % 2 == (pick % 2 == 0 ? 0 : 1)
                                  : d.liftAt(PickNo{pick}, end);
            if (up) hooks.insert(h + 1);
            ++end;
        }
        return hooks;
    }
    // The simulator's record equals the design for the given picks, in order.
    void expectCloth(const std::vector<int>& picks, bool tabby = false) {
        const auto record = loom->sim.wovenPicks();
        ASSERT_EQ(record.size(), picks.size());
        for (size_t k = 0; k < picks.size(); ++k) {
            const std::set<int> got(record[k].lifted.begin(), record[k].lifted.end());
            ASSERT_EQ(got, expectedHooks(picks[k], tabby))
                << "woven pick " << k + 1 << " = design pick " << picks[k];
        }
    }
    // Frame number of pick k's block (part 0) or end of pick (part 1) on one
    // module: the load's reset, begin weaving and the pump time-out come first.
    static uint64_t frameOfPick(int k, int part) {
        return static_cast<uint64_t>(4 + 2 * (k - 1) + part);
    }

    std::vector<int> seq(int from, int to) {
        std::vector<int> v;
        for (int p = from; from <= to ? p <= to : p >= to; p += from <= to ? 1 : -1) v.push_back(p);
        return v;
    }
};

TEST_F(Weave, DobbyOnOneModule) {
    connect("", fastJx3());
    NativeDraft n = jacquard(48, 64);
    load(n);
    range(1, 20);
    run->StartButtonClick();
    EXPECT_EQ(woven, seq(1, 20));
    expectCloth(seq(1, 20));
    EXPECT_EQ(s->runState(), RunState::Idle);
    EXPECT_EQ(s->design().currentPick, 20);
    EXPECT_EQ(s->window().panel().currentWeft, "20");
    EXPECT_TRUE(ui.boxes.empty());
    EXPECT_TRUE(s->window().control(Control::StartButton).enabled);
    EXPECT_FALSE(s->window().control(Control::StopButton).enabled);
    EXPECT_EQ(loom->sim.state().pumpTimeout, 30);
    // The journal holds the last pick woven, its range and direction.
    const auto journal = s->journal().read();
    ASSERT_TRUE(journal);
    EXPECT_EQ(journal->pick, 20);
    EXPECT_EQ(journal->designFile, (dir / "d.dob").string());
    EXPECT_EQ(journal->endWeft, 20);
}

TEST_F(Weave, SixteenModulesFullWidthShuffleOnAndOff) {
    for (bool shuffle : {true, false}) {
        connect(std::string("[Mirlo]\nShuffle=") + (shuffle ? "1" : "0") +
                    "\n[WeavePilot]\ncontrollerArrangement=3520\n",
                fastJx3(shuffle));
        load(jacquard(3520, 12));
        range(4, 9);
        run->StartButtonClick();
        EXPECT_EQ(woven, seq(4, 9));
        expectCloth(seq(4, 9));
        EXPECT_EQ(loom->sim.state().blocksPerPick, 16);
        disconnect();
    }
}

TEST_F(Weave, ModuleRowsThatDoNotDivideTheModules) {
    for (auto [modules, deep] : {std::pair{5, 2}, std::pair{4, 3}, std::pair{7, 3}}) {
        connect("[WeavePilot]\ncontrollerArrangement=" + std::to_string(modules * 220) +
                    "\nmodulesDeep=" + std::to_string(deep) + "\n",
                fastJx3());
        load(jacquard(modules * 220, 6));
        range(1, 6);
        run->StartButtonClick();
        expectCloth(seq(1, 6));
        // Every existing hook carries a warp end; none beyond the modules lifts.
        for (const auto& p : loom->sim.wovenPicks())
            for (int h : p.lifted) EXPECT_LE(h, modules * 220);
        disconnect();
    }
}

TEST_F(Weave, NarrowDesignOnTwoRowsSendsBothModules) {
    // 100 warp ends on 2 modules in 2 rows land on hooks 1-50 and 221-270.
    connect("[WeavePilot]\ncontrollerArrangement=440\nmodulesDeep=2\n", fastJx3());
    load(jacquard(100, 8));
    range(1, 8);
    run->StartButtonClick();
    EXPECT_EQ(loom->sim.state().blocksPerPick, 2);
    expectCloth(seq(1, 8));
}

TEST_F(Weave, BlankHeadlesAndDensityReduction) {
    connect(
        "[WeavePilot]\ncontrollerArrangement=440\nBlankHeadles=3,17,250\ndensityX=2\ndensityY=3\n",
        fastJx3());
    load(jacquard(250, 10));
    range(2, 7);
    run->StartButtonClick();
    expectCloth(seq(2, 7));
    for (const auto& p : loom->sim.wovenPicks())
        for (int h : p.lifted) EXPECT_FALSE(maskBit(s->design().hw.hookSkipMask, h - 1)) << h;
}

TEST_F(Weave, BlankHeadlesWithEqualDensitiesCarryNoWarpEnd) {
    // No density reduction: the blank headles alone must stay empty, and every
    // warp end after them moves on by one hook.
    connect("[WeavePilot]\nBlankHeadles=3,17\n", fastJx3());
    load(jacquard(100, 6));
    range(1, 6);
    run->StartButtonClick();
    const auto record = loom->sim.wovenPicks();
    ASSERT_EQ(record.size(), 6u);
    // Hooks of warp ends 1..100 counted here from the blank list alone.
    std::vector<int> hookOfEnd;
    for (int h = 1; static_cast<int>(hookOfEnd.size()) < 100; ++h)
        if (h != 3 && h != 17) hookOfEnd.push_back(h);
    for (int p = 1; p <= 6; ++p) {
        std::set<int> want;
        for (int e = 1; e <= 100; ++e)
            if (s->design().liftAt(PickNo{p}, e))
                want.insert(hookOfEnd[static_cast<size_t>(e - 1)]);
        const std::set<int> got(record[static_cast<size_t>(p - 1)].lifted.begin(),
                                record[static_cast<size_t>(p - 1)].lifted.end());
        EXPECT_EQ(got, want) << "pick " << p;
    }
}

TEST_F(Weave, DesignWiderThanTheUsableHooks) {
    connect("[WeavePilot]\ndensityX=1\ndensityY=2\n", fastJx3());
    load(jacquard(200, 5));
    range(1, 5);
    run->StartButtonClick();
    EXPECT_NE(std::find(ui.statuses.begin(), ui.statuses.end(),
                        "Design size: 200 threads, available 110. Truncating from left"),
              ui.statuses.end());
    expectCloth(seq(1, 5));  // warp ends 1..110; the left side is lost
}

TEST_F(Weave, TabbyReverseAndLoop) {
    connect("", fastJx3());
    load(jacquard(30, 20));
    s->window().setChecked(Control::TabbyCheck, true);
    range(3, 6);
    run->StartButtonClick();
    expectCloth(seq(3, 6), true);
    disconnect();
    connect("", fastJx3());
    load(jacquard(30, 20));
    s->window().setChecked(Control::ReverseBox, true);
    range(3, 5);
    run->StartButtonClick();
    EXPECT_EQ(woven, (std::vector<int>{5, 4, 3}));
    expectCloth({5, 4, 3});
    disconnect();
    connect("", fastJx3());
    load(jacquard(30, 20));
    s->window().setChecked(Control::LoopCheck, true);
    range(3, 5);
    run->onPickWoven = [this](int p) {
        woven.push_back(p);
        if (woven.size() == 7) run->StopButtonClick();
    };
    run->StartButtonClick();
    EXPECT_EQ(woven, (std::vector<int>{3, 4, 5, 3, 4, 5, 3}));
    // The pick already sent when Stop came is not woven.
    expectCloth({3, 4, 5, 3, 4, 5, 3});
    EXPECT_EQ(s->window().panel().nextWeft, 4);
}

TEST_F(Weave, RejectedOnceIsResentAndTheClothIsWhole) {
    sim::LoomSimOptions o = fastJx3();
    o.rejectFrames = {frameOfPick(2, 0)};
    o.noiseAfter = {frameOfPick(3, 1)};
    connect("", o);
    load(jacquard(40, 10));
    range(1, 6);
    run->StartButtonClick();
    EXPECT_EQ(woven, seq(1, 6));
    expectCloth(seq(1, 6));
    EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(Weave, RejectedTwiceEndsTheRunAndResumeCarriesOn) {
    sim::LoomSimOptions o = fastJx3();
    o.rejectFrames = {frameOfPick(3, 0), frameOfPick(3, 0) + 1};  // the block and its resend
    connect("", o);
    load(jacquard(40, 10));
    range(1, 6);
    run->StartButtonClick();
    EXPECT_EQ(woven, seq(1, 2));
    ASSERT_EQ(ui.boxTexts(), std::vector<std::string>{"Communication error"});
    EXPECT_EQ(ui.statuses.back(), "Communication error");
    EXPECT_EQ(s->runState(), RunState::Sending);
    EXPECT_EQ(s->window().panel().nextWeft, 3);
    run->ResumeButtonClick();
    EXPECT_EQ(woven, seq(1, 6));
    expectCloth(seq(1, 6));  // no pick skipped, none woven twice
}

TEST_F(Weave, DroppedAnswerEndsTheRunAndResumeCarriesOn) {
    sim::LoomSimOptions o = fastJx3();
    o.dropAnswers = {frameOfPick(2, 0)};  // the block is taken, its answer lost
    connect("", o);
    load(jacquard(40, 10));
    range(1, 4);
    run->StartButtonClick();
    EXPECT_EQ(woven, seq(1, 1));
    EXPECT_EQ(ui.boxTexts(), std::vector<std::string>{"Communication error"});
    EXPECT_EQ(s->window().panel().nextWeft, 2);
    run->ResumeButtonClick();
    EXPECT_EQ(woven, seq(1, 4));
    expectCloth(seq(1, 4));
}

TEST_F(Weave, UnansweredEndOfPickWaitsForTheLoomsReport) {
    // The end of pick 1 is taken but its answer is lost, and the weaver is
    // slower than the answer's time: the pick is on the loom and woven later.
    sim::LoomSimOptions o = fastJx3();
    o.weaveDelay = 3300ms;
    o.dropAnswers = {frameOfPick(1, 1)};
    connect("", o);
    load(jacquard(40, 10));
    range(1, 1);
    run->StartButtonClick();
    EXPECT_EQ(woven, seq(1, 1));
    EXPECT_TRUE(ui.boxes.empty()) << ui.boxTexts().front();
    EXPECT_NE(std::find(ui.statuses.begin(), ui.statuses.end(),
                        "No answer to the end of pick 1: waiting for the loom to report it "
                        "woven (Stop ends the wait)."),
              ui.statuses.end());
    EXPECT_EQ(s->runState(), RunState::Idle);
    expectCloth(seq(1, 1));
}

TEST_F(Weave, HangUpWhileSendingAPick) {
    sim::LoomSimOptions o = fastJx3();
    o.hangupAfterPicks = 3;  // the line goes while pick 4 is sent
    connect("", o);
    load(jacquard(40, 10));
    range(1, 8);
    run->StartButtonClick();
    EXPECT_EQ(woven, seq(1, 3));
    // The line is gone: no reset is tried and no download offered.
    EXPECT_EQ(ui.boxTexts(), std::vector<std::string>{"Line break"});
    EXPECT_EQ(s->runState(), RunState::Busy);
    EXPECT_EQ(ui.statuses.back(),
              "The loom's port is gone. Connect it again, then use Reset and Resume (Next weft "
              "on resume: 4).");
    expectCloth(seq(1, 3));

    // The loom comes back on another line; Resume opens it and goes on from
    // the next pick.
    auto again = std::make_unique<SimThread>(fastJx3());
    s->design().hw.ports["COM1"] = again->sim.devicePath();
    EXPECT_EQ(s->window().panel().nextWeft, 4);
    run->ResumeButtonClick();
    EXPECT_EQ(woven, seq(1, 8));
    loom = std::move(again);
    expectCloth(seq(4, 8));
}

TEST_F(Weave, HangUpWhileWaitingForTheLoom) {
    sim::LoomSimOptions o = fastJx3();
    o.weaveDelay = 60s;
    connect("", o);
    load(jacquard(40, 10));
    range(1, 5);
    // Pick 1 is with the loom when the line goes.
    std::vector<sim::WovenPick> before;
    ui.onPump = [&] {
        if (loom && s->runState() == RunState::Awaiting && loom->sim.state().pickPending) {
            before = loom->sim.wovenPicks();
            loom.reset();
        }
    };
    run->StartButtonClick();
    ui.onPump = nullptr;
    EXPECT_TRUE(woven.empty());
    EXPECT_TRUE(before.empty());
    // A download cannot help a line that is gone: none is offered.
    EXPECT_EQ(ui.boxTexts(), std::vector<std::string>{"Line break"});
    EXPECT_EQ(s->runState(), RunState::Busy);
    EXPECT_EQ(s->window().panel().nextWeft, 1);

    loom = std::make_unique<SimThread>(fastJx3());
    s->design().hw.ports["COM1"] = loom->sim.devicePath();
    run->ResumeButtonClick();
    EXPECT_EQ(woven, seq(1, 5));
    expectCloth(seq(1, 5));
}

TEST_F(Weave, CablePulledMidRunThenResetAndResumeCarryOn) {
    sim::LoomSimOptions o = fastJx3();
    o.unplugAfterPicks = 3;
    o.unplugFor = 1500ms;
    o.linkPath = (dir / "loom").string();
    connect("", o);
    load(jacquard(40, 10));
    range(1, 8);
    run->StartButtonClick();
    // The run ends at once with the position of the last pick reported.
    EXPECT_EQ(woven, seq(1, 3));
    EXPECT_EQ(ui.boxTexts(), std::vector<std::string>{"Line break"});
    EXPECT_EQ(s->runState(), RunState::Busy);
    EXPECT_EQ(s->window().panel().nextWeft, 4);
    EXPECT_EQ(s->design().currentPick, 3);

    // Still away: Reset says the device is missing, and offers no download.
    ui.boxes.clear();
    run->controllerReset(0);
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(
        ui.boxes[0].text.rfind(
            "ComPort open failed: " + (dir / "loom").string() + ": No such file or directory. ", 0),
        0u)
        << ui.boxes[0].text;

    // Back: Reset and Resume go on at the next pick, without a new session.
    const auto until = std::chrono::steady_clock::now() + 10s;
    while (!fs::exists(dir / "loom") && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(5ms);
    ASSERT_TRUE(fs::exists(dir / "loom"));
    ui.boxes.clear();
    run->controllerReset(0);
    EXPECT_TRUE(ui.boxes.empty()) << ui.boxes[0].text;
    run->ResumeButtonClick();
    EXPECT_EQ(woven, seq(1, 8));
    expectCloth(seq(1, 8));
    EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(Weave, StopWhileWaitingSendsTheStopFrame) {
    sim::LoomSimOptions o = fastJx3();
    o.weaveDelay = 60s;  // the weaver never treads
    connect("", o);
    load(jacquard(40, 10));
    range(2, 5);
    long pumpsAtStart = -1;
    ui.onPump = [&] {
        if (loom->sim.state().pickPending && pumpsAtStart < 0) pumpsAtStart = ui.pumps;
        if (pumpsAtStart >= 0 && ui.pumps == pumpsAtStart + 3) run->StopButtonClick();
    };
    run->StartButtonClick();
    ui.onPump = nullptr;
    EXPECT_TRUE(woven.empty());
    EXPECT_EQ(s->runState(), RunState::Idle);
    EXPECT_TRUE(ui.boxes.empty());
    EXPECT_FALSE(loom->sim.state().pickPending);  // the stop frame cancelled it
    EXPECT_EQ(s->window().panel().nextWeft, 2);
    EXPECT_TRUE(loom->sim.wovenPicks().empty());
}

TEST_F(Weave, StopDuringTheStartHandshakeOffersNoDownload) {
    // A controller that takes frames but never reports ready.
    test::PtyPeer peer;
    peer.setHandler([](const std::string&) { return std::string("\x08\x00\x08", 3); });
    std::ofstream(dir / "lanset.ini") << "[Ports]\nCOM1=" << peer.slavePath() << "\n";
    s = std::make_unique<Session>(ui, (dir / "lanset.ini").string());
    s->loadSettings(true);
    run = std::make_unique<WeavingRun>(*s);
    load(jacquard(20, 4));
    ui.onPump = [&] {
        if (s->window().control(Control::StopButton).enabled && peer.received().size() >= 6)
            run->StopButtonClick();
    };
    run->StartButtonClick();
    ui.onPump = nullptr;
    EXPECT_TRUE(ui.boxes.empty()) << ui.boxes[0].text;
    EXPECT_EQ(ui.statuses.back(), "Controller is busy");
    // The reset after the busy state went out: 02 00 02.
    EXPECT_EQ(peer.received().substr(peer.received().size() - 3), std::string("\x02\x00\x02", 3));
}

// Shaft loom ---------------------------------------------------------------

sim::LoomSimOptions fastOlm(int shafts608) {
    sim::LoomSimOptions o;
    o.loom = sim::LoomType::Olm;
    o.weaveDelay = 2ms;
    if (shafts608 > 0) o.olmDraft = {sim::OlmDraft::Kind::Countermarche608, shafts608};
    return o;
}

TEST_F(Weave, ShaftLoomStoresEachPickOnce) {
    connect("[Mirlo]\nLoomType=OLM\n", fastOlm(4));
    EXPECT_EQ(s->window().control(Control::StartButton).caption,
              "Start");  // captions are the window's
    run->applyCaptions();
    EXPECT_EQ(s->window().control(Control::StartButton).caption, "220");
    load(rosepath(), "r.ctm");
    range(1, 3);
    stopAfterLast = false;
    run->StartButtonClick();
    EXPECT_EQ(woven, seq(1, 3));
    const auto store = loom->sim.olmStore();
    ASSERT_EQ(store.size(), 3u);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(store[static_cast<size_t>(i)].first, i);
        EXPECT_EQ(store[static_cast<size_t>(i)].second.lifted, rosepathShafts(i + 1)) << i;
    }
    EXPECT_EQ(s->runState(), RunState::Idle);
    EXPECT_TRUE(ui.boxes.empty());
    // Stored picks are not woven yet: no position to keep.
    EXPECT_FALSE(s->journal().read());
}

TEST_F(Weave, ShaftLoomStoreStopsAt220WithLoop) {
    connect("[Mirlo]\nLoomType=OLM\n", fastOlm(4));
    load(rosepath(), "r.ctm");
    range(2, 5);
    stopAfterLast = false;
    s->window().setChecked(Control::LoopCheck, true);
    run->StartButtonClick();
    ASSERT_EQ(woven.size(), 220u);
    const auto store = loom->sim.olmStore();
    ASSERT_EQ(store.size(), 220u);
    for (int i = 0; i < 220; ++i)
        EXPECT_EQ(store[static_cast<size_t>(i)].second.lifted, rosepathShafts(2 + i % 4));
    EXPECT_EQ(ui.boxTexts(), std::vector<std::string>{"220 wefts loaded."});
    EXPECT_EQ(ui.boxes[0].kind, BoxKind::Confirmation);
}

TEST_F(Weave, ShaftLoomDirectModeWeavesEachPickOnce) {
    NativeDraft n;
    n.warps = 24;
    n.wefts = 16;
    n.shafts = 8;
    n.treadles = 8;
    n.loom = 607;
    n.threading = [](int end) { return (end - 1) % 8; };
    n.liftPlan = [](int t, int pick) { return (t + pick) % 4 < 2; };
    n.lifted = [](int pick, int end) { return (7 - (end - 1) % 8 + pick) % 4 < 2; };
    n.warpColour = [](int) { return 255u; };
    connect("[Mirlo]\nLoomType=OLM\n", fastOlm(0));
    load(n, "t.dob");
    range(5, 9);
    stopAfterLast = false;
    run->ResumeButtonClick();
    EXPECT_EQ(woven, seq(5, 9));
    const auto record = loom->sim.wovenPicks();
    ASSERT_EQ(record.size(), 5u);
    for (size_t k = 0; k < 5; ++k) {
        std::vector<int> treadles;
        for (int t = 0; t < 8; ++t)
            if ((t + 5 + static_cast<int>(k)) % 4 < 2) treadles.push_back(t + 1);
        EXPECT_EQ(record[k].lifted, treadles) << k;
    }
    EXPECT_FALSE(loom->sim.state().directMode);  // switched off at the end
    // The sequence is done: Resume does not weave pick 9 again.
    EXPECT_EQ(s->window().panel().nextWeft, 1);
    EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(Weave, ShaftLoomDirectStopWhileTheWordIsLostSaysThePickIsUnsure) {
    sim::LoomSimOptions o = fastOlm(4);
    o.dropAnswers = {7};  // line 7 is the word of pick 3: its "Q" is lost
    connect("[Mirlo]\nLoomType=OLM\n", o);
    load(rosepath(), "r.ctm");
    range(1, 6);
    stopAfterLast = false;
    // Stop once the loom has woven pick 3, whose word never comes.
    ui.onPump = [&] {
        if (loom->sim.wovenPicks().size() == 3) run->StopButtonClick();
    };
    run->ResumeButtonClick();
    ui.onPump = nullptr;
    EXPECT_EQ(woven, seq(1, 2));
    EXPECT_TRUE(ui.boxes.empty()) << ui.boxTexts().front();
    EXPECT_EQ(ui.statuses.back(),
              "The loom did not report pick 3 woven. If it is woven, set Next weft on resume to "
              "the pick after it; otherwise Resume weaves it.");
    EXPECT_EQ(s->window().panel().nextWeft, 3);
}

TEST_F(Weave, ShaftLoomDirectPickWithoutWordEndsWithAMessage) {
    sim::LoomSimOptions o = fastOlm(4);
    o.dropAnswers = {7};  // line 7 is the word of pick 3: its "Q" is lost
    connect("[Mirlo]\nLoomType=OLM\n", o);
    load(rosepath(), "r.ctm");
    range(1, 6);
    stopAfterLast = false;
    dynamic_cast<Tolm&>(*s->driver()).setWeaveWindow(300);
    run->ResumeButtonClick();
    EXPECT_EQ(woven, seq(1, 2));
    const std::string text =
        "The loom did not report pick 3 woven. If it is woven, set Next weft on resume to the "
        "pick after it; otherwise Resume weaves it.";
    EXPECT_EQ(ui.boxTexts(), std::vector<std::string>{text});
    EXPECT_EQ(s->runState(), RunState::Sending);
    EXPECT_EQ(s->window().panel().nextWeft, 3);
    // The loom did weave it: the weaver goes on from the pick after it.
    auto record = loom->sim.wovenPicks();
    ASSERT_EQ(record.size(), 3u);
    EXPECT_EQ(record[2].lifted, rosepathShafts(3));
    s->window().setNextWeft(4);
    run->ResumeButtonClick();
    EXPECT_EQ(woven, (std::vector<int>{1, 2, 4, 5, 6}));
    record = loom->sim.wovenPicks();
    ASSERT_EQ(record.size(), 6u);
    for (int p = 1; p <= 6; ++p)
        EXPECT_EQ(record[static_cast<size_t>(p - 1)].lifted, rosepathShafts(p)) << p;
}

TEST_F(Weave, ShaftLoomStopAsThePickIsWovenCountsIt) {
    // The weaver treads pick 2 as Stop is pressed: its "Q" is on the line when
    // the run sees the Stop. It counts; pick 3 is never sent.
    sim::LoomSimOptions o = fastOlm(4);
    o.weaveDelay = 60s;
    o.interactive = true;
    int enter[2];
    ASSERT_EQ(::pipe(enter), 0);
    o.enterFd = enter[0];
    connect("[Mirlo]\nLoomType=OLM\n", o);
    load(rosepath(), "r.ctm");
    range(1, 6);
    stopAfterLast = false;
    ui.onPump = [&] {
        const auto st = loom->sim.state();
        if (st.pickPending && st.picksWoven == 0) {
            [[maybe_unused]] auto n = ::write(enter[1], "\n", 1);
        } else if (st.pickPending && st.picksWoven == 1 && !s->flags().stopRequest) {
            run->StopButtonClick();
            [[maybe_unused]] auto n = ::write(enter[1], "\n", 1);
            const auto until = std::chrono::steady_clock::now() + 2s;
            while (loom->sim.state().picksWoven < 2 && std::chrono::steady_clock::now() < until)
                std::this_thread::sleep_for(1ms);
        }
    };
    run->ResumeButtonClick();
    ui.onPump = nullptr;
    EXPECT_EQ(woven, seq(1, 2));
    EXPECT_EQ(loom->sim.wovenPicks().size(), 2u);
    EXPECT_EQ(s->runState(), RunState::Idle);
    EXPECT_EQ(s->window().panel().nextWeft, 3);
    ::close(enter[0]);
    ::close(enter[1]);
}

}  // namespace
}  // namespace wp
