// Serial port on POSIX termios. Ports are opened non-blocking and every wait is
// a poll() with the remaining time, so read time-outs behave like a controller
// port's interval and total limits.
#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

#include "loom/serialport.h"

namespace wp {
namespace {

using Clock = std::chrono::steady_clock;

speed_t speedFor(int baud) {
    switch (baud) {
        case 1200:
            return B1200;
        case 2400:
            return B2400;
        case 4800:
            return B4800;
        case 9600:
            return B9600;
        case 19200:
            return B19200;
        case 38400:
            return B38400;
        case 57600:
            return B57600;
        case 115200:
            return B115200;
        default:
            return B0;
    }
}

int baudFor(speed_t s) {
    switch (s) {
        case B1200:
            return 1200;
        case B2400:
            return 2400;
        case B4800:
            return 4800;
        case B9600:
            return 9600;
        case B19200:
            return 19200;
        case B38400:
            return 38400;
        case B57600:
            return 57600;
        case B115200:
            return 115200;
        default:
            return 0;
    }
}

int msLeft(Clock::time_point until) {
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now()).count();
    return ms < 0 ? 0 : static_cast<int>(ms);
}

class PosixSerialPort final : public SerialPort {
public:
    explicit PosixSerialPort(PortResolver resolve) : resolve_(std::move(resolve)) {}
    ~PosixSerialPort() override { close(); }

    bool open(const std::string& name) override {
        close();
        path_ = resolve_ ? resolve_(name) : name;
        fd_ = ::open(path_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd_ < 0) {
            lastError_ = errno;
            return false;
        }
        if (!::isatty(fd_)) {
            lastError_ = ENOTTY;
            ::close(fd_);
            fd_ = -1;
            return false;
        }
        hungUp_ = false;
        haveCounts_ = ::ioctl(fd_, TIOCGICOUNT, &counts_) == 0;
        return true;
    }

    bool isOpen() const override { return fd_ >= 0; }

    bool close() override {
        if (fd_ < 0) return true;
        const bool ok = ::close(fd_) == 0;
        fd_ = -1;
        return ok;
    }

    bool getLineSettings(LineSettings& ls) override {
        termios t{};
        if (!fail(::tcgetattr(fd_, &t))) return false;
        ls.baudRate = baudFor(cfgetospeed(&t));
        ls.dataBits = (t.c_cflag & CSIZE) == CS7   ? 7
                      : (t.c_cflag & CSIZE) == CS6 ? 6
                      : (t.c_cflag & CSIZE) == CS5 ? 5
                                                   : 8;
        ls.parity = !(t.c_cflag & PARENB)  ? Parity::None
                    : (t.c_cflag & PARODD) ? Parity::Odd
                                           : Parity::Even;
        ls.stopBits = (t.c_cflag & CSTOPB) ? 2 : 1;
        ls.parityCheck = t.c_iflag & INPCK;
        ls.ctsOutFlow = t.c_cflag & CRTSCTS;
        ls.xonXoff = t.c_iflag & IXON;
        return true;
    }

    bool setLineSettings(const LineSettings& ls) override {
        termios t{};
        if (!fail(::tcgetattr(fd_, &t))) return false;
        ::cfmakeraw(&t);
        // Whatever another program left on: no software flow control and no
        // parity marking inside binary frames.
        t.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY | INPCK | PARMRK);
        const speed_t sp = speedFor(ls.baudRate);
        if (sp == B0) {
            lastError_ = EINVAL;
            return false;
        }
        ::cfsetispeed(&t, sp);
        ::cfsetospeed(&t, sp);
        t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
        t.c_cflag |= CREAD | CLOCAL;
        t.c_cflag |= ls.dataBits == 7 ? CS7 : ls.dataBits == 6 ? CS6 : ls.dataBits == 5 ? CS5 : CS8;
        if (ls.parity != Parity::None) t.c_cflag |= PARENB;
        if (ls.parity == Parity::Odd) t.c_cflag |= PARODD;
        if (ls.stopBits == 2) t.c_cflag |= CSTOPB;
        if (ls.ctsOutFlow) t.c_cflag |= CRTSCTS;
        if (ls.parityCheck) t.c_iflag |= INPCK;
        if (ls.xonXoff) t.c_iflag |= IXON | IXOFF;
        t.c_cc[VMIN] = 0;
        t.c_cc[VTIME] = 0;
        if (!fail(::tcsetattr(fd_, TCSANOW, &t))) return false;
        // Modem lines: a pseudo-terminal or a three-wire adapter has none, so a
        // refusal here is not an error.
        setModemLine(TIOCM_DTR, ls.dtr != DtrControl::Disable);
        setModemLine(TIOCM_RTS, ls.rts != RtsControl::Disable);
        return true;
    }

    bool getTimeouts(Timeouts& t) override {
        if (fd_ < 0) return false;
        t = timeouts_;
        return true;
    }

    bool setTimeouts(const Timeouts& t) override {
        if (fd_ < 0) return false;
        timeouts_ = t;
        return true;
    }

    // The kernel keeps its own queues; nothing to size.
    bool setupQueues(uint32_t, uint32_t) override { return fd_ >= 0; }

