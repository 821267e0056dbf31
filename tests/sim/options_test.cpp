#include <gtest/gtest.h>

#include "sim/options.h"

namespace wp::sim {
namespace {

TEST(Arguments, ValuesAndRepeatedFaults) {
    const ParsedArguments parsed = parseArguments({"--loom",
                                                   "olm",
                                                   "--olm-draft=608:12",
                                                   "--shuffle",
                                                   "off",
                                                   "--weave-ms",
                                                   "15",
                                                   "--reject-frame",
                                                   "4",
                                                   "--reject-frame=5",
                                                   "--late",
                                                   "3:250",
                                                   "--garbage",
                                                   "2:16",
                                                   "--hangup-after-picks",
                                                   "7",
                                                   "--unplug-after-picks",
                                                   "2",
                                                   "--unplug-ms=40",
                                                   "--interactive",
                                                   "--baud-pace",
                                                   "--record",
                                                   "r.txt"});
    ASSERT_TRUE(parsed.ok) << parsed.error;
    const LoomSimOptions& o = parsed.options;
    EXPECT_EQ(o.loom, LoomType::Olm);
    EXPECT_EQ(o.olmDraft.kind, OlmDraft::Kind::Countermarche608);
    EXPECT_EQ(o.olmDraft.shafts, 12);
    EXPECT_FALSE(o.shuffle);
    EXPECT_EQ(o.weaveDelay, std::chrono::milliseconds(15));
    EXPECT_EQ(o.rejectFrames, (std::vector<std::uint64_t>{4, 5}));
    ASSERT_EQ(o.lateAnswers.size(), 1u);
    EXPECT_EQ(o.lateAnswers[0].index, 3u);
    EXPECT_EQ(o.lateAnswers[0].value, 250u);
    ASSERT_EQ(o.garbageAfter.size(), 1u);
    EXPECT_EQ(o.garbageAfter[0].value, 16u);
    EXPECT_EQ(o.hangupAfterPicks, 7u);
    EXPECT_EQ(o.unplugAfterPicks, 2u);
    EXPECT_EQ(o.unplugFor, std::chrono::milliseconds(40));
    EXPECT_TRUE(o.interactive);
    EXPECT_TRUE(o.baudPace);
    EXPECT_EQ(o.recordPath, "r.txt");
}

TEST(Arguments, DefaultsMatchTheHelpText) {
    const ParsedArguments parsed = parseArguments({});
    ASSERT_TRUE(parsed.ok);
    EXPECT_EQ(parsed.options.loom, LoomType::Jx3);
    EXPECT_TRUE(parsed.options.shuffle);
    EXPECT_EQ(parsed.options.weaveDelay, std::chrono::milliseconds(300));
    EXPECT_EQ(parsed.options.olmDraft.kind, OlmDraft::Kind::Dobby607);
    EXPECT_FALSE(parsed.options.baudPace);
    EXPECT_TRUE(parseArguments({"--help"}).help);
}

TEST(Arguments, BadInputIsRefusedWithTheOptionNamed) {
    const std::vector<std::vector<std::string>> cases = {{"--late", "3"},
                                                         {"--late", "0:5"},
                                                         {"--olm-draft", "608:0"},
                                                         {"--olm-draft", "609"},
                                                         {"--reject-frame", "0"},
                                                         {"--shuffle", "maybe"},
                                                         {"--weave-ms", "-1"},
                                                         {"--modules", "17"},
                                                         {"--garbage", "x:1"},
                                                         {"--record"},
                                                         {"--log=yes"},
                                                         {"--frobnicate"},
                                                         {"--unplug-ms", "x"},
                                                         {"--unplug-after-picks", "0"}};
    for (const auto& args : cases) {
        const ParsedArguments parsed = parseArguments(args);
        EXPECT_FALSE(parsed.ok) << args[0];
        EXPECT_NE(parsed.error.find(args[0].substr(0, args[0].find('='))), std::string::npos)
            << parsed.error;
    }
}

}  // namespace
}  // namespace wp::sim
