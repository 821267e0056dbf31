// Firmware download and self-test through the real serial code against the
// simulated controller.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <thread>

#include "app/maintenance.h"
#include "sim/loomsim.h"
#include "tests/support/fakeui.h"
#include "tests/support/ptypeer.h"
#include "tests/support/simthread.h"

namespace wp {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

using test::SimThread;

// An Intel HEX image of `bytes` random bytes in 16-byte records.
std::string hexImage(int bytes, unsigned seed) {
    std::mt19937 rng(seed);
    auto record = [](int address, int type, const std::vector<int>& data) {
        std::vector<int> b = {static_cast<int>(data.size()), (address >> 8) & 255, address & 255,
                              type};
        b.insert(b.end(), data.begin(), data.end());
        int sum = 0;
        for (int v : b) sum += v;
        b.push_back((256 - sum % 256) % 256);
        std::string line = ":";
        char hex[3];
        for (int v : b) {
            std::snprintf(hex, sizeof hex, "%02X", v);
            line += hex;
        }
        return line + "\r\n";
    };
    std::string out = record(0, 4, {0, 0});
    for (int a = 0; a < bytes; a += 16) {
        std::vector<int> data(16);
        for (int& v : data) v = static_cast<int>(rng() & 255);
        out += record(a & 0xFFFF, 0, data);
    }
    return out + record(0, 1, {});
}

struct Maintenance : ::testing::Test {
    test::FakeUI ui;
    fs::path dir = fs::temp_directory_path() / ("wp_maint_" + std::to_string(::getpid()));
    std::unique_ptr<SimThread> loom;
    std::unique_ptr<Session> s;
    std::unique_ptr<WeavingRun> run;

