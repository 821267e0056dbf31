// Replays the fuzzers' seeds and every input that once crashed or hung a reader.
#include <gtest/gtest.h>

#include <filesystem>

#include "app/session.h"
#include "import/load.h"
#include "import/native.h"
#include "tests/support/fakeui.h"

namespace wp {
namespace {

namespace fs = std::filesystem;

std::vector<fs::path> filesIn(const fs::path& dir) {
    std::vector<fs::path> out;
    if (fs::exists(dir))
        for (const auto& e : fs::directory_iterator(dir))
            if (e.is_regular_file()) out.push_back(e.path());
    std::sort(out.begin(), out.end());
    return out;
}

ReadResult readNative(const fs::path& file, Session& s) {
    std::vector<uint8_t> bytes;
    std::string error;
    EXPECT_TRUE(readWholeFile(file.string(), bytes, error)) << file << ": " << error;
    s.design().releaseDesign();
    return NativeReader().read(bytes, s.design());
}

TEST(ReaderRegressions, NativeSeedsLoadAndReproducersFailCleanly) {
    test::FakeUI ui;
    Session s(ui, "/nonexistent/lanset.ini");
    s.design().hw.hookCount = kMaxHooks;
    s.design().hw.moduleCount = kMaxModules;
    const fs::path root = WP_SOURCE_DIR "/fuzz";
    const auto seeds = filesIn(root / "seeds/native");
    ASSERT_GE(seeds.size(), 3u);
    for (const auto& f : seeds) {
        const ReadResult r = readNative(f, s);
        EXPECT_TRUE(r.ok) << f << ": " << r.error;
        EXPECT_TRUE(s.design().hasDesign()) << f;
    }
    for (const auto& f : filesIn(root / "regressions/native")) {
        const ReadResult r = readNative(f, s);
        // Whatever the bytes, a read either succeeds with a matrix that fits
        // the header or fails with a reason.
        if (r.ok) {
            EXPECT_TRUE(s.design().hasDesign()) << f;
            EXPECT_EQ(s.design().matrix.rows(), s.design().header.wefts()) << f;
        } else {
            EXPECT_TRUE(!r.error.empty() || !r.messages.empty()) << f;
        }
    }
}

}  // namespace
}  // namespace wp
