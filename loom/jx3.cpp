#include <algorithm>
#include <chrono>
#include <thread>

#include "loom/weave.h"

namespace wp {

int Tjx3::SendFrame(uint8_t code, uint8_t parameter, uint8_t dataLength) {
    const size_t n = dataLength;
    commandBuffer.resize(std::max(commandBuffer.size(), n + 3));
    commandBuffer[0] = static_cast<char>(code);
    commandBuffer[1] = static_cast<char>(parameter);
    uint8_t check = 0;
    for (size_t i = 0; i < n + 2; ++i) check ^= static_cast<uint8_t>(commandBuffer[i]);
    commandBuffer[n + 2] = static_cast<char>(check);
    commandLength = static_cast<int>(n + 3);
    if (!portOpen()) return kStopped;

    queryStatus();
    if (portStatus.inQueue > 0) port_->purgeInput();
    const auto* frame = reinterpret_cast<const uint8_t*>(commandBuffer.data());
    for (int attempt = 0;; ++attempt) {
        size_t written = 0;
        if (!port_->write(frame, n + 3, written)) {
            queryStatus();
            return kLineError;
        }
        log('C', frame, n + 3, true);
        const int r = ReadResponse(3000);
        // A rejected frame is sent once more; a second rejection is the caller's.
        if (attempt == 0 && responseBuffer[0] == 9 && r != kStopped) continue;
        return r;
    }
}

int Tjx3::ReadResponse(int timeoutMs) {
    if (!portOpen()) return kNotOpen;
    RunFlags& flags = env_.flags;
    const size_t want = textMode ? 86 : 3;
    for (;;) {
        receivedCount = 0;
        flags.timeOutFlag = false;
        if (timeoutMs > 0) flags.startTimer1(timeoutMs);

        for (;;) {
            queryStatus();
            flags.pump();
            if (flags.stopRequest) {
                flags.disableTimer1();
                return kStopped;
            }
            if (errorFlags != 0 || flags.timeOutFlag) {
                flags.disableTimer1();
                return kLineError;
            }
            if (portStatus.inQueue >= 2) break;
            idle(20);
        }

        bool noise = false;
        for (;;) {
            size_t got = 0;
            if (receivedCount < want)
                port_->read(responseBuffer.data() + receivedCount, want - receivedCount, got);
            receivedCount += static_cast<uint32_t>(got);
            if (!textMode && receivedCount >= 3 && responseBuffer[0] > 15) {
                // Not an answer: the controller's own chatter. Log it and wait on.
                log('R', responseBuffer.data(), 3, true);
                noise = true;
                break;
            }
            if (receivedCount < 3 && portStatus.inQueue < 3)
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            queryStatus();
            if (portStatus.inQueue == 0 || receivedCount >= want) break;
            if (!textMode && receivedCount >= 3) break;
        }
        if (!noise) break;
    }

    if (textMode) {
        auto end = std::remove_if(responseBuffer.begin(), responseBuffer.begin() + receivedCount,
                                  [](uint8_t b) { return b == 0x0D || b == 0x0A; });
        receivedCount = static_cast<uint32_t>(end - responseBuffer.begin());
    }
    if (receivedCount > 0) log('R', responseBuffer.data(), receivedCount, !textMode);
    flags.disableTimer1();
    return receivedCount > 0 ? kOk : kStopped;
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

int Tjx3::SendPick(int pick, int modules, bool tabby) {
    buildPick(pick, tabby);
    const int n = std::clamp(modules, 0, kMaxModules);
    for (int k = 1; k <= n; ++k) {
        commandBuffer.resize(std::max<size_t>(commandBuffer.size(), kModuleBytes + 3));
        auto* data = reinterpret_cast<uint8_t*>(commandBuffer.data()) + 2;
        std::copy_n(pick_.begin() + (k - 1) * kModuleBytes, kModuleBytes, data);
        if (env_.design.hw.Shuffle) shuffleBlock(data);
        const int r = SendFrame(13, static_cast<uint8_t>(k), kModuleBytes);
        if (r != kOk) return r;
        if (responseBuffer[0] != 8) return kOk;
    }
    return SendFrame(14, static_cast<uint8_t>(n), 0);
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
