#include "loom/jx3/jx3.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "loom/jx3/protocol.h"

namespace wp {

using namespace jx3;

const DriverTraits Tjx3::kTraits{.hooks = true, .waitsForStop = true, .hasFirmware = true, .hasSelfTest = true};

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

    queryStatus();
    if (portStatus_.inQueue > 0) port_->purgeInput();
    const auto* frame = reinterpret_cast<const uint8_t*>(commandBuffer_.data());
    for (int attempt = 0;; ++attempt) {
        size_t written = 0;
        if (!port_->write(frame, length, written)) {
            queryStatus();
            return kLineError;
        }
        log('C', frame, length, true);
        const int r = ReadResponse(kAnswerMs);
        // A rejected frame is sent once more; a second rejection is the caller's.
        if (attempt == 0 && responseBuffer_[0] == kRejected && r != kStopped) continue;
        return r;
    }
}

int Tjx3::ReadResponse(int timeoutMs) {
    if (!portOpen()) return kNotOpen;
    RunFlags& flags = env_.flags;
    const size_t want = textMode_ ? kTextReadBytes : kMessageBytes;
    for (;;) {
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

        bool noise = false;
        for (;;) {
            if (receivedCount_ < want) readIntoResponse(want - receivedCount_);
            if (!textMode_ && receivedCount_ >= kMessageBytes &&
                responseBuffer_[0] > kLastResponseCode) {
                // Not an answer: the controller's own chatter. Log it and wait on.
                log('R', responseBuffer_.data(), kMessageBytes, true);
                noise = true;
                break;
            }
            if (receivedCount_ < kMessageBytes && portStatus_.inQueue < kMessageBytes)
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            queryStatus();
            if (portStatus_.inQueue == 0 || receivedCount_ >= want) break;
            if (!textMode_ && receivedCount_ >= kMessageBytes) break;
        }
        if (!noise) break;
    }

    if (textMode_) {
        auto end = std::remove_if(responseBuffer_.begin(), responseBuffer_.begin() + receivedCount_,
                                  [](uint8_t b) { return b == 0x0D || b == 0x0A; });
        receivedCount_ = static_cast<uint32_t>(end - responseBuffer_.begin());
    }
    if (receivedCount_ > 0) log('R', responseBuffer_.data(), receivedCount_, !textMode_);
    flags.disableTimer1();
    return receivedCount_ > 0 ? kOk : kStopped;
}

StartResult Tjx3::beginWeaving(RunMode) {
    const HardwareConfig& hw = env_.design.hw;
    modules_ = modulesUsed(hw, env_.design.header.warps());
    const bool ready = SendFrame(kBeginWeaving, static_cast<uint8_t>(modules_), 0) == kOk &&
                       ResponseIs(0, kAccepted) && ReadResponse(0) == kOk && ResponseIs(0, kReady);
    if (!ready) return StartResult::NotStarted;
    // Each setting only when its value is in range; the answers are not examined.
    if (hw.PumpTimeout > kPumpTimeoutAbove && hw.PumpTimeout < kPumpTimeoutBelow)
        SendFrame(kPumpTimeout, static_cast<uint8_t>(hw.PumpTimeout / 2), 0);
    if (hw.MaxValves > kMaxValvesAbove && hw.MaxValves < kMaxValvesBelow)
        SendFrame(kMaxValves, static_cast<uint8_t>(hw.MaxValves), 0);
    if (hw.PowerOnTime > kPowerOnTimeAbove && hw.PowerOnTime < kPowerOnTimeBelow)
        SendFrame(kPowerOnTime, static_cast<uint8_t>(hw.PowerOnTime / 2), 0);
    env_.flags.timeOutFlag = false;
    return StartResult::Started;
}

SendResult Tjx3::SendPick(const PickRequest& request) {
    const int r = sendPickFrames(request.pick, modules_, request.tabby);
    return r == kOk && ResponseIs(0, kAccepted) ? SendResult::Accepted : SendResult::NotAccepted;
}

Report Tjx3::awaitPick() {
    const int r = ReadResponse(0);
    if (r == kStopped) return Report::Stopped;
    if (r != kOk) return Report::LineError;
    if (!ResponseIs(0, kReady)) return Report::Unexpected;
    return ResponseIs(1, kPickWoven) ? Report::Woven : Report::Ready;
}

bool Tjx3::stopWeaving() {
    if (SendFrame(kReset, kStopParameter, 0) != kOk) return false;
    // Still rejected after the resend: the loom may be finishing a pick. Its
    // report first, then the stop once more.
    if (ResponseIs(0, kRejected) && ReadResponse(kStopReportMs) == kOk && ResponseIs(0, kReady))
        SendFrame(kReset, kStopParameter, 0);
    return true;
}

bool Tjx3::reset(int parameter) {
    // Any answer counts: the controller is alive.
    return SendFrame(kReset, static_cast<uint8_t>(parameter), 0) == kOk;
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

int Tjx3::sendPickFrames(int pick, int modules, bool tabby) {
    buildPick(pick, tabby);
    const int n = std::clamp(modules, 0, kMaxModules);
    for (int k = 1; k <= n; ++k) {
        commandBuffer_.resize(
            std::max<size_t>(commandBuffer_.size(), kBlockDataBytes + kFrameOverhead));
        auto* data = reinterpret_cast<uint8_t*>(commandBuffer_.data()) + 2;
        std::copy_n(pick_.begin() + (k - 1) * kModuleBytes, kModuleBytes, data);
        if (env_.design.hw.Shuffle) shuffleBlock(data);
        const int r = SendFrame(kModuleBlock, static_cast<uint8_t>(k), kBlockDataBytes);
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
