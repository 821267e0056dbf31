#include "sim/loomsim.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>
#include <array>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>

#include "sim/jx3engine.h"
#include "sim/olmengine.h"

namespace wp::sim {

namespace {

using namespace std::chrono_literals;

constexpr std::size_t kReadChunk = 4096;
// A host that stops reading must not make us grow without bound.
constexpr std::size_t kMaxPendingTx = std::size_t{1} << 20;
constexpr auto kFinalFlush = 200ms;
constexpr auto kMasterRetry = 100ms;
constexpr auto kLingerAfterHangup = 500ms;
constexpr auto kLingerAfterFinish = 1000ms;

Clock::duration byteTimeFor(const LoomSimOptions& options) {
    if (!options.baudPace) return Clock::duration::zero();
    // 10 bits per byte on the wire: start, 7 or 8 data, parity or not, stop.
    const long long baud = options.loom == LoomType::Jx3 ? 19200 : 4800;
    return std::chrono::duration_cast<Clock::duration>(
        std::chrono::nanoseconds(10LL * 1000000000LL / baud));
}

std::string describeBytes(const std::string& bytes) {
    bool text = !bytes.empty();
    for (unsigned char c : bytes)
        text = text && ((c >= 0x20 && c < 0x7F) || c == '\r' || c == '\n');
    std::string out;
    char buffer[8];
    if (text) {
        out = "\"";
        for (char c : bytes) out += c == '\r' ? "\\r" : c == '\n' ? "\\n" : std::string(1, c);
        return out + "\"";
    }
    for (unsigned char c : bytes) {
        std::snprintf(buffer, sizeof buffer, "%s%02X", out.empty() ? "" : " ", c);
        out += buffer;
    }
    return out;
}

std::string systemError(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

bool addFlags(int fd, int statusFlags, int fdFlags) {
    const int status = fcntl(fd, F_GETFL);
    const int descriptor = fcntl(fd, F_GETFD);
    return status >= 0 && descriptor >= 0 && fcntl(fd, F_SETFL, status | statusFlags) == 0 &&
           fcntl(fd, F_SETFD, descriptor | fdFlags) == 0;
}

void closeFd(int& fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
}

}  // namespace

struct LoomSim::Impl final : EngineContext {
    explicit Impl(LoomSimOptions o) : options(std::move(o)), byteTime(byteTimeFor(options)) {}
    ~Impl() override { closeAll(); }
    Impl(const Impl&) = delete;
    Impl& operator=(const Impl&) = delete;

    Status open();
    // Creates the pseudo-terminal (and the link to it).
    Status openLine();
    RunResult run();
    void closeAll();

    // EngineContext; called on the run loop's thread with the mutex held.
    void send(TimePoint due, std::string bytes, bool logIt) override;
    void at(TimePoint when, std::function<void(TimePoint)> fn) override;
    Clock::duration lineTime(std::size_t bytes) const override;
    void hangUp(TimePoint when) override;
    void unplug(TimePoint when, Clock::duration away) override;
    void finish(TimePoint when) override;
    void pickWoven(WovenPick pick) override;
    void storeWritten(int index, const StoreEntry& entry) override;
    void log(const std::string& line) override;
    void tell(const std::string& line) override;

    void emit(const std::string& bytes, TimePoint when, bool logIt);
    void fireTimers(TimePoint now);
    void deliver(const std::uint8_t* bytes, std::size_t count, TimePoint now);
    void readMaster(TimePoint now, short revents);
    void readEnter(TimePoint now);
    void flushTx();
    void finalFlush();
    void lingerForHost(Clock::duration cap);
    void closeLine();
    void removeLink();
    void rewriteRecord();
    void recordFailed(const Status& status);
    Status pictureLocked(const std::string& path) const;
    void wake() noexcept;

    const LoomSimOptions options;
    const Clock::duration byteTime;
    mutable std::mutex mutex;
    std::unique_ptr<Engine> engine;

    // Run-loop state.
    std::multimap<TimePoint, std::function<void(TimePoint)>> timers;
    std::string tx;
    TimePoint txFree{};
    TimePoint rxClock{};
    TimePoint masterQuietUntil{};
    TimePoint started{};
    bool enterOpen = true;
    bool hangupDue = false;
    bool finishDue = false;
    bool txOverflowLogged = false;

