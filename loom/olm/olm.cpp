#include "loom/olm/olm.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <utility>

#include "loom/olm/protocol.h"

namespace wp {

using namespace olm;

const DriverTraits Tolm::kTraits{
    .wovenWordIsAnswer = true, .startCaption = "220", .resumeCaption = "Direct"};

namespace {

// Uppercase hexadecimal with at least `digits` digits; a larger value takes more.
std::string hex(uint32_t v, int digits) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%0*X", digits, v);
    return buf;
}

std::string registerLine(unsigned page, unsigned offset, const std::string& value) {
    char address[16];
    std::snprintf(address, sizeof address, "%02u.%02u", page, offset);
    return std::string(kLineStart) + address + kValueStart + value;
}

bool isFinalLetter(uint8_t b) {
    return b == kDirectOnLetter || b == kDirectOffLetter || b == kWovenLetter ||
           b == kOtherFinalLetter;
}

}  // namespace

void Tolm::ConfigurePort(bool, LineSettings& ls, Timeouts& to) {
    // 4800 7E1 with CTS flow control, the same for every purpose.
    setControllerLine(ls, to, 4800, 7, Parity::Even, true, DtrControl::Handshake, 20, 300);
}

bool Tolm::WriteCommand(const std::string& text) {
    return writeLine(text, kAnswerMs);
}

bool Tolm::writeLine(const std::string& text, int answerMs) {
    // A command that fails must not leave the letter of the one before it.
    responseBuffer_[0] = 0;
    heard_.clear();
    setCommand(text);
    if (!portOpen()) return false;

    // Whatever the controller said since the last command is stale.
    queryStatus();
    while (portStatus_.inQueue > 0) {
        receivedCount_ = 0;
        const size_t got = readIntoResponse(portStatus_.inQueue);
        log('F', responseBuffer_.data(), got, true);
        heard_.append(responseBuffer_.begin(), responseBuffer_.begin() + static_cast<long>(got));
        queryStatus();
        if (got == 0) break;
    }

    const auto* bytes = reinterpret_cast<const uint8_t*>(commandBuffer_.data());
    log('P', bytes, commandBuffer_.size() - 1, false);
    receivedCount_ = 0;
    bool writeFailed = false;
    int writeError = 0;
    size_t missingEchoes = 0;
    std::string echo;
    for (size_t i = 0; i < commandBuffer_.size(); ++i) {
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
        if (receivedCount_ < kBufferSize) responseBuffer_[receivedCount_] = b;
        ++receivedCount_;
        echo += static_cast<char>(b);
    }
    queryStatus();
    if (!echo.empty()) log('E', reinterpret_cast<const uint8_t*>(echo.data()), echo.size(), false);
    heard_ += echo;

    UserInterface& ui = env_.flags.ui();
    if (writeFailed) {
        ui.errorBox("Command write: " + port_->errorText(writeError));
        return false;
    }
    if (errorFlags_ != 0) {
        ui.errorBox("Command write: " + LineErrorText(static_cast<int>(errorFlags_)));
        return false;
    }
    if (missingEchoes > 0) {
        // The controller did not hear the whole command: its answer, if any,
        // cannot be trusted.
        ui.errorBox("Command write: No response");
        return false;
    }
    // The answer to a command is read whole even when Stop is pressed: a stop
    // cut in before it would miss what the controller did.
    if (answerMs > 0) {
        readAnswer(answerMs, false);
        heard_ += response();
    }
    return true;
}

int Tolm::ReadResponse(int timeoutMs) {
    return readAnswer(timeoutMs, true);
}

int Tolm::readAnswer(int timeoutMs, bool stoppable) {
    if (!portOpen()) return kNotOpen;
    RunFlags& flags = env_.flags;
    receivedCount_ = 0;
    responseBuffer_[0] = 0;
    flags.timeOutFlag = false;
    if (timeoutMs > 0) flags.startTimer1(timeoutMs);
    for (;;) {
        flags.pump();
        queryStatus();
        size_t got = 0;
        if (portStatus_.inQueue > 0) {
            if (receivedCount_ >= kBufferSize) break;
            got = readIntoResponse(1);
        } else if (receivedCount_ == 0) {
            idle(20);
        }
        if (got == 0) {
            if ((stoppable && flags.stopRequest) || flags.timeOutFlag) break;
            if (errorFlags_ != 0) {
                flags.ui().errorBox("Read response: " +
                                    LineErrorText(static_cast<int>(errorFlags_)));
                break;
            }
        }
        if (portStatus_.inQueue == 0 && receivedCount_ > 0) {
            // At 4800 baud the next byte of an answer may be a couple of
            // milliseconds away: give it the line's read interval to come.
            port_->waitForInput(20);
            queryStatus();
            if (portStatus_.inQueue == 0) break;
        }
    }
    log('R', responseBuffer_.data(), receivedCount_, false);

    // The letter that matters: the last A, E, Q or Z; an R only when none of
    // those follows it; a BEL ends the search.
    int letter = -1;
    for (int i = static_cast<int>(std::min<uint32_t>(receivedCount_, kBufferSize)) - 1; i >= 0;
         --i) {
        const uint8_t b = responseBuffer_[static_cast<size_t>(i)];
        if (isFinalLetter(b)) {
            letter = b;
            break;
        }
        if (b == kStoredLetter) letter = b;
        if (b == kBell) break;
    }
    if (letter >= 0) responseBuffer_[0] = static_cast<uint8_t>(letter);
    flags.disableTimer1();
    return kOk;
}