    void SetUp() override { fs::create_directories(dir); }
    void TearDown() override {
        run.reset();
        s.reset();
        loom.reset();
        fs::remove_all(dir);
    }
    void connect(sim::LoomSimOptions o, const std::string& settings = "") {
        o.selfTestGap = 1ms;
        loom = std::make_unique<SimThread>(std::move(o));
        std::ofstream(dir / "lanset.ini") << settings;
        s = std::make_unique<Session>(ui, (dir / "lanset.ini").string(),
                                      test::portsWithCom1At(loom->sim.devicePath()));
        s->loadSettings(true);
        run = std::make_unique<WeavingRun>(*s);
    }
    fs::path write(const std::string& name, const std::string& text) {
        std::ofstream(dir / name, std::ios::binary) << text;
        return dir / name;
    }
};

TEST_F(Maintenance, RealSizeFirmwareReachesTheLoaderRecordForRecord) {
    connect({});
    const std::string image = hexImage(48 * 1024, 7);
    const int records = static_cast<int>(checkIntelHex(image).lines.size());
    write("DS_MAIN.HEX", image);
    FirmwareDownload dl(*s, *run);
    ASSERT_TRUE(dl.LoadHex1Click()) << (ui.boxes.empty() ? "" : ui.boxes[0].text);
    const sim::SimState st = loom->sim.state();
    EXPECT_EQ(st.loaderGoodRecords, static_cast<uint64_t>(records));
    EXPECT_EQ(st.loaderBadRecords, 0u);
    EXPECT_EQ(st.loadsCompleted, 1u);
    EXPECT_TRUE(ui.boxes.empty());
    // Every fifth percent once, in order.
    std::vector<std::string> percents;
    for (const auto& t : ui.statuses)
        if (!t.empty()) percents.push_back(t);
    ASSERT_FALSE(percents.empty());
    EXPECT_EQ(percents.back(), "100%");
    for (size_t i = 1; i < percents.size(); ++i)
        EXPECT_LT(std::stoi(percents[i - 1]), std::stoi(percents[i]));
    EXPECT_EQ(s->runState(), RunState::Idle);
    // Back in frame mode: the controller answers a reset.
    EXPECT_FALSE(s->driver()->textMode());
    EXPECT_TRUE(s->driver()->reset(0));
}

TEST_F(Maintenance, BrokenOrMissingFirmwareSendsNothing) {
    connect({});
    std::string image = hexImage(4096, 3);
    // Line 3 cut short: the record's byte count no longer fits.
    const size_t third = image.find('\n', image.find('\n') + 1) + 1;
    image.erase(third + 20, 10);
    write("cut.hex", image);
    const uint64_t framesBefore = loom->sim.state().framesReceived;
    FirmwareDownload dl(*s, *run);
    EXPECT_FALSE(dl.download((dir / "cut.hex").string(), "cut.hex"));
    ASSERT_EQ(ui.boxes.size(), 2u);
    EXPECT_NE(ui.boxes[0].text.find("cut.hex"), std::string::npos);
    EXPECT_NE(ui.boxes[0].text.find("line 3"), std::string::npos);
    EXPECT_EQ(ui.boxes[1].text, "Can't download WP-program");
    EXPECT_EQ(loom->sim.state().framesReceived, framesBefore);
    EXPECT_FALSE(loom->sim.state().loaderMode);
    EXPECT_EQ(loom->sim.state().loaderGoodRecords, 0u);

    ui.boxes.clear();
    EXPECT_FALSE(dl.LoadHex1Click());
    EXPECT_EQ(ui.boxTexts(), (std::vector<std::string>{"WP-program DS_MAIN.HEX not found",
                                                       "Can't download WP-program"}));
    EXPECT_FALSE(s->window().control(Control::StartButton).enabled);
}

TEST(FirmwarePath, AbsoluteThenBesideTheSettingsThenTheDataFolder) {
    const fs::path root = fs::temp_directory_path() / ("wp_fw_" + std::to_string(::getpid()));
    fs::create_directories(root / "cfg");
    fs::create_directories(root / "data");
    const std::string settings = (root / "cfg" / "lanset.ini").string();
    EXPECT_EQ(firmwarePath("/opt/fw.hex", settings, (root / "data").string()), "/opt/fw.hex");
    std::ofstream(root / "data" / "DS_MAIN.HEX") << "x";
    EXPECT_EQ(firmwarePath("DS_MAIN.HEX", settings, (root / "data").string()),
              (root / "data" / "DS_MAIN.HEX").string());
    std::ofstream(root / "cfg" / "DS_MAIN.HEX") << "x";
    EXPECT_EQ(firmwarePath("DS_MAIN.HEX", settings, (root / "data").string()),
              (root / "cfg" / "DS_MAIN.HEX").string());
    fs::remove_all(root);
}

TEST_F(Maintenance, SelfTestOfAPassingAndAFailingController) {
    for (bool fail : {false, true}) {
        sim::LoomSimOptions o;
        o.modules = 2;
        o.selfTestFail = fail;
        connect(o);
        SelfTestRun test(*s, *run);
        ASSERT_TRUE(test.offered());
        std::vector<std::pair<int, std::string>> shown;
        test.onRow = [&](int row, const std::string& text) { shown.emplace_back(row, text); };
        test.activate();
        test.Button1Click();
        EXPECT_TRUE(test.idle());
        const auto& rows = test.report().rows();
        ASSERT_GE(rows.size(), 6u);
        EXPECT_EQ(rows[0], "STARTING MASTER TEST");
        EXPECT_EQ(rows[2], "TEMPERATURE 41");
        EXPECT_NE(std::find(rows.begin(), rows.end(), "TESTING DRIVER CARD 2"), rows.end());
        if (fail) {
            EXPECT_NE(std::find(rows.begin(), rows.end(), "ERROR. CARD 2 ROW 5 COIL NUMBER 17"),
                      rows.end());
            EXPECT_NE(std::find(rows.begin(), rows.end(), "SOME DRIVER TESTS FAILED"), rows.end());
            EXPECT_EQ(rows.back(), "MASTER AND ALL DRIVER TESTS FAILED");
        } else {
            EXPECT_EQ(rows.back(), "MASTER AND ALL DRIVER TESTS PASSED");
        }
        // The report ends at its closing line; the controller's verdict after it is shown.
        EXPECT_EQ(test.status(), fail ? "Test failure" : "Test OK");
        // Every row reached the window as it was filled or extended.
        EXPECT_EQ(shown.back().second, rows.back());
        EXPECT_EQ(s->runState(), RunState::Idle);

        const fs::path saved = dir / "report.txt";
        ASSERT_TRUE(test.save(saved.string(), "09.12.2026"));
        std::ifstream in(saved, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        EXPECT_EQ(text.str().rfind("JX-3 test dump 09.12.2026\r\nSTARTING MASTER TEST\r\n", 0), 0u);
        EXPECT_EQ(text.str().size() - text.str().find("\r\n") - 2, [&] {
            size_t n = 0;
            for (const auto& r : rows) n += r.size() + 2;
            return n;
        }());
        run.reset();
        s.reset();
        loom.reset();
    }
}

TEST_F(Maintenance, StopDuringTheTestEndsItWithoutAHang) {
    sim::LoomSimOptions o;
    o.modules = 16;
    connect(o);
    SelfTestRun test(*s, *run);
    int presses = 0;
    ui.onPump = [&] {
        // Stop pressed, twice, once the report has begun.
        if (test.report().rows().size() < 3 || presses >= 2) return;
        ++presses;
        EXPECT_FALSE(test.Button2Click());
    };
    test.Button1Click();
    EXPECT_TRUE(test.idle());
    EXPECT_EQ(presses, 2);
    EXPECT_EQ(test.status(), "Test stopped");
    // 16 cards would give far more rows: the controller stopped the report.
    EXPECT_LT(test.report().rows().size(), 20u);
    EXPECT_EQ(s->runState(), RunState::Idle);
}

TEST_F(Maintenance, ShaftLoomOffersNoSelfTestAndNoDownload) {
    connect({}, "[Mirlo]\nLoomType=OLM\n");
    SelfTestRun test(*s, *run);
    EXPECT_FALSE(test.offered());
    test.Button1Click();
    EXPECT_TRUE(test.report().rows().empty());
    FirmwareDownload dl(*s, *run);
    EXPECT_FALSE(dl.LoadHex1Click());
    EXPECT_TRUE(ui.boxes.empty());
}

}  // namespace
}  // namespace wp