    int master = -1;
    int slave = -1;
    int wakeRead = -1;
    std::atomic<int> wakeWrite{-1};
    std::atomic<bool> stopRequested{false};
    std::atomic<bool> pictureRequested{false};
    std::string device;
    bool linkMade = false;
    bool opened = false;
    bool ran = false;
    bool running = false;
    bool hungUp = false;
    bool unplugged = false;  // the device is away (a pulled cable)
    bool lineDown = false;   // the cable is out: nothing the host sends arrives

    std::vector<WovenPick> picks;
    std::array<StoreEntry, kOlmStoreSize> store;
    std::array<bool, kOlmStoreSize> storeUsed{};
    RecordFile record;
    bool recordBroken = false;
};

Status LoomSim::Impl::openLine() {
    master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0) return Status::failure(systemError("posix_openpt"));
    if (grantpt(master) != 0 || unlockpt(master) != 0)
        return Status::failure(systemError("grantpt"));
    char name[128];
    if (ptsname_r(master, name, sizeof name) != 0) return Status::failure(systemError("ptsname"));
    device = name;
    // Holding the slave open keeps the master readable while the host has the port closed.
    slave = ::open(name, O_RDWR | O_NOCTTY);
    if (slave < 0) return Status::failure(systemError("open " + device));
    termios raw{};
    if (tcgetattr(slave, &raw) != 0) return Status::failure(systemError("tcgetattr"));
    cfmakeraw(&raw);
    if (tcsetattr(slave, TCSANOW, &raw) != 0) return Status::failure(systemError("tcsetattr"));
    if (!addFlags(master, O_NONBLOCK, FD_CLOEXEC) || !addFlags(slave, 0, FD_CLOEXEC)) {
        return Status::failure(systemError("fcntl"));
    }
    if (!options.linkPath.empty()) {
        struct stat info {};
        if (lstat(options.linkPath.c_str(), &info) == 0) {
            if (!S_ISLNK(info.st_mode)) {
                return Status::failure(options.linkPath + " exists and is not a symbolic link");
            }
            if (unlink(options.linkPath.c_str()) != 0) {
                return Status::failure(systemError("unlink " + options.linkPath));
            }
        }
        if (symlink(device.c_str(), options.linkPath.c_str()) != 0) {
            return Status::failure(systemError("symlink " + options.linkPath));
        }
        linkMade = true;
    }
    return Status::success();
}

Status LoomSim::Impl::open() {
    if (opened) return Status::failure("already open");
    auto fail = [this](std::string message) {
        closeAll();
        return Status::failure(std::move(message));
    };

    int pipeFds[2];
    if (pipe(pipeFds) != 0) return fail(systemError("pipe"));
    wakeRead = pipeFds[0];
    wakeWrite = pipeFds[1];
    if (!addFlags(pipeFds[0], O_NONBLOCK, FD_CLOEXEC) ||
        !addFlags(pipeFds[1], O_NONBLOCK, FD_CLOEXEC)) {
        return fail(systemError("fcntl"));
    }
    if (Status status = openLine(); !status) return fail(status.error);

    if (!options.recordPath.empty()) {
        if (Status status = record.open(options.recordPath, recordHeader(options)); !status) {
            return fail(status.error);
        }
    }

    if (options.loom == LoomType::Jx3) {
        engine = std::make_unique<Jx3Engine>(options, *this);
    } else {
        engine = std::make_unique<OlmEngine>(options, *this);
    }
    opened = true;
    return Status::success();
}

void LoomSim::Impl::unplug(TimePoint when, Clock::duration away) {
    // From now on the host's bytes go nowhere; what is already on its way to
    // the host still gets there.
    lineDown = true;
    at(when, [this, away](TimePoint t) {
        // The device goes: the host's line hangs up and its name disappears.
        // Whatever was on its way out is lost with it.
        log("device removed");
        flushTx();
        lingerForHost(kLingerAfterHangup);
        closeLine();
        removeLink();
        tx.clear();
        unplugged = true;
        at(t + away, [this](TimePoint) {
            if (Status status = openLine(); !status) {
                std::fprintf(stderr, "weavepilot-loomsim: %s\n", status.error.c_str());
                return;
            }
            unplugged = false;
            lineDown = false;
            log("device back as " + device);
        });
    });
}

RunResult LoomSim::Impl::run() {
    {
        std::lock_guard lock(mutex);
        if (!opened || ran) return {StopReason::Failed, opened ? "run() called twice" : "not open"};
        ran = true;
        running = true;
        started = Clock::now();
        engine->start(started);
    }
    RunResult result;
    while (true) {
        TimePoint now = Clock::now();
        {
            std::lock_guard lock(mutex);
            fireTimers(now);
            if (hangupDue) {
                flushTx();
                lingerForHost(kLingerAfterHangup);
                closeLine();
                hungUp = true;
                result.reason = StopReason::HungUp;
                break;
            }
        }
        if (finishDue) {
            result.reason = StopReason::PicksDone;
            break;
        }
        if (stopRequested.load()) {
            result.reason = StopReason::Requested;
            break;
        }
        if (pictureRequested.exchange(false) && !options.picturePath.empty()) {
            std::lock_guard lock(mutex);
            if (Status status = pictureLocked(options.picturePath); !status) log(status.error);
        }
        flushTx();

        now = Clock::now();
        std::array<pollfd, 3> fds{};
        nfds_t count = 0;
        fds[count++] = {wakeRead, POLLIN, 0};
        const bool pollMaster = now >= masterQuietUntil;
        const nfds_t masterSlot = count;
        if (pollMaster) {
            const short events = static_cast<short>(POLLIN | (tx.empty() ? 0 : POLLOUT));
            fds[count++] = {master, events, 0};
        }
        const nfds_t enterSlot = count;
        const bool pollEnter = options.interactive && enterOpen;
        if (pollEnter) fds[count++] = {options.enterFd, POLLIN, 0};

        std::optional<TimePoint> next;
        if (!timers.empty()) next = timers.begin()->first;
        if (!pollMaster && (!next || masterQuietUntil < *next)) next = masterQuietUntil;
        timespec timeout{};
        timespec* timeoutPtr = nullptr;
        if (next) {
            const auto wait = std::max(Clock::duration::zero(), *next - now);
            const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(wait).count();
            timeout.tv_sec = static_cast<time_t>(ns / 1000000000);
            timeout.tv_nsec = static_cast<long>(ns % 1000000000);
            timeoutPtr = &timeout;
        }
        if (ppoll(fds.data(), count, timeoutPtr, nullptr) < 0) {
            if (errno == EINTR) continue;
            result = {StopReason::Failed, systemError("ppoll")};
            break;
        }
        now = Clock::now();
        if (fds[0].revents & POLLIN) {
            char drain[64];
            while (::read(wakeRead, drain, sizeof drain) > 0) {
            }
        }
        if (pollMaster && fds[masterSlot].revents != 0) readMaster(now, fds[masterSlot].revents);
        if (pollEnter && fds[enterSlot].revents != 0) readEnter(now);
    }
    if (result.reason != StopReason::HungUp && result.reason != StopReason::Failed) finalFlush();
    if (result.reason == StopReason::PicksDone) lingerForHost(kLingerAfterFinish);

    std::lock_guard lock(mutex);
    running = false;
    if (!options.picturePath.empty()) {
        if (Status status = pictureLocked(options.picturePath); !status) {
            std::fprintf(stderr, "weavepilot-loomsim: %s\n", status.error.c_str());
        }
    }
    return result;
}

void LoomSim::Impl::fireTimers(TimePoint now) {
    while (!timers.empty() && timers.begin()->first <= now && !hangupDue) {
        // Taken out first: a timer may add timers.
        const auto first = timers.begin();
        const TimePoint when = first->first;
        auto action = std::move(first->second);
        timers.erase(first);
        action(when);
    }
}

void LoomSim::Impl::readMaster(TimePoint now, short revents) {
    std::uint8_t buffer[kReadChunk];
    const ssize_t got = ::read(master, buffer, sizeof buffer);
    if (got > 0) {
        std::lock_guard lock(mutex);
        deliver(buffer, static_cast<std::size_t>(got), now);
        return;
    }
    const bool hangup = (revents & (POLLHUP | POLLERR)) != 0;
    if (got < 0 && (errno == EAGAIN || errno == EINTR) && !hangup) return;
    // EIO or end of file: nobody holds the slave. We keep it open, so this should not last;
    // look again later rather than spin.
    masterQuietUntil = now + kMasterRetry;
}

void LoomSim::Impl::deliver(const std::uint8_t* bytes, std::size_t count, TimePoint now) {
    if (lineDown) return;
    if (byteTime == Clock::duration::zero()) {
        for (std::size_t i = 0; i < count; ++i) engine->onByte(bytes[i], now);
        return;
    }
    // Each byte is handled when it would have finished arriving on the real line.
    for (std::size_t i = 0; i < count; ++i) {
        rxClock = std::max(now, rxClock + byteTime);
        const std::uint8_t byte = bytes[i];
        at(rxClock, [this, byte](TimePoint t) { engine->onByte(byte, t); });
    }
}

void LoomSim::Impl::readEnter(TimePoint now) {
    char buffer[256];
    const ssize_t got = ::read(options.enterFd, buffer, sizeof buffer);
    if (got == 0 || (got < 0 && errno != EAGAIN && errno != EINTR)) {
        enterOpen = false;
        tell("no more input: picks will wait forever");
        return;
    }
    std::lock_guard lock(mutex);
    for (ssize_t i = 0; i < got; ++i) {
        if (buffer[i] == '\n') engine->onEnter(now);
    }
}

void LoomSim::Impl::flushTx() {
    while (!tx.empty() && master >= 0) {
        const ssize_t written = ::write(master, tx.data(), tx.size());
        if (written > 0) {
            tx.erase(0, static_cast<std::size_t>(written));
        } else if (written < 0 && errno == EINTR) {
            continue;
        } else {
            if (written < 0 && errno != EAGAIN) {
                log(systemError("write"));
                tx.clear();
            }
            return;
        }
    }
}

void LoomSim::Impl::finalFlush() {
    const TimePoint deadline = Clock::now() + kFinalFlush;
    while (!tx.empty() && master >= 0 && Clock::now() < deadline) {
        flushTx();
        pollfd fd{master, POLLOUT, 0};
        if (!tx.empty()) poll(&fd, 1, 10);
    }
}

void LoomSim::Impl::lingerForHost(Clock::duration cap) {
    // Closing the master throws away whatever the host has not read yet, such as the last
    // woven message, so wait (bounded) until the slave's input queue is empty.
    const TimePoint deadline = Clock::now() + cap;
    poll(nullptr, 0, 20);  // the kernel hands written bytes to the slave asynchronously
    while (slave >= 0 && Clock::now() < deadline) {
        int queued = 0;
        if (ioctl(slave, FIONREAD, &queued) != 0 || queued == 0) return;
        poll(nullptr, 0, 5);
    }
}

void LoomSim::Impl::closeLine() {
    closeFd(master);
    closeFd(slave);
}

void LoomSim::Impl::removeLink() {
    if (!linkMade) return;
    linkMade = false;
    // Only remove the link if it is still ours; another simulator may have taken the name.
    char target[PATH_MAX];
    const ssize_t length = readlink(options.linkPath.c_str(), target, sizeof target - 1);
    if (length > 0 && std::string(target, static_cast<std::size_t>(length)) == device) {
        unlink(options.linkPath.c_str());
    }
}

void LoomSim::Impl::closeAll() {
    closeLine();
    closeFd(wakeRead);
    int writeEnd = wakeWrite.exchange(-1);
    closeFd(writeEnd);
    removeLink();
    record.close();
}

void LoomSim::Impl::wake() noexcept {
    const int fd = wakeWrite.load();
    if (fd < 0) return;
    const int saved = errno;
    const char byte = 'w';
    [[maybe_unused]] const ssize_t ignored = ::write(fd, &byte, 1);
    errno = saved;
}

void LoomSim::Impl::send(TimePoint due, std::string bytes, bool logIt) {
    at(due, [this, bytes = std::move(bytes), logIt](TimePoint t) { emit(bytes, t, logIt); });
}

void LoomSim::Impl::emit(const std::string& bytes, TimePoint when, bool logIt) {
    if (unplugged) return;
    if (logIt) log("tx " + describeBytes(bytes));
    if (tx.size() + bytes.size() > kMaxPendingTx) {
        if (!txOverflowLogged) {
            std::fprintf(stderr, "weavepilot-loomsim: the host is not reading; dropping output\n");
        }
        txOverflowLogged = true;
        return;
    }
    if (byteTime == Clock::duration::zero()) {
        tx += bytes;
        return;
    }
    const TimePoint first = std::max(when, txFree);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        at(first + byteTime * static_cast<long>(i), [this, c = bytes[i]](TimePoint) { tx += c; });
    }
    txFree = first + byteTime * static_cast<long>(bytes.size());
}

