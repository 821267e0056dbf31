// Replays the fuzzers' seeds and every input that once crashed or hung a reader.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "import/load.h"
#include "import/reader.h"

namespace wp {
namespace {

namespace fs = std::filesystem;

std::vector<fs::path> filesIn(const fs::path& dir) {
    std::vector<fs::path> out;
    if (fs::exists(dir))
        for (const auto& e : fs::directory_iterator(dir))
            if (e.is_regular_file() && e.path().filename() != ".keep") out.push_back(e.path());
    std::sort(out.begin(), out.end());
    return out;
}

ReadResult readFile(const fs::path& file, FileType type, DesignModel& d, bool answer) {
    std::vector<uint8_t> bytes;
    std::string error;
    EXPECT_TRUE(readWholeFile(file.string(), bytes, error)) << file << ": " << error;
    d.releaseDesign();
    ReadOptions options;
    options.ask = [answer](const std::string&) { return answer; };
    return readerFor(type)->read(bytes, d, options);
}

class ReaderRegressions : public ::testing::TestWithParam<std::pair<const char*, FileType>> {};

TEST_P(ReaderRegressions, SeedsLoadAndReproducersFailCleanly) {
    const auto [name, type] = GetParam();
    DesignModel d;
    d.hw.hookCount = kMaxHooks;
    d.hw.moduleCount = kMaxModules;
    const fs::path root = WP_SOURCE_DIR "/fuzz";
    const auto seeds = filesIn(root / "seeds" / name);
    ASSERT_FALSE(seeds.empty()) << name;
    for (const auto& f : seeds) {
        const ReadResult r = readFile(f, type, d, false);
        EXPECT_TRUE(r.ok) << f << ": " << r.error;
        EXPECT_TRUE(d.hasDesign()) << f;
    }
    for (const auto& f : filesIn(root / "regressions" / name)) {
        for (const bool answer : {false, true}) {
            const ReadResult r = readFile(f, type, d, answer);
            // Whatever the bytes, a read either succeeds with a matrix and
            // colours that fit the header or fails with a reason.
            if (r.ok) {
                EXPECT_TRUE(d.hasDesign()) << f;
                EXPECT_EQ(d.matrix.rows(), d.header.wefts()) << f;
                EXPECT_EQ(d.warpColours.size(), static_cast<size_t>(d.header.warps())) << f;
            } else {
                EXPECT_TRUE(!r.error.empty() || !r.messages.empty()) << f;
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    EveryReader, ReaderRegressions,
    ::testing::Values(std::pair{"native", FileType::Native}, std::pair{"imp", FileType::Imp},
                      std::pair{"dw1", FileType::Dw1}, std::pair{"bmp", FileType::Bmp},
                      std::pair{"jpeg", FileType::Jpeg}, std::pair{"tiff", FileType::Tiff},
                      std::pair{"wif", FileType::Wif}),
    [](const auto& p) { return std::string(p.param.first); });

}  // namespace
}  // namespace wp