Tolm::PickValue Tolm::pickValue(int pick) const {
    const DesignModel& d = env_.design;
    const RowNo row = d.rowOfPick(PickNo{pick});
    const int treadles = d.header.treadles();
    const int last = treadles > kMaxShafts ? kMaxShafts - 1 : treadles - 1;
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

std::string Tolm::refusal(const DesignModel& d) const {
    if (!d.shaftDraftAvailable) return "Shaft representation of pattern not available";
    if ((d.header.loom() == kLoomDobby && d.header.treadles() > kMaxShafts) ||
        (d.header.loom() == kLoomCountermarche && d.header.shafts() > kMaxShafts))
        return "Maximum is 24 shafts !";
    return {};
}

StartResult Tolm::beginWeaving(RunMode mode) {
    directMode_ = mode == RunMode::Resume;
    storeIndex_ = 0;
    outstanding_ = false;
    lateWoven_ = 0;
    if (!directMode_) return StartResult::Started;
    const std::string on = registerLine(kControlPage, kDirectSwitch, kDirectOnValue);
    WriteCommand(on);
    if (!ResponseIs(0, kDirectOnLetter)) ReadResponse(kDirectOnRetryMs);
    if (!ResponseIs(0, kDirectOnLetter)) {
        WriteCommand(on);
        if (!ResponseIs(0, kDirectOnLetter)) ReadResponse(kDirectOnLastMs);
    }
    directOn_ = ResponseIs(0, kDirectOnLetter);
    if (directOn_) return StartResult::Started;
    return lineDead() ? StartResult::NotStarted : StartResult::Refused;
}

void Tolm::switchDirectModeOff() {
    if (!directOn_) return;
    directOn_ = false;
    // Cleared first so that the controller's "E" is read, not cut short.
    env_.flags.stopRequest = false;
    WriteCommand(registerLine(kControlPage, kDirectSwitch, ""));
    // The command line itself holds no "Q": one heard with it was the loom's
    // word on the pick, sent before it took the switch (which drops a pick
    // not yet woven).
    if (outstanding_ && heard_.find(kWovenLetter) != std::string::npos) {
        ++lateWoven_;
        outstanding_ = false;
    }
    if (!ResponseIs(0, kDirectOffLetter)) ReadResponse(kDirectOffMs);
}

bool Tolm::stopWeaving() {
    switchDirectModeOff();
    return true;
}

int Tolm::takeWovenReports() {
    return std::exchange(lateWoven_, 0);
}

void Tolm::endWeaving() {
    switchDirectModeOff();
}

int Tolm::pickStoreSize() const {
    return directMode_ ? 0 : kStoreSize;
}

bool Tolm::storePick(int pick, int index) {
    if (index < 0 || index >= kStoreSize) return false;
    const PickValue v = pickValue(pick);
    const auto page = static_cast<unsigned>(index) / kStoreEntriesPerPage;
    const auto offset = static_cast<unsigned>(index) % kStoreEntriesPerPage * 2;
    // Writing an entry again is harmless: a lost "R" is asked for once more.
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (!WriteCommand(registerLine(page, offset, hex(v.W, kWordDigits))) ||
            !WriteCommand(registerLine(page + kStoreBytePageOffset, offset,
                                       kStoreBytePrefix + hex(v.B, kByteDigits))))
            return false;
        if (ResponseIs(0, kStoredLetter)) return true;
    }
    return false;
}

bool Tolm::sendDirectPick(int pick) {
    const PickValue v = pickValue(pick);
    // The word's answer is the loom's word that the pick is woven: awaitPick
    // waits for it.
    return WriteCommand(registerLine(kControlPage, kDirectByte, hex(v.B, kByteDigits))) &&
           writeLine(registerLine(kControlPage, kDirectWord, hex(v.W, kWordDigits)), 0);
}

SendResult Tolm::SendPick(const PickRequest& request) {
    RunFlags& flags = env_.flags;
    if (!flags.stopRequest) {
        const bool sent =
            directMode_ ? sendDirectPick(request.pick) : storePick(request.pick, storeIndex_);
        if (sent) {
            if (directMode_)
                outstanding_ = true;
            else
                ++storeIndex_;
            return SendResult::Accepted;
        }
        if (lineDead()) return SendResult::LineError;
    }
    return flags.stopRequest ? SendResult::Stopped : SendResult::NotAccepted;
}

Report Tolm::awaitPick() {
    // The store answered "R" to the pick already.
    if (!directMode_) return Report::Woven;
    using Clock = std::chrono::steady_clock;
    RunFlags& flags = env_.flags;
    const auto due = Clock::now() + std::chrono::milliseconds(weaveWindowMs_);
    // The weaver may take many waits to weave the pick; a pick is counted only
    // on the loom's "Q".
    while (!ResponseIs(0, kWovenLetter)) {
        if (lineDead()) return Report::LineError;
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(due - Clock::now()).count();
        if (left <= 0) return Report::Unconfirmed;
        if (ReadResponse(static_cast<int>(std::min<long long>(left, kWeaveMs))) != kOk)
            return Report::LineError;
        if (ResponseIs(0, kWovenLetter)) break;
        if (flags.stopRequest) return Report::Stopped;
        if (errorFlags_ != 0) return Report::LineError;
    }
    outstanding_ = false;
    return Report::Woven;
}

}  // namespace wp
