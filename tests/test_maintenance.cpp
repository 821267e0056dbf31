// Firmware files and the self-test report, without a controller.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "loom/hexfile.h"
#include "loom/jx3/selftestreport.h"
#include "loom/serialdevices.h"

namespace wp {
namespace {

// A real-looking image: data records, an extended address, the end record.
const char* const kGoodHex =
    ":020000040000FA\r\n"
    ":10010000214601360121470136007EFE09D2190140\r\n"
    ":100110002146017E17C20001FF5F16002148011928\r\n"
    ":00000001FF\r\n";

TEST(HexFile, SoundFileKeepsItsLinesAsTheyAreSent) {
    const HexFile f = checkIntelHex(kGoodHex);
    ASSERT_TRUE(f.ok()) << f.fault;
    ASSERT_EQ(f.lines.size(), 4u);
    EXPECT_EQ(f.lines[1], ":10010000214601360121470136007EFE09D2190140");
    EXPECT_EQ(f.size, std::string(kGoodHex).size());
    // Lower-case digits, LF ends and blank lines after the end record are fine.
    const HexFile g = checkIntelHex(":00000001ff\n\n\n");
    EXPECT_TRUE(g.ok()) << g.fault;
    EXPECT_EQ(g.lines.size(), 1u);
    // So are blank lines between records and spaces after one: neither is sent.
    const HexFile h = checkIntelHex(":020000040000FA \t\r\n\r\n  \n:00000001FF\n");
    EXPECT_TRUE(h.ok()) << h.fault;
    EXPECT_EQ(h.lines, (std::vector<std::string>{":020000040000FA", ":00000001FF"}));
    EXPECT_EQ(h.size, 17u + 13u);  // what goes out, each line with its CR LF
}

TEST(HexFile, FirstBadLineIsNamed) {
    struct Case {
        std::string text;
        int line;
        const char* fault;
    };
    const std::string end = ":00000001FF\n";
    const std::vector<Case> cases = {
        {"10000000214601360121470136007EFE09D2190140\n" + end, 1, "starts with ':'"},
        {":020000040000FA\n:10010000214601360121470136007EFE09D2190141\n" + end, 2, "checksum 41"},
        {":10010000214601360121470136007EFE09D21901\n" + end, 1, "byte count 10"},
        {":0200000G0000FA\n" + end, 1, "not a hex byte"},
        {":020000040000F\n" + end, 1, "odd number"},
        {":00000006FA\n" + end, 1, "record type 06"},
        {":020000040000FA\n", 2, "no end-of-file record"},
        {end + ":020000040000FA\n", 2, "after the end-of-file record"},
        // Lines are counted as the file has them, blank ones included.
        {":020000040000FA\n\n:0100000000FE\n" + end, 3, "checksum FE"},
        {"", 1, "empty"},
    };
    for (const Case& c : cases) {
        const HexFile f = checkIntelHex(c.text);
        EXPECT_FALSE(f.ok()) << c.text;
        EXPECT_EQ(f.badLine, c.line) << c.text;
        EXPECT_NE(f.fault.find(c.fault), std::string::npos) << c.text << " -> " << f.fault;
    }
}

// Feeds answers (code, value) and returns the report's rows.
std::vector<std::string> feed(SelfTestReport& r,
                              std::initializer_list<std::pair<int, int>> answers) {
    for (auto [code, value] : answers)
        r.onAnswer(static_cast<uint8_t>(code), static_cast<uint8_t>(value));
    return r.rows();
}

TEST(SelfTestReport, NumbersCompleteTheRowTheyFollow) {
    SelfTestReport r;
    EXPECT_EQ(feed(r, {{10, 27}, {15, 3}}), std::vector<std::string>{"TESTING DRIVER CARD 3"});
    EXPECT_EQ(r.cardNumber(), 3);

    SelfTestReport e;
    EXPECT_EQ(feed(e, {{10, 28}, {15, 2}, {10, 29}, {15, 5}, {10, 30}, {15, 17}}),
              std::vector<std::string>{"ERROR. CARD 2 ROW 5 COIL NUMBER 17"});

    SelfTestReport t;
    EXPECT_EQ(
        feed(t, {{10, 1}, {10, 5}, {15, 41}, {10, 7}, {10, 31}, {10, 99}}),
        (std::vector<std::string>{"STARTING MASTER TEST", "TEMPERATURE 41", "OK. ROW 0", " "}));

    // A number before any row has nothing to belong to.
    SelfTestReport n;
    EXPECT_TRUE(feed(n, {{15, 9}}).empty());
}

TEST(SelfTestReport, EndOfTheTest) {
    SelfTestReport r;
    EXPECT_FALSE(r.onAnswer(10, 1).finished);
    const auto passed = r.onAnswer(10, 35);
    EXPECT_TRUE(passed.finished);
    EXPECT_TRUE(passed.status.empty());  // the status stays as it was
    EXPECT_EQ(r.rows().back(), "MASTER AND ALL DRIVER TESTS PASSED");
    EXPECT_EQ(r.onAnswer(5, 0).status, "Test OK");
    EXPECT_EQ(r.onAnswer(6, 0).status, "Test failure");
    EXPECT_TRUE(r.onAnswer(6, 0).finished);
    EXPECT_FALSE(r.onAnswer(8, 0).finished);  // any other answer: wait on
}

TEST(SelfTestReport, SavedTextHasTheDateLineAndCrLfRows) {
    EXPECT_EQ(selfTestReportText({"A", "B 2"}, "09/12/2026"),
              "JX-3 test dump 09/12/2026\r\nA\r\nB 2\r\n");
}

TEST(SerialDevices, StableNamesFirstAndOnlyPortsWithAUart) {
    namespace fs = std::filesystem;
    const fs::path root = fs::temp_directory_path() / "wp-serial-root";
    fs::remove_all(root);
    fs::create_directories(root / "dev/serial/by-id");
    for (const char* n : {"ttyUSB0", "ttyUSB1", "ttyACM0", "ttyS0", "ttyS1", "ttyS10", "ttyS2"})
        std::ofstream(root / "dev" / n) << "";
    fs::create_symlink("../../ttyUSB1", root / "dev/serial/by-id/usb-FTDI_loom-if00");
    for (auto [name, type] : {std::pair{"ttyS0", 4}, {"ttyS1", 0}, {"ttyS10", 4}, {"ttyS2", 4}}) {
        fs::create_directories(root / "sys/class/tty" / name);
        std::ofstream(root / "sys/class/tty" / name / "type") << type << "\n";
    }
    std::vector<std::string> paths;
    for (const auto& d : listSerialDevices(root.string())) paths.push_back(d.path);
    EXPECT_EQ(paths, (std::vector<std::string>{"/dev/serial/by-id/usb-FTDI_loom-if00",
                                               "/dev/ttyUSB0", "/dev/ttyACM0", "/dev/ttyS0",
                                               "/dev/ttyS2", "/dev/ttyS10"}));
    fs::remove_all(root);
}

}  // namespace
}  // namespace wp
