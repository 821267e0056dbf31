// The bytes the controller drivers put on the line for a pick.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "loom/jx3/jx3.h"
#include "loom/olm/olm.h"
#include "tests/support/fakeui.h"
#include "tests/support/ptypeer.h"

namespace wp {
namespace {

using namespace std::chrono_literals;

using test::bytes;

struct Drivers : ::testing::Test {
    test::FakeUI ui;
    RunFlags flags{ui};
    LogStream log;
    DesignModel d;
    test::PtyPeer peer;

    LinkEnv env() { return LinkEnv{d, flags, log, test::portsWithCom1At(peer.slavePath())}; }
    void design(int warps, int wefts) {
        d.header.set(Slot::warps, static_cast<uint16_t>(warps));
        d.header.set(Slot::wefts, static_cast<uint16_t>(wefts));
        ASSERT_TRUE(d.allocateMatrix());
    }
};

// Sends a pick of a 3-end design with every end lifted; returns the bytes sent.
std::string sendThreeLiftedEnds(Drivers& t, int pick, bool shuffle) {
    t.design(3, 2);
    for (int x = 0; x < 3; ++x) t.d.setLift(t.d.rowOfPick(PickNo{pick}), x, true);
    t.d.hw.Shuffle = shuffle;
    t.peer.setHandler([](const std::string&) { return bytes({8, 0, 8}); });
    Tjx3 drv(t.env());
    EXPECT_TRUE(drv.OpenPort(1, false));
    EXPECT_EQ(drv.sendPickFrames(pick, 1, false), kOk);
    return t.peer.received();
}

TEST_F(Drivers, ThreeEndsFillTheFirstBitsOfBlockOne) {
    const std::string sent = sendThreeLiftedEnds(*this, 1, false);
    ASSERT_EQ(sent.size(), 31u + 3u);
    EXPECT_EQ(sent.substr(0, 3), bytes({13, 1, 7}));
    EXPECT_EQ(sent.substr(3, 27), std::string(27, '\0'));
    uint8_t check = 0;
    for (int i = 0; i < 30; ++i) check ^= static_cast<uint8_t>(sent[static_cast<size_t>(i)]);
    EXPECT_EQ(static_cast<uint8_t>(sent[30]), check);
    EXPECT_EQ(sent.substr(31), bytes({14, 1, 15}));
}

TEST_F(Drivers, ShuffledBlockCarriesTheBitsInWiringOrder) {
    const std::string block = sendThreeLiftedEnds(*this, 2, true).substr(2, 28);
    std::string expected(28, '\0');
    expected[22] = 0x20;
    expected[25] = static_cast<char>(0x80);
    expected[27] = 0x02;
    EXPECT_EQ(block, expected);
    uint8_t roundTrip[28];
    std::copy(block.begin(), block.end(), roundTrip);
    unshuffleBlock(roundTrip);
    EXPECT_EQ(roundTrip[0], 0x07);
}

TEST_F(Drivers, PickStopsAtABlockNotAccepted) {
    design(300, 1);
    d.hw.hookCount = 440;
    d.hw.moduleCount = 2;
    int frames = 0;
    peer.setHandler([&](const std::string&) {
        return ++frames == 1 ? bytes({9, 0, 9}) : bytes({9, 0, 9});
    });
    Tjx3 drv(env());
    ASSERT_TRUE(drv.OpenPort(1, false));
    EXPECT_EQ(drv.sendPickFrames(1, 2, false), kOk);
    EXPECT_TRUE(drv.ResponseIs(0, 9));
    // Block 1 and its resend; neither block 2 nor the end of pick.
    EXPECT_EQ(peer.received().size(), 62u);
}

TEST_F(Drivers, TabbyAlternatesByPickParity) {
    design(10, 4);
    Tjx3 drv(env());
    drv.buildPick(2, true);                // even: bits 0, 2, 4, ... = warp ends 10, 8, 6, ...
    EXPECT_EQ(drv.pickBuffer()[0], 0xAA);  // hooks 1..10 carry warp ends 1..10
    EXPECT_EQ(drv.pickBuffer()[1], 0x02);
    drv.buildPick(3, true);
    EXPECT_EQ(drv.pickBuffer()[0], 0x55);
    EXPECT_EQ(drv.pickBuffer()[1], 0x01);
}

TEST_F(Drivers, BeginWeavingWaitsForReadyThenSendsTheSettings) {
    design(300, 2);  // two modules' worth of warp ends
    d.hw.hookCount = 440;
    d.hw.moduleCount = 2;
    d.hw.PumpTimeout = 60;
    d.hw.MaxValves = 10;
    d.hw.PowerOnTime = 20;
    peer.setHandler([](const std::string& chunk) {
        // Accept every frame; begin weaving is followed by the ready report.
        return chunk[0] == 11 ? bytes({8, 0, 8, 12, 1, 13}) : bytes({8, 0, 8});
    });
    Tjx3 drv(env());
    ASSERT_TRUE(drv.OpenPort(1, false));
    ASSERT_EQ(drv.beginWeaving(RunMode::Start), StartResult::Started);
    EXPECT_EQ(drv.modules(), 2);
    EXPECT_EQ(peer.received(), bytes({11, 2, 9, 7, 30, 25, 1, 10, 11, 3, 10, 9}));

    // No ready report: the run does not start.
    peer.setHandler([](const std::string&) { return bytes({9, 0, 9}); });
    EXPECT_EQ(drv.beginWeaving(RunMode::Resume), StartResult::NotStarted);
}

TEST_F(Drivers, ReportsOfTheLoom) {
    design(3, 2);
    Tjx3 drv(env());
    ASSERT_TRUE(drv.OpenPort(1, false));
    const std::pair<std::string, Report> cases[] = {
        {bytes({12, 0, 12}), Report::Woven},           {bytes({12, 1, 13}), Report::Ready},
        {bytes({32, 0, 0, 12, 0, 12}), Report::Woven},  // chatter first
        {bytes({8, 0, 8, 12, 1, 13}), Report::Ready},   // a late answer is passed over
        {bytes({12, 0, 7, 12, 0, 12}), Report::Woven},  // a bad check byte: one report
    };
    for (const auto& [message, report] : cases) {
        peer.send(message);
        EXPECT_EQ(drv.awaitPick(), report) << int(message[0]);
    }
    ui.onPump = [&] { flags.stopRequest = true; };
    EXPECT_EQ(drv.awaitPick(), Report::Stopped);
    ui.onPump = nullptr;
    flags.stopRequest = false;
    peer.hangUp();
    EXPECT_EQ(drv.awaitPick(), Report::LineError);
}

TEST_F(Drivers, StopStillRejectedWaitsForTheReportAndStopsAgain) {
    design(3, 2);
    int frames = 0;
    peer.setHandler([&](const std::string&) {
        ++frames;
        // The stop and its resend are rejected; then the loom reports its pick.
        if (frames <= 2) return frames == 2 ? bytes({9, 0, 9, 12, 0, 12}) : bytes({9, 0, 9});
        return bytes({8, 0, 8});
    });
    Tjx3 drv(env());
    ASSERT_TRUE(drv.OpenPort(1, false));
    EXPECT_TRUE(drv.stopWeaving());
    EXPECT_EQ(peer.received(), bytes({2, 1, 3, 2, 1, 3, 2, 1, 3}));
    EXPECT_TRUE(drv.reset(0));
    EXPECT_EQ(peer.received().substr(9), bytes({2, 0, 2}));
}

// Shaft loom -----------------------------------------------------------------

struct OlmDrivers : Drivers {
    // Echoes every byte and answers a finished line with `answer`.
    void answerLinesWith(const std::string& answer) {
        peer.setHandler([answer](const std::string& chunk) {
            std::string out = chunk;
            if (chunk.find('\r') != std::string::npos) out += answer;
            return out;
        });
    }
    // Answers direct mode on with "A", every other line with `answer`.
    void answerDirectModeAndLinesWith(const std::string& answer) {
        peer.setHandler([answer, line = std::string()](const std::string& chunk) mutable {
            std::string out = chunk;
            for (char c : chunk) {
                if (c != '\r') {
                    line += c;
                    continue;
                }
                out += line == "M)D14.50K0AB" ? "A\r\n" : answer;
                line.clear();
            }
            return out;
        });
    }
    std::vector<std::string> sentLines() {
        std::vector<std::string> out;
        std::string cur;
        for (char c : peer.received()) {
            if (c == '\r') {
                out.push_back(cur);
                cur.clear();
            } else {
                cur += c;
            }
        }
        return out;
    }
};

TEST_F(OlmDrivers, DobbyPickValueFromTheLiftPlan) {
    design(8, 2);
    d.header.set(Slot::loom, kLoomDobby);
    d.header.set(Slot::treadles, 10);
    d.draft.treadling.assign(10, 0);  // 10 treadles x 1 byte
    d.setTreadlingBit(0, d.rowOfPick(PickNo{1}), true);
    d.setTreadlingBit(8, d.rowOfPick(PickNo{1}), true);
    Tolm drv(env());
    const auto v = drv.pickValue(1);
    EXPECT_EQ(v.B, 0x80u);
    EXPECT_EQ(v.W, 0x8000u);
}

TEST_F(OlmDrivers, CountermarchePickValueFromTheTieUp) {
    design(8, 2);
    d.header.set(Slot::loom, kLoomCountermarche);
    d.header.set(Slot::shafts, 4);
    d.header.set(Slot::treadles, 2);
    d.draft.tieUp = {0x08, 0x03};
    d.draft.treadling.assign(2, 0);
    d.setTreadlingBit(1, d.rowOfPick(PickNo{2}), true);
    Tolm drv(env());
    const auto v = drv.pickValue(2);
    EXPECT_EQ(v.B, 0x0Cu);
    EXPECT_EQ(v.W, 0x0C00u);
    // No treadle on the pick: a treadle beyond the tie-up raises nothing.
    EXPECT_EQ(drv.pickValue(1).B, 0u);
}

TEST_F(OlmDrivers, StoreLinesAddressPageAndOffset) {
    design(8, 2);
    d.header.set(Slot::loom, kLoomCountermarche);
    d.header.set(Slot::shafts, 4);
    d.header.set(Slot::treadles, 2);
    d.draft.tieUp = {0x08, 0x03};
    d.draft.treadling.assign(2, 0);
    d.setTreadlingBit(1, d.rowOfPick(PickNo{2}), true);
    answerLinesWith("R\r\n");
    Tolm drv(env());
    ASSERT_TRUE(drv.OpenPort(1, false));
    EXPECT_TRUE(drv.storePick(2, 0));
    EXPECT_TRUE(drv.storePick(2, 219));
    EXPECT_EQ(sentLines(), (std::vector<std::string>{"M)D00.00K00C00", "M)D07.00K0000C",
                                                     "M)D06.54K00C00", "M)D13.54K0000C"}));
    EXPECT_FALSE(drv.storePick(2, 220));  // the store has 220 places
    // A Start stores the picks of a run from entry 0, one after the other.
    ASSERT_EQ(drv.beginWeaving(RunMode::Start), StartResult::Started);
    EXPECT_EQ(drv.pickStoreSize(), 220);
    EXPECT_EQ(drv.SendPick({2}), SendResult::Accepted);
    EXPECT_EQ(drv.awaitPick(), Report::Woven);
    EXPECT_EQ(drv.SendPick({2}), SendResult::Accepted);
    EXPECT_EQ(sentLines().size(), 8u);
    EXPECT_EQ(sentLines()[6], "M)D00.02K00C00");
}

TEST_F(OlmDrivers, StoreLineNotAnsweredWithRFails) {
    design(8, 2);
    answerLinesWith("E\r\n");
    Tolm drv(env());
    ASSERT_TRUE(drv.OpenPort(1, false));
    EXPECT_FALSE(drv.storePick(1, 0));
    ASSERT_EQ(drv.beginWeaving(RunMode::Start), StartResult::Started);
    EXPECT_EQ(drv.SendPick({1}), SendResult::NotAccepted);
}

TEST_F(OlmDrivers, DirectPickEndsOnlyWhenTheLoomSaysQ) {
    design(8, 2);
    d.header.set(Slot::loom, 0);
    d.header.set(Slot::treadles, 3);
    // Direct mode is switched on with "A"; the pick's lines are answered at
    // once, "Q" comes when the weaver has woven.
    answerDirectModeAndLinesWith("R\r\n");
    Tolm drv(env());
    ASSERT_TRUE(drv.OpenPort(1, false));
    ASSERT_EQ(drv.beginWeaving(RunMode::Resume), StartResult::Started);
    EXPECT_TRUE(drv.directMode());
    EXPECT_EQ(drv.pickStoreSize(), 0);
    std::thread weaver([&] {
        ASSERT_TRUE(peer.waitReceived(13 + 28, 5000));
        std::this_thread::sleep_for(400ms);
        peer.send("Q\r\n");
    });
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(drv.SendPick({1}), SendResult::Accepted);
    EXPECT_EQ(drv.awaitPick(), Report::Woven);
    weaver.join();
    EXPECT_GE(std::chrono::steady_clock::now() - t0, 400ms);
    EXPECT_EQ(sentLines(),
              (std::vector<std::string>{"M)D14.50K0AB", "M)D14.54K002", "M)D14.52K00000"}));
    drv.endWeaving();
    EXPECT_EQ(sentLines().back(), "M)D14.50K0");
}

TEST_F(OlmDrivers, DirectModeNotAcceptedRefusesTheRun) {
    design(8, 2);
    answerLinesWith("E\r\n");
    Tolm drv(env());
    ASSERT_TRUE(drv.OpenPort(1, false));
    EXPECT_EQ(drv.beginWeaving(RunMode::Resume), StartResult::Refused);
    // Asked twice.
    EXPECT_EQ(sentLines(), (std::vector<std::string>{"M)D14.50K0AB", "M)D14.50K0AB"}));
}

TEST_F(OlmDrivers, StopDuringADirectPickIsNotAWovenPick) {
    design(8, 2);
    answerDirectModeAndLinesWith("");
    Tolm drv(env());
    ASSERT_TRUE(drv.OpenPort(1, false));
    ASSERT_EQ(drv.beginWeaving(RunMode::Resume), StartResult::Started);
    ui.onPump = [&] {
        if (peer.received().size() >= 13 + 13) flags.stopRequest = true;
    };
    EXPECT_EQ(drv.SendPick({1}), SendResult::Accepted);
    EXPECT_EQ(drv.awaitPick(), Report::Stopped);
    // Stop before a pick goes out: nothing is sent.
    const size_t before = peer.received().size();
    EXPECT_EQ(drv.SendPick({2}), SendResult::Stopped);
    EXPECT_EQ(peer.received().size(), before);
}

TEST_F(OlmDrivers, PickWovenAsTheStopGoesOutCounts) {
    design(8, 2);
    // "A" for direct mode, "R" for the pick's byte; the word waits for the
    // weaver. Once `woven` is set the loom's "Q" comes before the next echo.
    std::atomic<bool> woven{false};
    peer.setHandler([&, line = std::string()](const std::string& chunk) mutable {
        std::string out;
        if (woven.exchange(false)) out = "Q\r\n";
        out += chunk;
        for (char c : chunk) {
            if (c != '\r') {
                line += c;
                continue;
            }
            if (line == "M)D14.50K0AB") out += "A\r\n";
            if (line.rfind("M)D14.54", 0) == 0) out += "R\r\n";
            if (line == "M)D14.50K0") out += "E\r\n";
            line.clear();
        }
        return out;
    });
    Tolm drv(env());
    ASSERT_TRUE(drv.OpenPort(1, false));
    ASSERT_EQ(drv.beginWeaving(RunMode::Resume), StartResult::Started);
    ASSERT_EQ(drv.SendPick({1}), SendResult::Accepted);
    ui.onPump = [&] { flags.stopRequest = true; };
    EXPECT_EQ(drv.awaitPick(), Report::Stopped);
    ui.onPump = nullptr;
    woven = true;
    EXPECT_TRUE(drv.stopWeaving());
    EXPECT_EQ(drv.takeWovenReports(), 1);
    EXPECT_EQ(drv.takeWovenReports(), 0);
}

TEST_F(OlmDrivers, StopDuringAStoreAnswerStillReadsIt) {
    design(8, 2);
    // The word's "R" comes at once, the byte's late; Stop is pressed while it is due.
    std::thread late;
    std::atomic<bool> byteLineDone{false};
    peer.setHandler([&, line = std::string()](const std::string& chunk) mutable {
        std::string out = chunk;
        for (char c : chunk) {
            if (c != '\r') {
                line += c;
                continue;
            }
            if (line.rfind("M)D00", 0) == 0) out += "R\r\n";
            if (line.rfind("M)D07", 0) == 0) {
                byteLineDone = true;
                late = std::thread([&] {
                    std::this_thread::sleep_for(100ms);
                    peer.send("R\r\n");
                });
            }
            line.clear();
        }
        return out;
    });
    Tolm drv(env());
    ASSERT_TRUE(drv.OpenPort(1, false));
    ASSERT_EQ(drv.beginWeaving(RunMode::Start), StartResult::Started);
    ui.onPump = [&] {
        if (byteLineDone) flags.stopRequest = true;
    };
    EXPECT_EQ(drv.SendPick({1}), SendResult::Accepted);
    if (late.joinable()) late.join();
    EXPECT_TRUE(flags.stopRequest);
    EXPECT_EQ(drv.SendPick({2}), SendResult::Stopped);
}

TEST_F(OlmDrivers, SilentControllerNeverCountsAPick) {
    design(8, 2);
    answerDirectModeAndLinesWith("Q\r\n");
    Tolm drv(env());
    ASSERT_TRUE(drv.OpenPort(1, false));
    ASSERT_EQ(drv.beginWeaving(RunMode::Resume), StartResult::Started);
    ASSERT_EQ(drv.SendPick({1}), SendResult::Accepted);
    ASSERT_EQ(drv.awaitPick(), Report::Woven);
    // The cable is pulled: no echo, no answer. The "Q" of the last pick must
    // not pass for this one.
    peer.setHandler(nullptr);
    EXPECT_EQ(drv.SendPick({2}), SendResult::NotAccepted);
    EXPECT_FALSE(drv.storePick(2, 1));
    EXPECT_EQ(ui.boxTexts().front(), "Command write: No response");
}

TEST_F(OlmDrivers, AnswerThatTricklesInIsReadWhole) {
    Tolm drv(env());
    ASSERT_TRUE(drv.OpenPort(1, false));
    std::thread controller([&] {
        peer.send("R");
        std::this_thread::sleep_for(5ms);
        peer.send("x");
        std::this_thread::sleep_for(5ms);
        peer.send("Q");
    });
    EXPECT_EQ(drv.ReadResponse(1000), kOk);
    controller.join();
    EXPECT_EQ(drv.receivedCount(), 3u);
    EXPECT_EQ(drv.ResponseByte(0), 'Q');
}

}  // namespace
}  // namespace wp