void LoomSim::Impl::at(TimePoint when, std::function<void(TimePoint)> fn) {
    // Equal times keep their order: multimap inserts after equal keys.
    timers.emplace(when, std::move(fn));
}

Clock::duration LoomSim::Impl::lineTime(std::size_t bytes) const {
    return byteTime * static_cast<long>(bytes);
}

void LoomSim::Impl::hangUp(TimePoint when) {
    at(when, [this](TimePoint) { hangupDue = true; });
}

void LoomSim::Impl::finish(TimePoint when) {
    // With pacing, bytes queued before the stop may still be on their way out: let them go.
    at(when, [this](TimePoint t) {
        if (txFree > t) {
            finish(txFree);
        } else {
            finishDue = true;
        }
    });
}

void LoomSim::Impl::pickWoven(WovenPick pick) {
    picks.push_back(std::move(pick));
    log("woven pick " + std::to_string(picks.size()));
    if (record.isOpen())
        recordFailed(record.appendLine(formatPickLine(picks.size(), picks.back())));
}

void LoomSim::Impl::storeWritten(int index, const StoreEntry& entry) {
    store[static_cast<std::size_t>(index)] = entry;
    storeUsed[static_cast<std::size_t>(index)] = true;
    rewriteRecord();
}

void LoomSim::Impl::rewriteRecord() {
    if (options.recordPath.empty() || recordBroken) return;
    std::string content = recordHeader(options);
    for (std::size_t i = 0; i < store.size(); ++i) {
        if (storeUsed[i]) content += formatStoreLine(i, store[i]) + "\n";
    }
    for (std::size_t i = 0; i < picks.size(); ++i) {
        content += formatPickLine(i + 1, picks[i]) + "\n";
    }
    recordFailed(record.rewrite(content));
}

