#include <algorithm>
#include <cstdio>

#include "loom/weave.h"

namespace wp {
namespace {

std::string storeWordCommand(unsigned page, unsigned offset, uint32_t w) {
    char buf[48];
    std::snprintf(buf, sizeof buf, "M)D%2.2u.%2.2uK0%4.4X", page, offset, w);
    return buf;
}

std::string storeByteCommand(unsigned page, unsigned offset, uint32_t b) {
    char buf[48];
    std::snprintf(buf, sizeof buf, "M)D%2.2u.%2.2uK000%2.2X", page, offset, b);
    return buf;
}

std::string directCommand(unsigned offset, const char* fmt4or2, uint32_t v) {
    char buf[48];
    if (fmt4or2[0] == '4')
        std::snprintf(buf, sizeof buf, "M)D14.%2.2uK0%4.4X", offset, v);
    else
        std::snprintf(buf, sizeof buf, "M)D14.%2.2uK0%2.2X", offset, v);
    return buf;
}

bool isFinalLetter(uint8_t b) { return b == 'A' || b == 'E' || b == 'Q' || b == 'Z'; }

}  // namespace

void Tolm::ConfigurePort(bool, LineSettings& ls, Timeouts& to) {
    // 4800 7E1 with CTS flow control, the same for every purpose.
    setControllerLine(ls, to, 4800, 7, Parity::Even, true, DtrControl::Handshake, 20, 300);
}

bool Tolm::WriteCommand(const std::string& text) {
    // A command that fails must not leave the letter of the one before it.
    responseBuffer[0] = 0;
    commandBuffer = text + '\r';
    commandLength = static_cast<int>(commandBuffer.size());
    if (!portOpen()) return false;

    // Whatever the controller said since the last command is stale.
    queryStatus();
    while (portStatus.inQueue > 0) {
        size_t got = 0;
        port_->read(responseBuffer.data(), std::min<size_t>(portStatus.inQueue, kBufferSize), got);
        log('F', responseBuffer.data(), got, true);
        queryStatus();
        if (got == 0) break;
    }

    const auto* bytes = reinterpret_cast<const uint8_t*>(commandBuffer.data());
    log('P', bytes, commandBuffer.size() - 1, false);
    receivedCount = 0;
    bool writeFailed = false;
    int writeError = 0;
    size_t missingEchoes = 0;
    std::string echo;
    for (size_t i = 0; i < commandBuffer.size(); ++i) {
        size_t written = 0;
        const bool ok = port_->write(bytes + i, 1, written);
        if (!ok || written == 0) {
            if (!ok) {
                writeFailed = true;
                writeError = port_->lastError();
            }
            break;
        }
        // Once an echo has failed to come, the line is not answering: the rest
        // of the command goes out without waiting a read time-out per byte.
        if (missingEchoes > 0) {
            ++missingEchoes;
            continue;
        }
        uint8_t b = 0;
        size_t got = 0;
        port_->read(&b, 1, got);
        if (got == 0) {
            ++missingEchoes;
            continue;
        }
        if (receivedCount < kBufferSize) responseBuffer[receivedCount] = b;
        ++receivedCount;
        echo += static_cast<char>(b);
    }
    queryStatus();
    if (!echo.empty())
        log('E', reinterpret_cast<const uint8_t*>(echo.data()), echo.size(), false);

    UserInterface& ui = env_.flags.ui();
    if (writeFailed) {
        ui.errorBox("Command write: " + port_->errorText(writeError));
        return false;
    }
    if (errorFlags != 0) {
        ui.errorBox("Command write: " + LineErrorText(static_cast<int>(errorFlags)));
        return false;
    }
    if (missingEchoes > 0) {
        // The controller did not hear the whole command: its answer, if any,
        // cannot be trusted.
        ui.errorBox("Command write: No response");
        return false;
    }
    ReadResponse(5000);
    return true;
}

int Tolm::ReadResponse(int timeoutMs) {
    if (!portOpen()) return kNotOpen;
    RunFlags& flags = env_.flags;
    receivedCount = 0;
    responseBuffer[0] = 0;
    flags.timeOutFlag = false;
    if (timeoutMs > 0) flags.startTimer1(timeoutMs);
    for (;;) {
        flags.pump();
        queryStatus();
        size_t got = 0;
        if (portStatus.inQueue > 0) {
            if (receivedCount >= kBufferSize) break;
            port_->read(responseBuffer.data() + receivedCount, 1, got);
        } else if (receivedCount == 0) {
            idle(20);
        }
        if (got > 0) {
            ++receivedCount;
        } else {
            if (flags.stopRequest || flags.timeOutFlag) break;
            if (errorFlags != 0) {
                flags.ui().errorBox("Read response: " +
                                    LineErrorText(static_cast<int>(errorFlags)));
                break;
            }
        }
        if (portStatus.inQueue == 0 && receivedCount > 0) {
            // At 4800 baud the next byte of an answer may be a couple of
            // milliseconds away: give it the line's read interval to come.
            port_->waitForInput(20);
            queryStatus();
            if (portStatus.inQueue == 0) break;
        }
    }
    log('R', responseBuffer.data(), receivedCount, false);

    // The letter that matters: the last A, E, Q or Z; an R only when none of
    // those follows it; a BEL ends the search.
    int letter = -1;
    for (int i = static_cast<int>(std::min<uint32_t>(receivedCount, kBufferSize)) - 1; i >= 0; --i) {
        const uint8_t b = responseBuffer[static_cast<size_t>(i)];
        if (isFinalLetter(b)) {
            letter = b;
            break;
        }
        if (b == 'R') letter = b;
        if (b == 0x07) break;
    }
    if (letter >= 0) responseBuffer[0] = static_cast<uint8_t>(letter);
    flags.disableTimer1();
    return kOk;
}

Tolm::PickValue Tolm::pickValue(int pick) const {
    const DesignModel& d = env_.design;
    const RowNo row = d.rowOfPick(PickNo{pick});
    const int treadles = d.header.treadles();
    const int last = treadles > 24 ? 23 : treadles - 1;
    PickValue v;
    if (d.header.loom() == kLoomDobby) {
        uint32_t b[3] = {0, 0, 0};
        for (int t = 0; t <= last; ++t)
            if (d.treadlingBit(t, row)) b[t / 8] |= 0x80u >> (t % 8);
        v.B = b[0];
        v.W = b[1] * 256 + b[2];
    } else if (d.header.loom() == kLoomCountermarche) {
        int first = last + 1;
        for (int t = 0; t <= last; ++t) {
            if (d.treadlingBit(t, row)) {
                first = t;
                break;
            }
        }
        const int shafts = d.header.shafts();
        const int rowBytes = (shafts + 7) / 8;
        auto tie = [&](int k) -> uint32_t {
            const size_t i = static_cast<size_t>(first * rowBytes + k);
            return k < rowBytes && i < d.draft.tieUp.size() ? d.draft.tieUp[i] : 0;
        };
        uint32_t raw = tie(0);
        if (shafts > 8) raw += tie(1) * 256;
        if (shafts > 16) raw += tie(2) * 65536;
        uint32_t s = 0;
        for (int k = 0; k < shafts && k < 32; ++k)
            if ((raw >> k) & 1) s |= 1u << (shafts - 1 - k);
        v.B = s % 256;
        v.W = s * 256;
    } else {
        v.B = static_cast<uint32_t>(last);
        v.W = 0;
    }
    return v;
}

int Tolm::SendPick(int pick, int storeIndex, bool direct) {
    directMode = direct;
    const PickValue v = pickValue(pick);
    if (!direct) {
        if (storeIndex < 0 || storeIndex >= 220) return kStopped;
        const auto page = static_cast<unsigned>(storeIndex / 32);
        const auto offset = static_cast<unsigned>(storeIndex % 32 * 2);
        if (!WriteCommand(storeWordCommand(page, offset, v.W))) return kStopped;
        if (!WriteCommand(storeByteCommand(page + 7, offset, v.B))) return kStopped;
        return responseBuffer[0] == 'R' ? kOk : kStopped;
    }
    if (!WriteCommand(directCommand(54, "2", v.B))) return kLineError;
    if (!WriteCommand(directCommand(52, "4", v.W))) return kLineError;
    // The weaver may take longer than one wait to weave the pick: keep waiting
    // for "Q" until it comes, Stop is pressed or the line fails, so that a pick
    // is never counted as woven when it was not.
    RunFlags& flags = env_.flags;
    while (responseBuffer[0] != 'Q') {
        if (flags.stopRequest) return kStopped;
        if (!portOpen() || errorFlags != 0) return kLineError;
        const int r = ReadResponse(100000);
        if (r != kOk) return r;
        if (responseBuffer[0] == 'Q') break;
        if (flags.stopRequest) return kStopped;
        if (errorFlags != 0) return kLineError;
    }
    return kOk;
}

}  // namespace wp
