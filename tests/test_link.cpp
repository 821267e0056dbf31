#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "loom/jx3/jx3.h"
#include "loom/olm/olm.h"
#include "tests/support/fakeui.h"
#include "tests/support/ptypeer.h"

namespace wp {
namespace {

using namespace std::chrono_literals;

using test::bytes;

// The name this process has in /proc.
std::string readComm() {
    std::ifstream in("/proc/self/comm");
    std::string name;
    std::getline(in, name);
    return name;
}

// A driver on one end of a pseudo-terminal, the test's peer on the other.
struct Link : ::testing::Test {
    test::FakeUI ui;
    RunFlags flags{ui};
    LogStream log;
    DesignModel design;
    test::PtyPeer peer;
    std::string logPath = (std::filesystem::temp_directory_path() /
                           ("wp_link_" + std::to_string(::getpid()) + ".txt"))
                              .string();

    LinkEnv env() { return LinkEnv{design, flags, log, test::portsWithCom1At(peer.slavePath())}; }
    std::string logText() {
        log.close();
        std::ifstream f(logPath, std::ios::binary);
        std::stringstream ss;
        ss << f.rdbuf();
        return ss.str();
    }
    void SetUp() override { ASSERT_TRUE(log.open(logPath)); }
    void TearDown() override { std::filesystem::remove(logPath); }
};

TEST_F(Link, TextCommandsGoOutWithCrAndAreLogged) {
    Tjx3 drv(env());
    ASSERT_TRUE(drv.OpenPort(1, true));
    EXPECT_TRUE(drv.WriteCommand("Z"));
    EXPECT_TRUE(drv.WriteCommand(""));
    ASSERT_TRUE(peer.waitReceived(3, 2000));
    EXPECT_EQ(peer.received(), "Z\r\r");
    EXPECT_EQ(logText(), "P01 Z\r\nP00 \r\n");
}

TEST_F(Link, FrameIsAnsweredAndLoggedInHex) {
    peer.setHandler([](const std::string&) { return bytes({0x08, 0x01, 0x09}); });
    Tjx3 drv(env());
    ASSERT_TRUE(drv.OpenPort(1, false));
    EXPECT_EQ(drv.SendFrame(2, 0, 0), kOk);
    EXPECT_EQ(peer.received(), bytes({0x02, 0x00, 0x02}));
    EXPECT_TRUE(drv.ResponseIs(0, 8));
    EXPECT_EQ(drv.ResponseByte(1), 1);
    EXPECT_EQ(drv.receivedCount(), 3u);
    EXPECT_FALSE(flags.timer1Enabled());
    EXPECT_EQ(logText(), "C03 020002\r\nR03 080109\r\n");
}

TEST_F(Link, RejectedFrameIsSentOnceMore) {
    int frames = 0;
    peer.setHandler([&](const std::string&) {
        return ++frames <= 2 ? bytes({0x09, 0, 9}) : bytes({0x08, 0, 8});
    });
    Tjx3 drv(env());
    ASSERT_TRUE(drv.OpenPort(1, false));
    // Rejected twice: the second 9 is the caller's to judge.
    EXPECT_EQ(drv.SendFrame(11, 1, 0), kOk);
    EXPECT_TRUE(drv.ResponseIs(0, 9));
    EXPECT_EQ(peer.received(), bytes({0x0B, 0x01, 0x0A, 0x0B, 0x01, 0x0A}));
    // Then accepted: one frame only.
    EXPECT_EQ(drv.SendFrame(4, 1, 0), kOk);
    EXPECT_TRUE(drv.ResponseIs(0, 8));
    EXPECT_EQ(peer.received().substr(6), bytes({0x04, 0x01, 0x05}));
}

TEST_F(Link, ChatterAboveFifteenIsLoggedAndTheWaitGoesOn) {
    peer.setHandler([](const std::string&) { return bytes({0x20, 0, 0}); });
    Tjx3 drv(env());
    ASSERT_TRUE(drv.OpenPort(1, false));
    std::thread later([&] {
        std::this_thread::sleep_for(150ms);
        peer.send(bytes({0x0C, 0x00, 0x0C}));
    });
    EXPECT_EQ(drv.SendFrame(2, 1, 0), kOk);
    later.join();
    EXPECT_TRUE(drv.ResponseIs(0, 12));
    EXPECT_EQ(logText(), "C03 020103\r\nR03 200000\r\nR03 0C000C\r\n");
}

TEST_F(Link, SilenceTimesOut) {
    Tjx3 drv(env());
    ASSERT_TRUE(drv.OpenPort(1, false));
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(drv.ReadResponse(300), kLineError);
    const auto took = std::chrono::steady_clock::now() - t0;
    EXPECT_GE(took, 290ms);
    EXPECT_LT(took, 2000ms);
    EXPECT_TRUE(flags.timeOutFlag);
    EXPECT_FALSE(flags.timer1Enabled());
    // The wait sleeps on the port: a few dozen pumps, not a busy loop.
    EXPECT_LT(ui.pumps, 100);
}

TEST_F(Link, StopRequestEndsAWaitWithoutTimeOut) {
    Tjx3 drv(env());
    ASSERT_TRUE(drv.OpenPort(1, false));
    ui.onPump = [&] {
        if (ui.pumps == 5) flags.stopRequest = true;
    };
    EXPECT_EQ(drv.ReadResponse(0), kStopped);
    EXPECT_EQ(ui.pumps, 5);
}

TEST_F(Link, HangUpEndsTheWaitAsALineError) {
    Tjx3 drv(env());
    ASSERT_TRUE(drv.OpenPort(1, false));
    std::thread later([&] {
        std::this_thread::sleep_for(100ms);
        peer.hangUp();
    });
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(drv.ReadResponse(0), kLineError);
    later.join();
    EXPECT_LT(std::chrono::steady_clock::now() - t0, 3s);
    EXPECT_EQ(TWeave::LineErrorText(static_cast<int>(drv.errorFlags())), "I/O Error");
}

TEST_F(Link, ClosedPortResults) {
    Tjx3 drv(env());
    EXPECT_FALSE(drv.WriteCommand("Z"));
    EXPECT_EQ(drv.SendFrame(2, 0, 0), kStopped);
    EXPECT_EQ(drv.ReadResponse(100), kNotOpen);
    Tolm olm(env());
    EXPECT_FALSE(olm.WriteCommand("M)D14.50K0"));
    EXPECT_EQ(olm.ReadResponse(100), kNotOpen);
    EXPECT_EQ(olm.SendFrame(2, 0, 0), kOk);  // the shaft loom has no frames
    EXPECT_TRUE(ui.boxes.empty());
    EXPECT_TRUE(drv.ClosePort());
}

TEST_F(Link, OpenFailureNamesTheDevice) {
    Tjx3 drv(env());
    EXPECT_FALSE(drv.OpenPort(7, false));
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].text.rfind(
                  "ComPort open failed: /dev/wp-no-such-port: No such file or directory. ", 0),
              0u)
        << ui.boxes[0].text;
    EXPECT_FALSE(drv.portOpen());
}

