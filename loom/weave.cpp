#include "loom/weave.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>

namespace wp {

TWeave::TWeave(LinkEnv env) : env_(std::move(env)) {
    if (env_.makePort) port_ = env_.makePort();
}

TWeave::~TWeave() {
    ClosePort();
}

bool TWeave::OpenPort(int portNumber, bool download) {
    ClosePort();
    if (!port_) return false;
    const std::string name = "COM" + std::to_string(portNumber);
    if (!port_->open(name)) {
        env_.flags.ui().errorBox("ComPort open failed: " + port_->errorText(port_->lastError()));
        return false;
    }
    LineSettings ls;
    Timeouts to;
    bool ok = port_->getLineSettings(ls) && port_->getTimeouts(to);
    if (ok) {
        ConfigurePort(download, ls, to);
        ok = port_->setLineSettings(ls) && port_->setTimeouts(to) && port_->setupQueues(82, 82);
    }
    if (!ok) queryStatus();
    // Whatever the line held before this open is not an answer to us.
    port_->purgeInput();
    // The mode follows the open even when a setting did not take: reading
    // loader text as binary frames would only garble the download.
    textMode_ = download;
    receivedCount_ = 0;
    lineOpened();
    return true;
}

bool TWeave::reopenPort() {
    return OpenPort(env_.design.hw.commPort, false);
}

bool TWeave::ClosePort() {
    if (!port_ || !port_->isOpen()) return true;
    return port_->close();
}

uint8_t TWeave::ResponseByte(int i) const {
    return i >= 0 && i < kBufferSize ? responseBuffer_[static_cast<size_t>(i)] : 0;
}

std::string TWeave::response() const {
    const size_t n = std::min<size_t>(receivedCount_, kBufferSize);
    return std::string(responseBuffer_.begin(), responseBuffer_.begin() + static_cast<long>(n));
}

void TWeave::setCommand(const std::string& text) {
    commandBuffer_ = text + '\r';
    commandLength_ = static_cast<int>(commandBuffer_.size());
}

size_t TWeave::readIntoResponse(size_t count) {
    size_t got = 0;
    if (receivedCount_ >= kBufferSize) return 0;
    count = std::min<size_t>(count, kBufferSize - receivedCount_);
    port_->read(responseBuffer_.data() + receivedCount_, count, got);
    receivedCount_ += static_cast<uint32_t>(got);
    return got;
}

bool TWeave::ResponseIs(int i, uint8_t value) const {
    return ResponseByte(i) == value;
}

void setControllerLine(LineSettings& ls, Timeouts& to, int baud, int dataBits, Parity parity,
                       bool ctsFlow, DtrControl dtr, uint32_t readInterval, uint32_t readConstant) {
    ls.baudRate = baud;
    ls.dataBits = dataBits;
    ls.parity = parity;
    ls.stopBits = 1;
    ls.binary = true;
    ls.parityCheck = false;
    ls.ctsOutFlow = ctsFlow;
    ls.dsrOutFlow = false;
    ls.dtr = dtr;
    ls.rts = RtsControl::Enable;
    ls.dsrSensitivity = false;
    ls.xonXoff = false;
    ls.errorChar = false;
    ls.nullStrip = false;
    ls.abortOnError = false;
    to.readInterval = readInterval;
    to.readTotalMultiplier = 1;
    to.readTotalConstant = readConstant;
    to.writeTotalMultiplier = 0;
    to.writeTotalConstant = 35000;
}

void TWeave::ConfigurePort(bool download, LineSettings& ls, Timeouts& to) {
    // 19200 8N1; DTR handshakes while weaving and is off for the loader.
    setControllerLine(ls, to, 19200, 8, Parity::None, false,
                      download ? DtrControl::Disable : DtrControl::Handshake, 10, 100);
}

bool TWeave::WriteCommand(const std::string& text) {
    setCommand(text);
    if (!portOpen()) return false;
    queryStatus();
    for (int i = 0; portStatus_.outQueue > 0 && !env_.flags.timeOutFlag; ++i) {
        if (i == 100) {
            env_.flags.timeOutFlag = true;
            break;
        }
        queryStatus();
    }
    if (portStatus_.inQueue > 0) port_->purgeInput();
    receivedCount_ = 0;
    size_t written = 0;
    const auto* bytes = reinterpret_cast<const uint8_t*>(commandBuffer_.data());
    const bool ok = port_->write(bytes, commandBuffer_.size(), written);
    if (!ok) queryStatus();
    if (written < 20) log('P', bytes, written > 0 ? written - 1 : 0, false);
    return ok;
}

int TWeave::SendFrame(uint8_t, uint8_t, uint8_t) {
    return kOk;
}

std::string TWeave::LineErrorText(int flags) {
    switch (flags) {
        case 0x0001:
            return "Receive Buffer Ovverrun";
        case 0x0002:
            return "Buffer Overrun";
        case 0x0004:
            return "Parity Error";
        case 0x0008:
            return "Frame Error";
        case 0x0010:
            return "Line Break";
        case 0x0400:
            return "I/O Error";
        case 0x8000:
            return "No such device";
        default:
            return "";
    }
}

std::string TWeave::formatLogLine(char kind, const uint8_t* data, size_t n, bool hex) {
    static const char digits[] = "0123456789ABCDEF";
    constexpr size_t kMaxLine = 260;
    char head[4];
    std::snprintf(head, sizeof head, "%02u", static_cast<unsigned>(n % 100));
    std::string line(1, kind);
    line += head;
    line += ' ';
    for (size_t i = 0; i < n; ++i) {
        const uint8_t b = data[i];
        std::string piece;
        if (hex) {
            piece = {digits[b >> 4], digits[b & 15]};
        } else if (b >= 0x10) {
            piece = std::string(1, static_cast<char>(b));
        } else {
            piece = {'<', digits[b], '>'};
        }
        if (line.size() + piece.size() + 2 > kMaxLine) break;
        line += piece;
    }
    line += "\r\n";
    return line;
}

void TWeave::queryStatus() {
    if (!port_) return;
    port_->clearError(portStatus_);
    errorFlags_ = portStatus_.flags;
}

void TWeave::log(char kind, const uint8_t* data, size_t n, bool hex) {
    if (env_.log.isOpen()) env_.log.write(formatLogLine(kind, data, n, hex));
}

void TWeave::idle(int maxMs) {
    const int budget = env_.flags.blockBudgetMs(maxMs);
    if (budget <= 0) return;
    if (portStatus_.inQueue == 0) {
        port_->waitForInput(budget);
    } else {
        // Part of a message is in; the rest is a byte time or two away.
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

}  // namespace wp
