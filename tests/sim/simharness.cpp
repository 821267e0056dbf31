#include "tests/sim/simharness.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace wp::sim::test {

std::string jx3Frame(std::uint8_t code, std::uint8_t parameter, const std::string& data) {
    std::string frame{static_cast<char>(code), static_cast<char>(parameter)};
    frame += data;
    std::uint8_t check = 0;
    for (char c : frame) check ^= static_cast<std::uint8_t>(c);
    frame += static_cast<char>(check);
    return frame;
}

std::string hexOf(const std::string& bytes) {
    std::string out;
    char text[4];
    for (unsigned char c : bytes) {
        std::snprintf(text, sizeof text, "%s%02X", out.empty() ? "" : " ", c);
        out += text;
    }
    return out;
}

TempPath::TempPath(const std::string& suffix) {
    static std::atomic<int> counter{0};
    const char* dir = std::getenv("TMPDIR");
    path_ = std::string(dir != nullptr ? dir : "/tmp") + "/loomsim-test-" +
            std::to_string(getpid()) + "-" + std::to_string(counter++) + suffix;
}

TempPath::~TempPath() {
    std::remove(path_.c_str());
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream content;
    content << in.rdbuf();
    return content.str();
}

SimHarness::SimHarness(LoomSimOptions options) : sim_(std::move(options)) {
    if (Status status = sim_.open(); !status) {
        error_ = "open: " + status.error;
        return;
    }
    thread_ = std::thread([this] { result_ = sim_.run(); });
    fd_ = ::open(sim_.devicePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios raw{};
    if (fd_ < 0 || tcgetattr(fd_, &raw) != 0) {
        error_ = "cannot open " + sim_.devicePath();
        return;
    }
    cfmakeraw(&raw);
    tcsetattr(fd_, TCSANOW, &raw);
}

SimHarness::~SimHarness() {
    stop();
    if (fd_ >= 0) ::close(fd_);
}

void SimHarness::write(const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        done += static_cast<std::size_t>(n);
    }
}

std::string SimHarness::read(std::size_t count, Millis timeout) {
    std::string out;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (out.size() < count) {
        const auto left =
            std::chrono::duration_cast<Millis>(deadline - std::chrono::steady_clock::now());
        if (left.count() < 0) break;
        pollfd fd{fd_, POLLIN, 0};
        if (poll(&fd, 1, static_cast<int>(left.count()) + 1) <= 0) break;
        if (fd.revents & POLLIN) {
            char buffer[256];
            const std::size_t want = std::min(sizeof buffer, count - out.size());
            const ssize_t n = ::read(fd_, buffer, want);
            if (n <= 0) break;
            out.append(buffer, static_cast<std::size_t>(n));
        } else if (fd.revents & (POLLHUP | POLLERR)) {
            break;
        }
    }
    return out;
}

std::string SimHarness::readUntil(const std::string& terminator, Millis timeout) {
    std::string out;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (out.size() < terminator.size() ||
           out.compare(out.size() - terminator.size(), terminator.size(), terminator) != 0) {
        const auto left =
            std::chrono::duration_cast<Millis>(deadline - std::chrono::steady_clock::now());
        if (left.count() < 0) break;
        const std::string next = read(1, left);
        if (next.empty()) break;
        out += next;
    }
    return out;
}

bool SimHarness::quietFor(Millis period) {
    pollfd fd{fd_, POLLIN, 0};
    return poll(&fd, 1, static_cast<int>(period.count())) == 0;
}

bool SimHarness::waitHangup(Millis timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline) {
        pollfd fd{fd_, POLLIN, 0};
        if (poll(&fd, 1, 10) <= 0) continue;
        if (fd.revents & (POLLHUP | POLLERR)) return true;
        char byte;
        const ssize_t n = ::read(fd_, &byte, 1);
        if (n == 0 || (n < 0 && errno == EIO)) return true;
    }
    return false;
}

RunResult SimHarness::stop() {
    if (!joined_ && thread_.joinable()) {
        sim_.requestStop();
        thread_.join();
        joined_ = true;
    }
    return result_;
}

}  // namespace wp::sim::test
