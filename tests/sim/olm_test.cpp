// The OLM controller seen from the host's side of a real pseudo-terminal.

#include <gtest/gtest.h>

#include "sim/olmengine.h"
#include "tests/sim/simharness.h"

namespace wp::sim::test {
namespace {

LoomSimOptions olmOptions() {
    LoomSimOptions options;
    options.loom = LoomType::Olm;
    options.weaveDelay = 10ms;
    return options;
}

// Writes a command line byte by byte, waiting for each echo as the host does; returns false
// when an echo is missing or wrong.
bool sendLine(SimHarness& h, const std::string& line) {
    for (char c : line + "\r") {
        h.write(std::string(1, c));
        if (h.read(1) != std::string(1, c)) return false;
    }
    return true;
}

std::string command(SimHarness& h, const std::string& line) {
    if (!sendLine(h, line)) return "<no echo>";
    return h.readUntil("\r\n");
}

TEST(OlmProtocol, EchoesEveryByteThenAnswers) {
    SimHarness h(olmOptions());
    ASSERT_TRUE(h.ok()) << h.error();
    EXPECT_TRUE(sendLine(h, "M)D00.00K01234"));
    EXPECT_EQ(h.readUntil("\r\n"), "R\r\n");
}

TEST(OlmProtocol, StoreWritesFillEntries) {
    TempPath record(".txt");
    LoomSimOptions options = olmOptions();
    options.recordPath = record.str();
    SimHarness h(options);
    ASSERT_TRUE(h.ok()) << h.error();

    EXPECT_EQ(command(h, "M)D00.00K01234"), "R\r\n");
    EXPECT_EQ(command(h, "M)D07.00K00056"), "R\r\n");
    EXPECT_EQ(command(h, "M)D06.54K08001"), "R\r\n");  // index 219
    EXPECT_EQ(command(h, "M)D13.54K00080"), "R\r\n");

    const auto store = h.sim().olmStore();
    ASSERT_EQ(store.size(), 2u);
    EXPECT_EQ(store[0].first, 0);
    EXPECT_EQ(store[0].second.word, 0x1234u);
    EXPECT_EQ(store[0].second.byte, 0x56);
    EXPECT_EQ(store[1].first, 219);
    EXPECT_EQ(store[1].second.word, 0x8001u);
    EXPECT_EQ(store[1].second.byte, 0x80);
    // 0x56 raises treadles 2 4 6 7; 0x1234 raises 12 15 19 20 22.
    EXPECT_EQ(readFile(record.str()),
              "# weavepilot-loomsim record: loom=olm draft=607\n"
              "# store I: pick store entry I (0-based) as last written, hex; pick K: K-th pick "
              "woven in direct mode; lift: raised treadles, 1-based\n"
              "store 0: word=1234 byte=56 lift=2,4,6,7,12,15,19,20,22\n"
              "store 219: word=8001 byte=80 lift=1,9,24\n");
}

TEST(OlmProtocol, BadLinesAreAnsweredWithQuestionMark) {
    SimHarness h(olmOptions());
    ASSERT_TRUE(h.ok()) << h.error();
    EXPECT_EQ(command(h, "HELLO"), "?\r\n");
    EXPECT_EQ(command(h, "M)D00.00K0abcd"), "?\r\n") << "lowercase hex";
    EXPECT_EQ(command(h, "M)D00.00K012"), "?\r\n") << "too few digits";
    EXPECT_EQ(command(h, "M)D06.56K00000"), "?\r\n") << "index 220";
    EXPECT_EQ(command(h, "M)D00.01K00000"), "?\r\n") << "odd offset";
    EXPECT_EQ(command(h, "M)D07.00K00100"), "?\r\n") << "byte too large";
    EXPECT_EQ(command(h, "M)D14.50K012"), "?\r\n") << "direct switch value";
    EXPECT_TRUE(h.sim().olmStore().empty());
    EXPECT_EQ(h.sim().state().framesReceived, 7u);
}

TEST(OlmProtocol, DirectModeWeavesOnePickAtATime) {
    TempPath record(".txt");
    LoomSimOptions options = olmOptions();
    options.weaveDelay = 30ms;
    options.recordPath = record.str();
    SimHarness h(options);
    ASSERT_TRUE(h.ok()) << h.error();

    EXPECT_EQ(command(h, "M)D14.52K00001"), "R\r\n") << "not in direct mode: nothing woven";
    EXPECT_EQ(command(h, "M)D14.50K0AB"), "A\r\n");
    EXPECT_TRUE(h.sim().state().directMode);
    EXPECT_EQ(command(h, "M)D14.54K080"), "R\r\n");
    ASSERT_TRUE(sendLine(h, "M)D14.52K00001"));
    const auto sent = std::chrono::steady_clock::now();
    EXPECT_EQ(h.readUntil("\r\n"), "Q\r\n");
    EXPECT_GE(std::chrono::steady_clock::now() - sent, 30ms);
    EXPECT_EQ(command(h, "M)D14.50K0"), "E\r\n");
    EXPECT_FALSE(h.sim().state().directMode);

    const auto picks = h.sim().wovenPicks();
    ASSERT_EQ(picks.size(), 1u);
    EXPECT_EQ(picks[0].lifted, (std::vector<int>{1, 24}));
    EXPECT_NE(readFile(record.str()).find("\npick 1: word=0001 byte=80 lift=1,24\n"),
              std::string::npos);
}

TEST(OlmProtocol, CountermarcheDraftDecodesShafts) {
    LoomSimOptions options = olmOptions();
    options.olmDraft = {OlmDraft::Kind::Countermarche608, 8};
    SimHarness h(options);
    ASSERT_TRUE(h.ok()) << h.error();
    EXPECT_EQ(command(h, "M)D14.50K0AB"), "A\r\n");
    EXPECT_EQ(command(h, "M)D14.54K000"), "R\r\n");
    EXPECT_EQ(command(h, "M)D14.52K08100"), "Q\r\n");  // shafts 1 and 8
    ASSERT_EQ(h.sim().wovenPicks().size(), 1u);
    EXPECT_EQ(h.sim().wovenPicks()[0].lifted, (std::vector<int>{1, 8}));
}

TEST(OlmProtocol, LiftDecoding) {
    const OlmDraft dobby;
    EXPECT_EQ(olmLifts(dobby, 0x8000, 0x01), (std::vector<int>{8, 9}));
    EXPECT_TRUE(olmLifts(dobby, 0, 0).empty());
    const OlmDraft sixteen{OlmDraft::Kind::Countermarche608, 16};
    // W is s * 256, so sixteen shafts need more than four hex digits.
    EXPECT_EQ(olmLifts(sixteen, 0x800100, 0), (std::vector<int>{1, 16}));
    EXPECT_EQ(olmLifts(sixteen, 0x0000FF, 0xFF), std::vector<int>{}) << "low byte is not shafts";
}

TEST(OlmFaults, DroppedAnswerKeepsTheEcho) {
    LoomSimOptions options = olmOptions();
    options.dropAnswers = {2};
    SimHarness h(options);
    ASSERT_TRUE(h.ok()) << h.error();
    EXPECT_EQ(command(h, "M)D00.00K00001"), "R\r\n");
    EXPECT_TRUE(sendLine(h, "M)D00.02K00002"));
    // Had line 2 been answered, its "R" would stand where this line's first echo should be.
    EXPECT_EQ(command(h, "M)D00.04K00003"), "R\r\n");
    EXPECT_EQ(h.sim().olmStore().size(), 3u);
}

TEST(OlmFaults, HangupAfterPicks) {
    LoomSimOptions options = olmOptions();
    options.hangupAfterPicks = 1;
    SimHarness h(options);
    ASSERT_TRUE(h.ok()) << h.error();
    EXPECT_EQ(command(h, "M)D14.50K0AB"), "A\r\n");
    EXPECT_EQ(command(h, "M)D14.52K00010"), "Q\r\n");
    EXPECT_TRUE(h.waitHangup());
    EXPECT_EQ(h.stop().reason, StopReason::HungUp);
}

TEST(OlmFaults, GarbageAfterAnswer) {
    LoomSimOptions options = olmOptions();
    options.garbageAfter = {{1, 7}};
    SimHarness h(options);
    ASSERT_TRUE(h.ok()) << h.error();
    ASSERT_TRUE(sendLine(h, "M)D00.00K00001"));
    EXPECT_EQ(h.read(3), "R\r\n");
    EXPECT_EQ(h.read(7).size(), 7u);
    EXPECT_TRUE(h.quietFor(30ms));
}

}  // namespace
}  // namespace wp::sim::test
