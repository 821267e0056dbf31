#include "loom/jx3/jx3.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "loom/jx3/protocol.h"

namespace wp {

using namespace jx3;

const DriverTraits Tjx3::kTraits{
    .hooks = true, .waitsForStop = true, .hasFirmware = true, .hasSelfTest = true};

namespace {

bool isMessage(const uint8_t* m) {
    switch (m[0]) {
        case kTestPassed:
        case kTestFailed:
        case kAccepted:
        case kRejected:
        case kTestLine:
        case kReady:
        case kTestNumber:
            return m[2] == (m[0] ^ m[1]);
        default:
            return false;
    }
}

}  // namespace

void Tjx3::lineOpened() {
    rx_.clear();
    reports_.clear();
    unreported_ = 0;
}

int Tjx3::SendFrame(uint8_t code, uint8_t parameter, uint8_t dataLength) {
    const size_t n = dataLength;
    const size_t length = n + kFrameOverhead;
    commandBuffer_.resize(std::max(commandBuffer_.size(), length));
    commandBuffer_[0] = static_cast<char>(code);
    commandBuffer_[1] = static_cast<char>(parameter);
    uint8_t check = 0;
    for (size_t i = 0; i < n + 2; ++i) check ^= static_cast<uint8_t>(commandBuffer_[i]);
    commandBuffer_[n + 2] = static_cast<char>(check);
    commandLength_ = static_cast<int>(length);
    if (!portOpen()) return kStopped;

    drainInput();
    const auto* frame = reinterpret_cast<const uint8_t*>(commandBuffer_.data());
    for (int attempt = 0;; ++attempt) {
        size_t written = 0;
        if (!port_->write(frame, length, written)) {
            queryStatus();
            return kLineError;
        }
        log('C', frame, length, true);
        const int r = awaitAnswer(code);
        // A rejected frame is sent once more; a second rejection is the caller's.
        if (attempt == 0 && r == kOk && responseBuffer_[0] == kRejected) continue;
        return r;
    }
}

int Tjx3::awaitAnswer(uint8_t code) {
    using Clock = std::chrono::steady_clock;
    takenByReport_ = false;
    const auto due = Clock::now() + std::chrono::milliseconds(kAnswerMs);
    for (;;) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(due - Clock::now()).count();
        // Stop does not cut an answer short: it is read, then the run stops.
        const int r = readMessage(left > 0 ? static_cast<int>(left) : 1, false);
        if (r != kOk || responseBuffer_[0] != kReady) return r;
        const bool woven = responseBuffer_[1] == kPickWoven;
        keepReport(responseBuffer_[1]);
        // A reset is answered by whatever comes.
        if (code == kReset) return kOk;
        // With no pick of the controller's outstanding, the report can only be
        // about this one: its end was taken and the pick is woven already.
        if (code == kEndOfPick && woven && unreported_ == 0) {
            takenByReport_ = true;
            return kOk;
        }
    }
}

void Tjx3::keepReport(uint8_t value) {
    reports_.push_back(value == kPickWoven ? Report::Woven : Report::Ready);
}

void Tjx3::takeInput() {
    queryStatus();
    while (portStatus_.inQueue > 0) {
        std::string chunk(std::min<uint32_t>(portStatus_.inQueue, 256), '\0');
        size_t got = 0;
        port_->read(reinterpret_cast<uint8_t*>(chunk.data()), chunk.size(), got);
        if (got == 0) break;
        rx_.append(chunk, 0, got);
        queryStatus();
    }
}

void Tjx3::drainInput() {
    takeInput();
    std::string stale;
    while (rx_.size() >= kMessageBytes) {
        const auto* m = reinterpret_cast<const uint8_t*>(rx_.data());
        if (isMessage(m) && m[0] == kReady) {
            if (!stale.empty())
                log('R', reinterpret_cast<const uint8_t*>(stale.data()), stale.size(), true);
            stale.clear();
            log('R', m, kMessageBytes, true);
            keepReport(m[1]);
            rx_.erase(0, kMessageBytes);
        } else if (isMessage(m)) {
            stale.append(rx_, 0, kMessageBytes);
            rx_.erase(0, kMessageBytes);
        } else {
            stale += rx_[0];
            rx_.erase(0, 1);
        }
    }
    if (!stale.empty())
        log('R', reinterpret_cast<const uint8_t*>(stale.data()), stale.size(), true);
}