    bool clearError(PortStatus& st) override {
        st = PortStatus{};
        if (fd_ < 0) return false;
        if (haveCounts_) {
            serial_icounter_struct now{};
            if (::ioctl(fd_, TIOCGICOUNT, &now) == 0) {
                if (now.buf_overrun != counts_.buf_overrun) st.flags |= kErrRxOver;
                if (now.overrun != counts_.overrun) st.flags |= kErrOverrun;
                if (now.parity != counts_.parity) st.flags |= kErrParity;
                if (now.frame != counts_.frame) st.flags |= kErrFrame;
                if (now.brk != counts_.brk) st.flags |= kErrBreak;
                counts_ = now;
            }
        }
        int n = 0;
        if (::ioctl(fd_, FIONREAD, &n) == 0 && n > 0) st.inQueue = static_cast<uint32_t>(n);
        n = 0;
        if (::ioctl(fd_, TIOCOUTQ, &n) == 0 && n > 0) st.outQueue = static_cast<uint32_t>(n);
        if (st.inQueue == 0) {
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL)))
                hungUp_ = true;
        }
        // A line that has hung up stays in error until the port is reopened.
        if (hungUp_) st.flags |= kErrIO;
        return true;
    }

    bool purgeInput() override { return fail(::tcflush(fd_, TCIFLUSH)); }

    bool read(uint8_t* buf, size_t count, size_t& got) override {
        got = 0;
        if (fd_ < 0) {
            lastError_ = EBADF;
            return false;
        }
        const uint64_t total =
            uint64_t{timeouts_.readTotalMultiplier} * count + timeouts_.readTotalConstant;
        const bool noTotal = total == 0;
        const auto deadline = Clock::now() + std::chrono::milliseconds(total);
        auto lastByte = Clock::now();
        while (got < count) {
            const ssize_t r = ::read(fd_, buf + got, count - got);
            if (r > 0) {
                got += static_cast<size_t>(r);
                lastByte = Clock::now();
                continue;
            }
            // With VMIN and VTIME 0 a tty read returns 0 when nothing is waiting.
            if (r < 0 && errno == EIO) {
                hungUp_ = true;
                lastError_ = EIO;
                return got > 0;
            }
            if (r < 0 && errno == EINTR) continue;
            if (r < 0 && errno != EAGAIN) {
                lastError_ = errno;
                return false;
            }
            int wait = noTotal ? -1 : msLeft(deadline);
            if (got > 0 && timeouts_.readInterval > 0) {
                const int iv = msLeft(lastByte + std::chrono::milliseconds(timeouts_.readInterval));
                wait = wait < 0 ? iv : std::min(wait, iv);
            }
            if (wait == 0) break;
            pollfd p{fd_, POLLIN, 0};
            const int pr = ::poll(&p, 1, wait);
            if (pr < 0 && errno != EINTR) {
                lastError_ = errno;
                return false;
            }
            if (pr > 0 && !(p.revents & POLLIN) && (p.revents & (POLLHUP | POLLERR))) {
                hungUp_ = true;
                lastError_ = EIO;
                return got > 0;
            }
        }
        return true;
    }

    bool write(const uint8_t* buf, size_t count, size_t& written) override {
        written = 0;
        if (fd_ < 0) {
            lastError_ = EBADF;
            return false;
        }
        const uint64_t total =
            uint64_t{timeouts_.writeTotalMultiplier} * count + timeouts_.writeTotalConstant;
        const auto deadline = Clock::now() + std::chrono::milliseconds(total);
        while (written < count) {
            const ssize_t r = ::write(fd_, buf + written, count - written);
            if (r > 0) {
                written += static_cast<size_t>(r);
                continue;
            }
            if (r < 0 && errno == EINTR) continue;
            if (r < 0 && errno != EAGAIN) {
                if (errno == EIO) hungUp_ = true;
                lastError_ = errno;
                return false;
            }
            const int wait = total == 0 ? -1 : msLeft(deadline);
            if (wait == 0) {
                lastError_ = ETIMEDOUT;
                return false;
            }
            pollfd p{fd_, POLLOUT, 0};
            if (::poll(&p, 1, wait) > 0 && (p.revents & (POLLHUP | POLLERR))) {
                hungUp_ = true;
                lastError_ = EIO;
                return false;
            }
        }
        return true;
    }

    void waitForInput(int ms) override {
        if (fd_ < 0 || ms <= 0) return;
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, ms) > 0 && (p.revents & (POLLHUP | POLLERR))) {
            hungUp_ = true;
            // A hung-up descriptor polls ready at once: sleep instead of spinning.
            ::usleep(static_cast<useconds_t>(ms) * 1000);
        }
    }

    bool hungUp() const override { return fd_ >= 0 && hungUp_; }

    int lastError() const override { return lastError_; }

    std::string errorText(int code) const override { return path_ + ": " + std::strerror(code); }

private:
    bool fail(int rc) {
        if (fd_ < 0) {
            lastError_ = EBADF;
            return false;
        }
        if (rc != 0) lastError_ = errno;
        return rc == 0;
    }

    void setModemLine(int line, bool on) { ::ioctl(fd_, on ? TIOCMBIS : TIOCMBIC, &line); }

    PortResolver resolve_;
    std::string path_;
    int fd_ = -1;
    int lastError_ = 0;
    bool hungUp_ = false;
    bool haveCounts_ = false;
    serial_icounter_struct counts_{};
    Timeouts timeouts_{};
};

}  // namespace

std::unique_ptr<SerialPort> makePosixSerialPort(PortResolver resolve) {
    return std::make_unique<PosixSerialPort>(std::move(resolve));
}

}  // namespace wp
