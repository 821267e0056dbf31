// Serial port on POSIX termios. Ports are opened non-blocking and every wait is
// a poll() with the remaining time, so read time-outs behave like a controller
// port's interval and total limits.
#include <fcntl.h>
#include <grp.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

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

// How long a close waits for the last bytes (a stop frame) to leave.
constexpr auto kDrainLimit = std::chrono::milliseconds(500);

// Unix 98 pseudo-terminal slaves: the simulator's lines, not a device.
bool isPseudoTerminal(dev_t rdev) {
    return major(rdev) >= 136 && major(rdev) <= 143;
}

std::string readFirstLine(const std::string& path) {
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    return line;
}

}  // namespace

std::string portHolder(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return {};
    // Lines such as "1: FLOCK  ADVISORY  WRITE 1234 00:05:312 0 EOF".
    std::ifstream locks("/proc/locks");
    for (std::string line; std::getline(locks, line);) {
        std::istringstream in(line);
        std::string n, kind, mode, access, pid, where;
        if (!(in >> n >> kind >> mode >> access >> pid >> where) || kind != "FLOCK") continue;
        unsigned maj = 0, min = 0;
        unsigned long long ino = 0;
        if (std::sscanf(where.c_str(), "%x:%x:%llu", &maj, &min, &ino) != 3) continue;
        if (maj != major(st.st_dev) || min != minor(st.st_dev) || ino != st.st_ino) continue;
        const std::string name = readFirstLine("/proc/" + pid + "/comm");
        return (name.empty() ? "process " + pid : name + " (process " + pid + ")");
    }
    return {};
}

std::vector<std::string> serialDevices() {
    namespace fs = std::filesystem;
    std::vector<std::string> found;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator("/sys/class/tty", ec)) {
        const std::string name = e.path().filename().string();
        // Only lines with hardware behind them; the legacy ttyS ports all exist
        // but a type of 0 says there is no UART.
        if (!fs::exists(e.path() / "device", ec)) continue;
        if (name.rfind("ttyS", 0) == 0 && readFirstLine((e.path() / "type").string()) == "0")
            continue;
        if (fs::exists("/dev/" + name, ec)) found.push_back("/dev/" + name);
    }
    std::sort(found.begin(), found.end());
    return found;
}

std::string openFailureHint(const std::string& path, int code, const std::string& holder) {
    switch (code) {
        case ENOENT:
        case ENXIO:
        case ENODEV: {
            const std::vector<std::string> devices = serialDevices();
            if (devices.empty()) return "No serial port is connected to this computer.";
            std::string list;
            for (const std::string& d : devices) list += (list.empty() ? "" : ", ") + d;
            return "Serial ports on this computer: " + list + ".";
        }
        case EACCES:
        case EPERM: {
            struct stat st {};
            const group* g = ::stat(path.c_str(), &st) == 0 ? ::getgrgid(st.st_gid) : nullptr;
            if (!g) return "Ask for read and write access to it.";
            const std::string name = g->gr_name;
            return "It belongs to the group " + name + ": add your user to it (sudo usermod -aG " +
                   name + " $USER), then log in again.";
        }
        case EBUSY:
            return "It is in use by " + (holder.empty() ? std::string("another program") : holder) +
                   ": close that program first.";
        default:
            return {};
    }
}

namespace {

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
        holder_.clear();
        fd_ = ::open(path_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd_ < 0) {
            lastError_ = errno;
            if (lastError_ == EBUSY) holder_ = portHolder(path_);
            return false;
        }
        if (!::isatty(fd_)) return refuse(ENOTTY);
        // One program at a time on the loom's line: a second one would reset
        // the controller under a running weave.
        if (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
            holder_ = portHolder(path_);
            return refuse(EBUSY);
        }
        // Programs that do not lock (terminal programs) are kept out too, on a
        // real port. A pseudo-terminal outlives a crashed holder (the
        // simulator keeps it), which would leave it barred.
        struct stat st {};
        exclusive_ =
            ::fstat(fd_, &st) == 0 && !isPseudoTerminal(st.st_rdev) && ::ioctl(fd_, TIOCEXCL) == 0;
        hungUp_ = false;
        haveCounts_ = ::ioctl(fd_, TIOCGICOUNT, &counts_) == 0;
        return true;
    }

    bool isOpen() const override { return fd_ >= 0; }

    bool close() override {
        if (fd_ < 0) return true;
        if (!hungUp_) drain();
        if (exclusive_) ::ioctl(fd_, TIOCNXCL);
        exclusive_ = false;
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

    std::string errorText(int code) const override {
        const std::string hint = openFailureHint(path_, code, holder_);
        return path_ + ": " + std::strerror(code) + (hint.empty() ? "" : ". " + hint);
    }

private:
    bool refuse(int code) {
        lastError_ = code;
        ::close(fd_);
        fd_ = -1;
        return false;
    }

    // The last bytes written (a stop frame) leave before the port closes.
    void drain() {
        const auto until = Clock::now() + kDrainLimit;
        int queued = 0;
        while (::ioctl(fd_, TIOCOUTQ, &queued) == 0 && queued > 0 && Clock::now() < until)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }

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
    bool exclusive_ = false;
    std::string holder_;  // who holds the port, when an open found it busy
    bool haveCounts_ = false;
    serial_icounter_struct counts_{};
    Timeouts timeouts_{};
};

}  // namespace

std::unique_ptr<SerialPort> makePosixSerialPort(PortResolver resolve) {
    return std::make_unique<PosixSerialPort>(std::move(resolve));
}

}  // namespace wp