int Tjx3::ReadResponse(int timeoutMs) {
    if (!portOpen()) return kNotOpen;
    return textMode_ ? readText(timeoutMs) : readMessage(timeoutMs, true);
}

int Tjx3::readMessage(int timeoutMs, bool stoppable) {
    if (!portOpen()) return kNotOpen;
    RunFlags& flags = env_.flags;
    receivedCount_ = 0;
    flags.timeOutFlag = false;
    if (timeoutMs > 0) flags.startTimer1(timeoutMs);
    std::string skipped;
    int result = kOk;
    for (;;) {
        flags.pump();
        takeInput();
        // What has come is read before anything ends the wait.
        while (rx_.size() >= kMessageBytes &&
               !isMessage(reinterpret_cast<const uint8_t*>(rx_.data()))) {
            skipped += rx_[0];
            rx_.erase(0, 1);
        }
        if (rx_.size() >= kMessageBytes) break;
        if (stoppable && flags.stopRequest) {
            result = kStopped;
            break;
        }
        if (errorFlags_ != 0 || flags.timeOutFlag) {
            result = kLineError;
            break;
        }
        idle(20);
    }
    if (!skipped.empty())
        log('R', reinterpret_cast<const uint8_t*>(skipped.data()), skipped.size(), true);
    if (result == kOk) {
        std::copy_n(rx_.begin(), kMessageBytes, responseBuffer_.begin());
        rx_.erase(0, kMessageBytes);
        receivedCount_ = kMessageBytes;
        log('R', responseBuffer_.data(), kMessageBytes, true);
    }
    flags.disableTimer1();
    return result;
}

int Tjx3::readText(int timeoutMs) {
    RunFlags& flags = env_.flags;
    const size_t want = kTextReadBytes;
    receivedCount_ = 0;
    flags.timeOutFlag = false;
    if (timeoutMs > 0) flags.startTimer1(timeoutMs);
    for (;;) {
        queryStatus();
        flags.pump();
        if (flags.stopRequest) {
            flags.disableTimer1();
            return kStopped;
        }
        if (errorFlags_ != 0 || flags.timeOutFlag) {
            flags.disableTimer1();
            return kLineError;
        }
        if (portStatus_.inQueue >= 2) break;
        idle(20);
    }
    for (;;) {
        if (receivedCount_ < want) readIntoResponse(want - receivedCount_);
        if (receivedCount_ < kMessageBytes && portStatus_.inQueue < kMessageBytes)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        queryStatus();
        if (portStatus_.inQueue == 0 || receivedCount_ >= want) break;
    }
    auto end = std::remove_if(responseBuffer_.begin(), responseBuffer_.begin() + receivedCount_,
                              [](uint8_t b) { return b == 0x0D || b == 0x0A; });
    receivedCount_ = static_cast<uint32_t>(end - responseBuffer_.begin());
    if (receivedCount_ > 0) log('R', responseBuffer_.data(), receivedCount_, false);
    flags.disableTimer1();
    return receivedCount_ > 0 ? kOk : kStopped;
}