TEST_F(Link, SecondOpenOfAPortIsRefusedNamingItsHolder) {
    Tjx3 first(env());
    ASSERT_TRUE(first.OpenPort(1, false));
    Tolm second(env());
    EXPECT_FALSE(second.OpenPort(1, false));
    ASSERT_EQ(ui.boxes.size(), 1u);
    const std::string self = "(process " + std::to_string(::getpid()) + ")";
    EXPECT_EQ(ui.boxes[0].text, "ComPort open failed: " + peer.slavePath() +
                                    ": Device or resource busy. It is in use by " + readComm() +
                                    " " + self + ": close that program first.");
    // Free once the first lets go.
    ASSERT_TRUE(first.ClosePort());
    EXPECT_TRUE(second.OpenPort(1, false));
}

TEST_F(Link, OpenFailuresSayWhatToDo) {
    // A missing device: the ports that are there.
    const std::string missing = openFailureHint("/dev/wp-none", ENOENT, "");
    const std::vector<std::string> ports = serialDevices();
    if (ports.empty()) {
        EXPECT_EQ(missing, "No serial port is connected to this computer.");
    } else {
        EXPECT_EQ(missing.rfind("Serial ports on this computer: " + ports[0], 0), 0u) << missing;
    }
    // No permission: the group that owns the device, by name.
    const std::string file = logPath + ".dev";
    std::ofstream(file) << "";
    const group* g = ::getgrnam("dialout");
    if (!g) g = ::getgrgid(::getgid());
    ASSERT_NE(g, nullptr);
    const std::string name = g->gr_name;
    ASSERT_EQ(::chown(file.c_str(), static_cast<uid_t>(-1), g->gr_gid), 0);
    EXPECT_EQ(openFailureHint(file, EACCES, ""), "It belongs to the group " + name +
                                                     ": add your user to it (sudo usermod -aG " +
                                                     name + " $USER), then log in again.");
    std::filesystem::remove(file);
    EXPECT_EQ(openFailureHint(file, EBUSY, ""),
              "It is in use by another program: close that program first.");
    EXPECT_EQ(openFailureHint(file, EIO, ""), "");
}

