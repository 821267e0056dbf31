// The JX3 controller seen from the host's side of a real pseudo-terminal.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>
#include <algorithm>
#include <vector>

#include "sim/jx3engine.h"
#include "sim/shuffle.h"
#include "tests/sim/simharness.h"

namespace wp::sim::test {
namespace {

const std::string kOk("\x08\x00\x08", 3);
const std::string kRejected("\x09\x00\x09", 3);
const std::string kReady("\x0C\x01\x0D", 3);
const std::string kWoven("\x0C\x00\x0C", 3);

LoomSimOptions fastOptions() {
    LoomSimOptions options;
    options.weaveDelay = 10ms;
    options.readyDelay = 5ms;
    options.selfTestGap = 1ms;
    return options;
}

std::string blockData(const Block& block) {
    return {block.begin(), block.end()};
}

// Sends one pick of the given 0-based hooks in `blocks` module blocks, as the host does.
void sendPick(SimHarness& h, const std::vector<int>& hooks, int blocks, bool shuffle) {
    std::vector<std::uint8_t> pick(static_cast<std::size_t>(blocks * kBlockBytes), 0);
    for (int hook : hooks) {
        const BitPlace place = hookPlace(hook);
        pick[static_cast<std::size_t>(place.byte)] |= static_cast<std::uint8_t>(1U << place.bit);
    }
    std::string frames;
    for (int k = 0; k < blocks; ++k) {
        Block block;
        std::copy_n(pick.begin() + k * kBlockBytes, kBlockBytes, block.begin());
        frames += jx3Frame(13, static_cast<std::uint8_t>(k + 1),
                           blockData(shuffle ? shuffleBlock(block) : block));
    }
    h.write(frames + jx3Frame(14, static_cast<std::uint8_t>(blocks)));
}

TEST(Jx3Frames, ShortFramesGetTheirAnswers) {
    SimHarness h(fastOptions());
    ASSERT_TRUE(h.ok()) << h.error();

    h.write(jx3Frame(2, 0));
    EXPECT_EQ(hexOf(h.read(3)), hexOf(kOk)) << "reset";
    h.write(std::string("\x02\x00\x03", 3));
    EXPECT_EQ(hexOf(h.read(3)), hexOf(kRejected)) << "wrong check byte";
    h.write(jx3Frame(5, 0));
    EXPECT_EQ(hexOf(h.read(3)), hexOf(kRejected)) << "unknown code";
    h.write(jx3Frame(11, 0));
    EXPECT_EQ(hexOf(h.read(3)), hexOf(kRejected)) << "begin weaving with no blocks";

    h.write(jx3Frame(1, 40) + jx3Frame(3, 5) + jx3Frame(7, 30));
    EXPECT_EQ(hexOf(h.read(9)), hexOf(kOk + kOk + kOk)) << "settings";
    const SimState state = h.sim().state();
    EXPECT_EQ(state.maxValves, 40);
    EXPECT_EQ(state.powerOnTime, 5);
    EXPECT_EQ(state.pumpTimeout, 30);
    EXPECT_EQ(state.framesReceived, 7u);
}

TEST(Jx3Frames, BeginWeavingAnswersOkThenReady) {
    SimHarness h(fastOptions());
    ASSERT_TRUE(h.ok()) << h.error();
    h.write(jx3Frame(11, 1));
    EXPECT_EQ(hexOf(h.read(6)), hexOf(kOk + kReady));
    EXPECT_EQ(h.sim().state().blocksPerPick, 1);
}

class Jx3Weaving : public ::testing::TestWithParam<bool> {};

TEST_P(Jx3Weaving, RecordHoldsExactlyTheLiftedHooks) {
    const bool shuffle = GetParam();
    TempPath record(".txt");
    LoomSimOptions options = fastOptions();
    options.shuffle = shuffle;
    options.recordPath = record.str();
    SimHarness h(options);
    ASSERT_TRUE(h.ok()) << h.error();

    h.write(jx3Frame(11, 2));
    ASSERT_EQ(hexOf(h.read(6)), hexOf(kOk + kReady));
    // 0-based 219 is the last hook of module 1; 220 onwards live in the second block.
    sendPick(h, {0, 1, 2, 219, 220, 299, 439}, 2, shuffle);
    EXPECT_EQ(hexOf(h.read(9)), hexOf(kOk + kOk + kOk));
    EXPECT_EQ(hexOf(h.read(3)), hexOf(kWoven));
    sendPick(h, {}, 2, shuffle);
    EXPECT_EQ(hexOf(h.read(9)), hexOf(kOk + kOk + kOk));
    EXPECT_EQ(hexOf(h.read(3)), hexOf(kWoven));

    const std::vector<WovenPick> picks = h.sim().wovenPicks();
    ASSERT_EQ(picks.size(), 2u);
    EXPECT_EQ(picks[0].lifted, (std::vector<int>{1, 2, 3, 220, 221, 300, 440}));
    EXPECT_TRUE(picks[1].lifted.empty());
    EXPECT_EQ(readFile(record.str()),
              std::string("# weavepilot-loomsim record: loom=jx3 shuffle=") +
                  (shuffle ? "on" : "off") +
                  "\n# pick K: 1-based lifted hooks of the K-th woven pick\n"
                  "pick 1: 1,2,3,220,221,300,440\n"
                  "pick 2:\n");
}

std::string shuffleName(const ::testing::TestParamInfo<bool>& param) {
    return param.param ? "On" : "Off";
}

INSTANTIATE_TEST_SUITE_P(Shuffle, Jx3Weaving, ::testing::Bool(), shuffleName);

TEST(Jx3Weaving, HandShuffledBlockDecodesToItsHooks) {
    // The shuffled form of hooks 1, 2, 3, worked out by hand rather than by shuffleBlock.
    std::string data(28, '\0');
    data[22] = '\x20';
    data[25] = static_cast<char>(0x80);
    data[27] = '\x02';
    SimHarness h(fastOptions());
    ASSERT_TRUE(h.ok()) << h.error();
    h.write(jx3Frame(13, 1, data) + jx3Frame(14, 1));
    EXPECT_EQ(hexOf(h.read(9)), hexOf(kOk + kOk + kWoven));
    ASSERT_EQ(h.sim().wovenPicks().size(), 1u);
    EXPECT_EQ(h.sim().wovenPicks()[0].lifted, (std::vector<int>{1, 2, 3}));
}

TEST(Jx3Weaving, NewPickReplacesPendingAndResetCancelsIt) {
    LoomSimOptions options = fastOptions();
    options.weaveDelay = 40ms;
    SimHarness h(options);
    ASSERT_TRUE(h.ok()) << h.error();

    sendPick(h, {4}, 1, true);
    sendPick(h, {6}, 1, true);
    EXPECT_EQ(hexOf(h.read(15)), hexOf(kOk + kOk + kOk + kOk + kWoven));
    ASSERT_EQ(h.sim().wovenPicks().size(), 1u);
    EXPECT_EQ(h.sim().wovenPicks()[0].lifted, std::vector<int>{7});

    sendPick(h, {8}, 1, true);
    h.write(jx3Frame(2, 0));
    EXPECT_EQ(hexOf(h.read(9)), hexOf(kOk + kOk + kOk));
    EXPECT_TRUE(h.quietFor(150ms)) << "a cancelled pick was woven";
    EXPECT_EQ(h.sim().wovenPicks().size(), 1u);
}

TEST(Jx3Weaving, InteractiveWeavesOnEnter) {
    int pipeFds[2];
    ASSERT_EQ(pipe(pipeFds), 0);
    LoomSimOptions options = fastOptions();
    options.weaveDelay = 1ms;
    options.interactive = true;
    options.enterFd = pipeFds[0];
    {
        SimHarness h(options);
        ASSERT_TRUE(h.ok()) << h.error();
        sendPick(h, {0}, 1, true);
        EXPECT_EQ(hexOf(h.read(6)), hexOf(kOk + kOk));
        // The next answer must be for this frame, not a woven message.
        h.write(jx3Frame(1, 9));
        EXPECT_EQ(hexOf(h.read(3)), hexOf(kOk));
        EXPECT_TRUE(h.quietFor(50ms));
        EXPECT_EQ(h.sim().state().picksWoven, 0u);
        EXPECT_TRUE(h.sim().state().pickPending);

        ASSERT_EQ(::write(pipeFds[1], "\n", 1), 1);
        EXPECT_EQ(hexOf(h.read(3)), hexOf(kWoven));
        EXPECT_EQ(h.sim().state().picksWoven, 1u);
    }
    ::close(pipeFds[0]);
    ::close(pipeFds[1]);
}

TEST(Jx3Weaving, BaudPaceHoldsFramesForTheirLineTime) {
    LoomSimOptions options = fastOptions();
    options.baudPace = true;
    options.weaveDelay = 1ms;
    SimHarness h(options);
    ASSERT_TRUE(h.ok()) << h.error();
    const auto start = std::chrono::steady_clock::now();
    sendPick(h, {0}, 1, true);
    EXPECT_EQ(hexOf(h.read(9)), hexOf(kOk + kOk + kWoven));
    // At 19200 baud a byte takes 0.52 ms; the last byte of the woven message leaves 38 byte
    // times after the first byte went in (33 more in, then 3 + 3 out, overlapping the weave).
    EXPECT_GE(std::chrono::steady_clock::now() - start, 19ms);
}

std::vector<std::pair<int, int>> readMessagesUntilVerdict(SimHarness& h) {
    std::vector<std::pair<int, int>> messages;
    while (messages.size() < 200) {
        const std::string m = h.read(3);
        if (m.size() != 3) break;
        const auto code = static_cast<std::uint8_t>(m[0]);
        const auto value = static_cast<std::uint8_t>(m[1]);
        EXPECT_EQ(static_cast<std::uint8_t>(m[2]), code ^ value) << hexOf(m);
        messages.emplace_back(code, value);
        if (code == 5 || code == 6) break;
    }
    return messages;
}

bool contains(const std::vector<std::pair<int, int>>& messages,
              const std::vector<std::pair<int, int>>& run) {
    return std::search(messages.begin(), messages.end(), run.begin(), run.end()) != messages.end();
}

TEST(Jx3SelfTest, ReportsEveryCardAndPasses) {
    LoomSimOptions options = fastOptions();
    options.modules = 2;
    SimHarness h(options);
    ASSERT_TRUE(h.ok()) << h.error();
    h.write(jx3Frame(4, 0));
    ASSERT_EQ(hexOf(h.read(3)), hexOf(kOk));
    const auto messages = readMessagesUntilVerdict(h);
    ASSERT_FALSE(messages.empty());
    EXPECT_EQ(messages.front(), std::make_pair(10, 1));
    EXPECT_EQ(messages.back(), std::make_pair(5, 0));
    EXPECT_TRUE(contains(messages, {{10, 26}, {15, 2}})) << "module count";
    EXPECT_TRUE(contains(messages, {{10, 27}, {15, 1}}));
    EXPECT_TRUE(contains(messages, {{10, 27}, {15, 2}}));
    for (const auto& [code, value] : messages) {
        EXPECT_TRUE(code == 10 || code == 15 || code == 5) << code;
        if (code == 10) {
            EXPECT_TRUE(value >= 1 && value <= 37) << value;
        }
    }
}

TEST(Jx3SelfTest, FailureEndsWithSix) {
    LoomSimOptions options = fastOptions();
    options.selfTestFail = true;
    SimHarness h(options);
    ASSERT_TRUE(h.ok()) << h.error();
    h.write(jx3Frame(4, 1));
    ASSERT_EQ(hexOf(h.read(3)), hexOf(kOk));
    const auto messages = readMessagesUntilVerdict(h);
    ASSERT_GE(messages.size(), 2u);
    EXPECT_EQ(messages[messages.size() - 2], std::make_pair(10, 36));
    EXPECT_EQ(messages.back(), std::make_pair(6, 0));
    EXPECT_TRUE(contains(messages, {{10, 28}, {15, 2}, {10, 29}, {15, 5}, {10, 30}, {15, 17}}));
}

TEST(Jx3SelfTest, StopFrameEndsTheReport) {
    LoomSimOptions options = fastOptions();
    options.selfTestGap = 20ms;
    SimHarness h(options);
    ASSERT_TRUE(h.ok()) << h.error();
    h.write(jx3Frame(4, 0));
    ASSERT_EQ(hexOf(h.read(6)), hexOf(kOk + std::string("\x0A\x01\x0B", 3)));
    h.write(jx3Frame(2, 1));
    // Reports already on their way may come before the answer; none may follow it.
    std::string seen;
    while (seen.size() < 60 && seen.find(kOk) == std::string::npos) {
        const std::string m = h.read(3);
        if (m.size() != 3) break;
        seen += m;
    }
    EXPECT_NE(seen.find(kOk), std::string::npos) << hexOf(seen);
    EXPECT_TRUE(h.quietFor(100ms));
}

TEST(Jx3Faults, RejectFrameAndItsResend) {
    LoomSimOptions options = fastOptions();
    options.rejectFrames = {2, 3};
    SimHarness h(options);
    ASSERT_TRUE(h.ok()) << h.error();
    for (int i = 0; i < 4; ++i) h.write(jx3Frame(1, 50));
    EXPECT_EQ(hexOf(h.read(12)), hexOf(kOk + kRejected + kRejected + kOk));
}

TEST(Jx3Faults, DroppedAnswerStillHandlesTheFrame) {
    LoomSimOptions options = fastOptions();
    options.dropAnswers = {1};
    SimHarness h(options);
    ASSERT_TRUE(h.ok()) << h.error();
    h.write(jx3Frame(1, 77));
    h.write(jx3Frame(5, 0));  // answered 9, so an answer to the first would show
    EXPECT_EQ(hexOf(h.read(3)), hexOf(kRejected));
    EXPECT_EQ(h.sim().state().maxValves, 77);
}

TEST(Jx3Faults, NoiseAndGarbageFollowTheAnswer) {
    LoomSimOptions options = fastOptions();
    options.noiseAfter = {1};
    options.garbageAfter = {{2, 10}};
    SimHarness h(options);
    ASSERT_TRUE(h.ok()) << h.error();
    h.write(jx3Frame(2, 0));
    EXPECT_EQ(hexOf(h.read(6)), hexOf(kOk + std::string("\x20\x00\x00", 3)));
    h.write(jx3Frame(2, 0));
    EXPECT_EQ(hexOf(h.read(3)), hexOf(kOk));
    EXPECT_EQ(h.read(10).size(), 10u);
    EXPECT_TRUE(h.quietFor(30ms));
}

TEST(Jx3Faults, LateAnswer) {
    LoomSimOptions options = fastOptions();
    options.lateAnswers = {{1, 120}};
    SimHarness h(options);
    ASSERT_TRUE(h.ok()) << h.error();
    const auto start = std::chrono::steady_clock::now();
    h.write(jx3Frame(2, 0));
    EXPECT_EQ(hexOf(h.read(3)), hexOf(kOk));
    EXPECT_GE(std::chrono::steady_clock::now() - start, 120ms);
}

TEST(Jx3Faults, HangupAfterPicks) {
    LoomSimOptions options = fastOptions();
    options.hangupAfterPicks = 1;
    SimHarness h(options);
    ASSERT_TRUE(h.ok()) << h.error();
    sendPick(h, {0}, 1, true);
    EXPECT_EQ(hexOf(h.read(9)), hexOf(kOk + kOk + kWoven));
    EXPECT_TRUE(h.waitHangup());
    EXPECT_TRUE(waitUntil([&] { return h.sim().state().hungUp; }));
    EXPECT_EQ(h.stop().reason, StopReason::HungUp);
    EXPECT_EQ(h.sim().wovenPicks().size(), 1u);
}

TEST(Jx3Faults, HangupOnFrameWithoutAnswer) {
    LoomSimOptions options = fastOptions();
    options.hangupAfterFrame = 2;
    SimHarness h(options);
    ASSERT_TRUE(h.ok()) << h.error();
    h.write(jx3Frame(2, 0));
    EXPECT_EQ(hexOf(h.read(3)), hexOf(kOk));
    h.write(jx3Frame(2, 0));
    EXPECT_TRUE(h.waitHangup());
    EXPECT_EQ(h.stop().reason, StopReason::HungUp);
}

const std::string kGoodRecord = ":10010000214601360121470136007EFE09D2190140";
const std::string kBadRecord = ":10010000214601360121470136007EFE09D2190141";
const std::string kEndRecord = ":00000001FF";

TEST(Jx3Loader, LoneCrWakesTheLoaderWhichCountsRecords) {
    SimHarness h(fastOptions());
    ASSERT_TRUE(h.ok()) << h.error();
    h.write("\r");
    EXPECT_EQ(h.readUntil("\r\n"), "LOADER\r\n");
    EXPECT_TRUE(h.sim().state().loaderMode);

    for (const char* command : {"Z", "U", "W 0", "R", "W 8", "R", "W C8", "R", "L"}) {
        h.write(std::string(command) + "\r");
        const std::string answer = h.readUntil("\r\n", 1000ms);
        EXPECT_GE(answer.size(), 2u) << command;
        EXPECT_EQ(answer.find("ERR"), std::string::npos) << command;
    }
    // Records are not answered: the first text after them is the final report.
    h.write(kGoodRecord + "\r" + kBadRecord + "\r" + kEndRecord + "\r" + "Z\r");
    EXPECT_EQ(h.readUntil("\r\n"), "LOADED 2 RECORDS 1 ERRORS\r\n");
    const SimState state = h.sim().state();
    EXPECT_EQ(state.loaderGoodRecords, 2u);
    EXPECT_EQ(state.loaderBadRecords, 1u);
    EXPECT_EQ(state.loadsCompleted, 1u);
    EXPECT_FALSE(state.loaderMode);

    h.write(jx3Frame(2, 0));
    EXPECT_EQ(hexOf(h.read(3)), hexOf(kOk)) << "firmware runs after the load";
}

TEST(Jx3Loader, NoFirmwareIgnoresFrames) {
    LoomSimOptions options = fastOptions();
    options.noFirmware = true;
    SimHarness h(options);
    ASSERT_TRUE(h.ok()) << h.error();
    h.write(jx3Frame(2, 0) + jx3Frame(11, 1));
    EXPECT_TRUE(h.quietFor(150ms)) << "a loader answered a frame";
    h.write("\r");
    EXPECT_EQ(h.readUntil("\r\n"), "LOADER\r\n");
    EXPECT_EQ(h.sim().state().framesReceived, 0u);
}

TEST(Jx3Loader, HexRecordChecksum) {
    EXPECT_TRUE(validHexRecord(kGoodRecord));
    EXPECT_TRUE(validHexRecord(kEndRecord));
    EXPECT_FALSE(validHexRecord(kBadRecord));
    EXPECT_FALSE(validHexRecord(":0000000100")) << "checksum";
    EXPECT_FALSE(validHexRecord(":01000001FF")) << "length byte disagrees with the data";
    EXPECT_FALSE(validHexRecord(":00000001FG")) << "not hex";
    EXPECT_FALSE(validHexRecord(":00000001F")) << "odd length";
}

}  // namespace
}  // namespace wp::sim::test