StartResult Tjx3::beginWeaving(RunMode) {
    const HardwareConfig& hw = env_.design.hw;
    modules_ = modulesUsed(hw, env_.design.header.warps());
    drainInput();
    reports_.clear();
    unreported_ = 0;
    if (SendFrame(kBeginWeaving, static_cast<uint8_t>(modules_), 0) != kOk ||
        !ResponseIs(0, kAccepted))
        return StartResult::NotStarted;
    // The loom's ready report, with no time limit (it may have come already).
    bool ready = !reports_.empty();
    reports_.clear();
    while (!ready) {
        const int r = readMessage(0, true);
        if (r == kStopped) return StartResult::Stopped;
        if (r != kOk) return StartResult::NotStarted;
        ready = ResponseIs(0, kReady);
    }
    // Each setting only when its value is in range; the answers are not examined.
    if (hw.PumpTimeout > kPumpTimeoutAbove && hw.PumpTimeout < kPumpTimeoutBelow)
        SendFrame(kPumpTimeout, static_cast<uint8_t>(hw.PumpTimeout / 2), 0);
    if (hw.MaxValves > kMaxValvesAbove && hw.MaxValves < kMaxValvesBelow)
        SendFrame(kMaxValves, static_cast<uint8_t>(hw.MaxValves), 0);
    if (hw.PowerOnTime > kPowerOnTimeAbove && hw.PowerOnTime < kPowerOnTimeBelow)
        SendFrame(kPowerOnTime, static_cast<uint8_t>(hw.PowerOnTime / 2), 0);
    // A ready report after the settings is no news.
    std::erase(reports_, Report::Ready);
    env_.flags.timeOutFlag = false;
    return StartResult::Started;
}

SendResult Tjx3::SendPick(const PickRequest& request) {
    RunFlags& flags = env_.flags;
    buildPick(request.pick, request.tabby);
    const int n = std::clamp(modules_, 0, kMaxModules);
    for (int k = 1; k <= n + 1; ++k) {
        // Stop between frames: the controller holds part of a pick at most,
        // which the stop clears.
        if (flags.stopRequest) return SendResult::Stopped;
        const bool end = k > n;
        const int r = end ? SendFrame(kEndOfPick, static_cast<uint8_t>(n), 0) : sendBlock(k);
        if (r != kOk && errorFlags_ != 0) return SendResult::LineError;
        if (r == kLineError && end && flags.timeOutFlag) {
            // Every block was taken; only the end's answer is missing. Lost or
            // late, the end may have been taken and the pick woven: the loom's
            // report tells.
            ++unreported_;
            return SendResult::Unanswered;
        }
        if (r != kOk) return SendResult::NotAccepted;
        if (!ResponseIs(0, kAccepted) && !(end && takenByReport_)) return SendResult::NotAccepted;
    }
    ++unreported_;
    return SendResult::Accepted;
}

Report Tjx3::awaitPick() {
    for (;;) {
        if (reports_.empty()) {
            const int r = readMessage(0, true);
            if (r == kStopped) return Report::Stopped;
            if (r != kOk) return Report::LineError;
            // Only the loom's reports matter here; a late answer is past use.
            if (!ResponseIs(0, kReady)) continue;
            keepReport(ResponseByte(1));
        }
        const Report report = reports_.front();
        reports_.pop_front();
        if (report == Report::Woven && unreported_ > 0) --unreported_;
        return report;
    }
}

bool Tjx3::stopWeaving() {
    if (SendFrame(kReset, kStopParameter, 0) != kOk) return false;
    // Still rejected after the resend: the loom may be finishing a pick. Its
    // report first, then the stop once more.
    if (ResponseIs(0, kRejected)) {
        bool reported = !reports_.empty();
        if (!reported && readMessage(kStopReportMs, false) == kOk && ResponseIs(0, kReady)) {
            keepReport(ResponseByte(1));
            reported = true;
        }
        if (reported) SendFrame(kReset, kStopParameter, 0);
    }
    return true;
}

int Tjx3::takeWovenReports() {
    drainInput();
    const auto woven = std::count(reports_.begin(), reports_.end(), Report::Woven);
    reports_.clear();
    unreported_ = 0;
    return static_cast<int>(woven);
}

bool Tjx3::reset(int parameter) {
    // Any answer counts: the controller is alive.
    const bool answered = SendFrame(kReset, static_cast<uint8_t>(parameter), 0) == kOk;
    reports_.clear();
    unreported_ = 0;
    return answered;
}

