#include "tests/support/ptypeer.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>

namespace wp::test {

PtyPeer::PtyPeer() {
    char name[256] = {};
    if (::openpty(&master_, &slave_, name, nullptr, nullptr) != 0)
        throw std::runtime_error("openpty failed");
    slavePath_ = name;
    termios t{};
    ::tcgetattr(slave_, &t);
    ::cfmakeraw(&t);
    ::tcsetattr(slave_, TCSANOW, &t);
    if (::pipe(wake_) != 0) throw std::runtime_error("pipe failed");
    thread_ = std::thread([this] { loop(); });
}

PtyPeer::~PtyPeer() {
    const char c = 'q';
    [[maybe_unused]] auto n = ::write(wake_[1], &c, 1);
    thread_.join();
    if (master_ >= 0) ::close(master_);
    ::close(slave_);
    ::close(wake_[0]);
    ::close(wake_[1]);
}

void PtyPeer::setHandler(Handler h) {
    std::lock_guard<std::mutex> lock(mu_);
    handler_ = std::move(h);
}

void PtyPeer::send(const std::string& bytes) {
    std::lock_guard<std::mutex> lock(mu_);
    if (master_ >= 0) [[maybe_unused]]
        auto n = ::write(master_, bytes.data(), bytes.size());
}

std::string PtyPeer::received() {
    std::lock_guard<std::mutex> lock(mu_);
    return received_;
}

bool PtyPeer::waitReceived(size_t n, int ms) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < until) {
        if (received().size() >= n) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return received().size() >= n;
}

void PtyPeer::hangUp() {
    std::lock_guard<std::mutex> lock(mu_);
    if (master_ >= 0) ::close(master_);
    master_ = -1;
    // The slave must go too, or the line never hangs up.
    ::close(slave_);
    slave_ = ::open("/dev/null", O_RDONLY);
}

void PtyPeer::loop() {
    for (;;) {
        int fd;
        {
            std::lock_guard<std::mutex> lock(mu_);
            fd = master_;
        }
        pollfd p[2] = {{wake_[0], POLLIN, 0}, {fd, POLLIN, 0}};
        if (::poll(p, fd >= 0 ? 2 : 1, 20) < 0) continue;
        if (p[0].revents) return;
        if (fd < 0 || !(p[1].revents & POLLIN)) continue;
        char buf[512];
        std::lock_guard<std::mutex> lock(mu_);
        if (master_ < 0) continue;
        const ssize_t n = ::read(master_, buf, sizeof buf);
        if (n <= 0) continue;
        const std::string chunk(buf, static_cast<size_t>(n));
        received_ += chunk;
        if (handler_) {
            const std::string answer = handler_(chunk);
            if (!answer.empty()) [[maybe_unused]]
                auto w = ::write(master_, answer.data(), answer.size());
        }
    }
}

}  // namespace wp::test