TEST_F(Link, InputLeftOnTheLineBeforeTheOpenIsDiscarded) {
    // Junk waits in the port before the driver opens it.
    const int raw = ::open(peer.slavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(raw, 0);
    peer.send("Q\r\n");
    pollfd p{raw, POLLIN, 0};
    ASSERT_EQ(::poll(&p, 1, 2000), 1);
    ::close(raw);
    Tolm drv(env());
    ASSERT_TRUE(drv.OpenPort(1, false));
    EXPECT_EQ(drv.ReadResponse(100), kOk);
    EXPECT_EQ(drv.receivedCount(), 0u);
    EXPECT_NE(drv.ResponseByte(0), 'Q');
}

TEST_F(Link, TextModeReadDropsLineEnds) {
    peer.setHandler([](const std::string&) { return std::string("OK\r\n>"); });
    Tjx3 drv(env());
    ASSERT_TRUE(drv.OpenPort(1, true));
    ASSERT_TRUE(drv.WriteCommand("U"));
    EXPECT_EQ(drv.ReadResponse(1000), kOk);
    EXPECT_EQ(drv.receivedCount(), 3u);
    EXPECT_EQ(drv.response(), "OK>");
    EXPECT_EQ(logText(), "P01 U\r\nR03 OK>\r\n");
}

TEST_F(Link, OlmCommandIsEchoedByteByByte) {
    // Echo everything; after the CR answer with the letter.
    peer.setHandler([](const std::string& chunk) {
        std::string out = chunk;
        if (chunk.find('\r') != std::string::npos) out += "xA\r\n";
        return out;
    });
    Tolm drv(env());
    ASSERT_TRUE(drv.OpenPort(1, false));
    peer.send("junk");  // stale input is discarded before the command
    ASSERT_TRUE(peer.waitReceived(0, 10));
    std::this_thread::sleep_for(20ms);
    EXPECT_TRUE(drv.WriteCommand("M)D14.50K0AB"));
    EXPECT_EQ(drv.ResponseByte(0), 'A');
    EXPECT_EQ(peer.received(), "M)D14.50K0AB\r");
    const std::string text = logText();
    EXPECT_NE(text.find("F04 6A756E6B\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("P12 M)D14.50K0AB\r\nE13 M)D14.50K0AB<D>\r\n"), std::string::npos) << text;
    EXPECT_TRUE(ui.boxes.empty()) << ui.boxes[0].text;
}

TEST_F(Link, OlmResponseLetterSearch) {
    Tolm drv(env());
    ASSERT_TRUE(drv.OpenPort(1, false));
    const std::pair<std::string, char> cases[] = {
        {"xRyA", 'A'}, {"AxR", 'A'}, {"R", 'R'}, {"xA\x07", 'x'}, {"Rq\r\n", 'R'}, {"abc", 'a'},
    };
    for (const auto& [answer, letter] : cases) {
        peer.send(answer);
        EXPECT_EQ(drv.ReadResponse(1000), kOk);
        EXPECT_EQ(drv.ResponseByte(0), static_cast<uint8_t>(letter))
            << answer << " got " << drv.receivedCount();
    }
}

TEST(LogLine, FormsAndLimits) {
    const uint8_t frame[] = {0x08, 0x01, 0x09};
    EXPECT_EQ(TWeave::formatLogLine('R', frame, 3, true), "R03 080109\r\n");
    const uint8_t text[] = {'A', 0x0D, 0x07, 'z'};
    EXPECT_EQ(TWeave::formatLogLine('E', text, 4, false), "E04 A<D><7>z\r\n");
    std::vector<uint8_t> big(200, 0xAB);
    const std::string line = TWeave::formatLogLine('C', big.data(), big.size(), true);
    EXPECT_EQ(line.size(), 260u);  // count mod 100, data cut to fit
    EXPECT_EQ(line.substr(0, 4), "C00 ");
    std::vector<uint8_t> ctl(100, 0x01);
    EXPECT_LE(TWeave::formatLogLine('P', ctl.data(), ctl.size(), false).size(), 260u);
}

TEST(LineErrors, OneFlagAtATime) {
    EXPECT_EQ(TWeave::LineErrorText(0x0001), "Receive Buffer Ovverrun");
    EXPECT_EQ(TWeave::LineErrorText(0x0002), "Buffer Overrun");
    EXPECT_EQ(TWeave::LineErrorText(0x0004), "Parity Error");
    EXPECT_EQ(TWeave::LineErrorText(0x0008), "Frame Error");
    EXPECT_EQ(TWeave::LineErrorText(0x0010), "Line Break");
    EXPECT_EQ(TWeave::LineErrorText(0x0400), "I/O Error");
    EXPECT_EQ(TWeave::LineErrorText(0x8000), "No such device");
    EXPECT_EQ(TWeave::LineErrorText(0x0018), "");
    EXPECT_EQ(TWeave::LineErrorText(0), "");
    EXPECT_EQ(TWeave::LineErrorText(-1), "");
}

}  // namespace
}  // namespace wp