void LoomSim::Impl::recordFailed(const Status& status) {
    if (status || recordBroken) return;
    recordBroken = true;
    std::fprintf(stderr, "weavepilot-loomsim: %s\n", status.error.c_str());
}

void LoomSim::Impl::log(const std::string& line) {
    if (!options.log) return;
    const double seconds = std::chrono::duration<double>(Clock::now() - started).count();
    std::fprintf(stderr, "[%9.3f] %s\n", seconds, line.c_str());
}

void LoomSim::Impl::tell(const std::string& line) {
    if (options.interactive) std::fprintf(stderr, "%s\n", line.c_str());
}

Status LoomSim::Impl::pictureLocked(const std::string& path) const {
    return wp::sim::writePicture(path, clothPicture(picks, clothWidth(options, picks)));
}

LoomSim::LoomSim(LoomSimOptions options) : impl_(std::make_unique<Impl>(std::move(options))) {}

LoomSim::~LoomSim() = default;

Status LoomSim::open() {
    return impl_->open();
}

std::string LoomSim::devicePath() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->device;
}

RunResult LoomSim::run() {
    return impl_->run();
}

void LoomSim::requestStop() noexcept {
    impl_->stopRequested.store(true);
    impl_->wake();
}

void LoomSim::requestPicture() noexcept {
    impl_->pictureRequested.store(true);
    impl_->wake();
}

void LoomSim::close() {
    impl_->closeAll();
}

const LoomSimOptions& LoomSim::options() const {
    return impl_->options;
}

SimState LoomSim::state() const {
    std::lock_guard lock(impl_->mutex);
    SimState state;
    state.loom = impl_->options.loom;
    if (impl_->engine) impl_->engine->fillState(state);
    state.running = impl_->running;
    state.hungUp = impl_->hungUp;
    state.picksWoven = impl_->picks.size();
    return state;
}

std::vector<WovenPick> LoomSim::wovenPicks() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->picks;
}

std::vector<std::pair<int, StoreEntry>> LoomSim::olmStore() const {
    std::lock_guard lock(impl_->mutex);
    std::vector<std::pair<int, StoreEntry>> entries;
    for (std::size_t i = 0; i < impl_->store.size(); ++i) {
        if (impl_->storeUsed[i]) entries.emplace_back(static_cast<int>(i), impl_->store[i]);
    }
    return entries;
}

Status LoomSim::writePicture(const std::string& path) const {
    std::lock_guard lock(impl_->mutex);
    return impl_->pictureLocked(path);
}

}  // namespace wp::sim