void Tjx3::buildPick(int pick, bool tabby) {
    const DesignModel& d = env_.design;
    const HardwareConfig& hw = d.hw;
    pick_.fill(0);
    const uint8_t* tabbyRow = nullptr;
    if (tabby) tabbyRow = (pick % 2 == 0) ? d.tabbyEven.data() : d.tabbyOdd.data();
    const RowNo row = d.rowOfPick(PickNo{pick});
    auto sourceBit = [&](int x) {
        if (tabbyRow) return x < kMaskBits && ((tabbyRow[x / 8] >> (x % 8)) & 1);
        return d.lift(row, x);
    };
    int x = d.header.warps() - 1;
    for (int p : hookWalkOrder(hw)) {
        if (x < 0) break;
        if (p >= kMaxHooks || maskBit(hw.hookSkipMask, p)) continue;
        if (sourceBit(x)) {
            const PackedPlace place = modulePackedPlace(p);
            pick_[static_cast<size_t>(place.byte)] |= place.bit;
        }
        --x;
    }
}

int Tjx3::sendBlock(int k) {
    commandBuffer_.resize(
        std::max<size_t>(commandBuffer_.size(), kBlockDataBytes + kFrameOverhead));
    auto* data = reinterpret_cast<uint8_t*>(commandBuffer_.data()) + 2;
    std::copy_n(pick_.begin() + (k - 1) * kModuleBytes, kModuleBytes, data);
    if (env_.design.hw.Shuffle) shuffleBlock(data);
    return SendFrame(kModuleBlock, static_cast<uint8_t>(k), kBlockDataBytes);
}

int Tjx3::sendPickFrames(int pick, int modules, bool tabby) {
    buildPick(pick, tabby);
    const int n = std::clamp(modules, 0, kMaxModules);
    for (int k = 1; k <= n; ++k) {
        const int r = sendBlock(k);
        if (r != kOk) return r;
        // The rest of the pick and its end frame go only after an accepted block.
        if (responseBuffer_[0] != kAccepted) return kOk;
    }
    return SendFrame(kEndOfPick, static_cast<uint8_t>(n), 0);
}

namespace {

// Order in which the shuffle writes the 220 bits of a block.
const std::array<uint8_t, kModuleHooks>& shuffleOrder() {
    static const auto order = [] {
        std::array<uint8_t, kModuleHooks> o{};
        size_t i = 0;
        for (int r = 9; r >= 0; --r)
            for (int h : {110, 0})
                for (int k = 10; k >= 0; --k) o[i++] = static_cast<uint8_t>(h + r + 10 * k);
        return o;
    }();
    return order;
}

// Byte and bit of the n-th written position: 4 groups of 7 bytes filled from the
// most significant bit down, the lowest bit of each group's last byte unused.
PackedPlace shuffledPlace(int n) {
    const int group = n / 55, within = n % 55;
    return {group * 7 + within / 8, static_cast<uint8_t>(0x80u >> (within % 8))};
}

}  // namespace

void shuffleBlock(uint8_t* block) {
    std::array<uint8_t, kModuleBytes> out{};
    const auto& order = shuffleOrder();
    for (int n = 0; n < kModuleHooks; ++n) {
        const int b = order[static_cast<size_t>(n)];
        if ((block[b / 8] >> (b % 8)) & 1) {
            const PackedPlace p = shuffledPlace(n);
            out[static_cast<size_t>(p.byte)] |= p.bit;
        }
    }
    std::copy(out.begin(), out.end(), block);
}

void unshuffleBlock(uint8_t* block) {
    std::array<uint8_t, kModuleBytes> out{};
    const auto& order = shuffleOrder();
    for (int n = 0; n < kModuleHooks; ++n) {
        const PackedPlace p = shuffledPlace(n);
        if (block[p.byte] & p.bit) {
            const int b = order[static_cast<size_t>(n)];
            out[static_cast<size_t>(b / 8)] |= static_cast<uint8_t>(1u << (b % 8));
        }
    }
    std::copy(out.begin(), out.end(), block);
}

}  // namespace wp
