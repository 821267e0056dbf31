#include "sim/jx3engine.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

namespace wp::sim {

namespace {

using namespace std::chrono_literals;

constexpr std::uint8_t kCodeSettingValves = 1;
constexpr std::uint8_t kCodeReset = 2;
constexpr std::uint8_t kCodeSettingPower = 3;
constexpr std::uint8_t kCodeSelfTest = 4;
constexpr std::uint8_t kCodeSettingPump = 7;
constexpr std::uint8_t kCodeBeginWeaving = 11;
constexpr std::uint8_t kCodeBlock = 13;
constexpr std::uint8_t kCodeEndOfPick = 14;

constexpr std::uint8_t kAnswerPassed = 5;
constexpr std::uint8_t kAnswerFailed = 6;
constexpr std::uint8_t kAnswerOk = 8;
constexpr std::uint8_t kAnswerRejected = 9;
constexpr std::uint8_t kAnswerTestStep = 10;
constexpr std::uint8_t kAnswerStatus = 12;
constexpr std::uint8_t kAnswerTestValue = 15;
constexpr std::uint8_t kStatusWoven = 0;
constexpr std::uint8_t kStatusReady = 1;

constexpr std::size_t kShortFrame = 3;
constexpr std::size_t kBlockFrame = 3 + kBlockBytes;
constexpr std::size_t kMaxLoaderLine = 1024;
constexpr std::uint8_t kCr = 0x0D;

std::string hexBytes(const std::vector<std::uint8_t>& bytes) {
    std::string out;
    char text[4];
    for (std::uint8_t byte : bytes) {
        std::snprintf(text, sizeof text, "%s%02X", out.empty() ? "" : " ", byte);
        out += text;
    }
    return out;
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

std::string trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(' ');
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

bool validFrameValue(std::uint8_t value) {
    return value >= 1 && value <= kMaxBlocks;
}

}  // namespace

std::string jx3Message(std::uint8_t code, std::uint8_t value) {
    return {static_cast<char>(code), static_cast<char>(value), static_cast<char>(code ^ value)};
}

std::vector<std::pair<std::uint8_t, std::uint8_t>> selfTestReport(int modules, bool fail) {
    std::vector<std::pair<std::uint8_t, std::uint8_t>> report;
    auto step = [&report](int test) { report.emplace_back(kAnswerTestStep, test); };
    auto number = [&report](int value) { report.emplace_back(kAnswerTestValue, value); };
    for (int test : {1, 4, 5}) step(test);
    number(41);
    for (int test : {7, 8, 9, 11, 19, 23, 25, 2, 26}) step(test);
    number(modules);
    for (int card = 1; card <= modules; ++card) {
        step(27);
        number(card);
        step(31);
        number(1);
    }
    if (fail) {
        step(28);
        number(2);
        step(29);
        number(5);
        step(30);
        number(17);
        step(33);
        step(34);
        step(36);
        report.emplace_back(kAnswerFailed, 0);
    } else {
        step(32);
        step(34);
        step(35);
        report.emplace_back(kAnswerPassed, 0);
    }
    return report;
}

bool validHexRecord(std::string_view line) {
    if (line.size() < 11 || line[0] != ':' || (line.size() - 1) % 2 != 0) return false;
    std::vector<int> bytes;
    for (std::size_t i = 1; i + 1 < line.size(); i += 2) {
        const int high = hexDigit(line[i]);
        const int low = hexDigit(line[i + 1]);
        if (high < 0 || low < 0) return false;
        bytes.push_back(high * 16 + low);
    }
    // length byte + 2 address + type + data + checksum
    if (bytes.size() != static_cast<std::size_t>(bytes[0]) + 5) return false;
    int sum = 0;
    for (int byte : bytes) sum += byte;
    return sum % 256 == 0;
}

Jx3Engine::Jx3Engine(const LoomSimOptions& options, EngineContext& context)
    : options_(options), ctx_(context), random_(options.seed) {}

void Jx3Engine::start(TimePoint /*now*/) {
    mode_ = options_.noFirmware ? Mode::Loader : Mode::Frames;
    if (mode_ == Mode::Loader) ctx_.log("no firmware: the loader is waiting");
}

void Jx3Engine::onByte(std::uint8_t byte, TimePoint at) {
    if (closing_) return;
    ++rxSerial_;
    if (mode_ == Mode::Loader) {
        loaderByte(byte, at);
    } else {
        frameByte(byte, at);
    }
}

void Jx3Engine::frameByte(std::uint8_t byte, TimePoint at) {
    frame_.push_back(byte);
    const std::size_t length = frame_[0] == kCodeBlock ? kBlockFrame : kShortFrame;
    if (frame_.size() < length) {
        // A CR is both the block frame's code and the loader's wake-up call; only silence
        // after it tells them apart.
        const bool loneCr = frame_.size() == 1 && byte == kCr;
        const std::uint64_t serial = rxSerial_;
        ctx_.at(at + (loneCr ? options_.wakeSilence : options_.staleFrame),
                [this, serial, loneCr](TimePoint t) { quietAfterPartialFrame(serial, loneCr, t); });
        return;
    }
    handleFrame(at);
    frame_.clear();
}

void Jx3Engine::quietAfterPartialFrame(std::uint64_t serial, bool loneCr, TimePoint at) {
    if (serial != rxSerial_ || mode_ != Mode::Frames || closing_ || frame_.empty()) return;
    if (loneCr) {
        frame_.clear();
        enterLoader(at);
        return;
    }
    ctx_.log("dropped an incomplete frame: " + hexBytes(frame_));
    frame_.clear();
}

TimePoint Jx3Engine::reply(std::uint64_t frame, std::uint8_t code, std::uint8_t value,
                           TimePoint at) {
    const TimePoint base = at + std::chrono::milliseconds(faultValue(options_.lateAnswers, frame));
    if (listed(options_.dropAnswers, frame)) {
        ctx_.log("frame " + std::to_string(frame) + ": answer dropped");
    } else {
        ctx_.send(base, jx3Message(code, value), true);
    }
    if (listed(options_.noiseAfter, frame)) ctx_.send(base, std::string("\x20\x00\x00", 3), true);
    if (const std::uint64_t count = faultValue(options_.garbageAfter, frame); count > 0) {
        ctx_.send(base, randomBytes(random_, count), true);
    }
    return base;
}

void Jx3Engine::handleFrame(TimePoint at) {
    const std::uint64_t n = ++frames_;
    ctx_.log("rx " + hexBytes(frame_) + "  (frame " + std::to_string(n) + ")");
    if (options_.hangupAfterFrame == n) {
        ctx_.log("hanging up on frame " + std::to_string(n));
        closing_ = true;
        ctx_.hangUp(at);
        return;
    }
    if (listed(options_.rejectFrames, n)) {
        reply(n, kAnswerRejected, 0, at);
        return;
    }
    std::uint8_t check = 0;
    for (std::size_t i = 0; i + 1 < frame_.size(); ++i) check ^= frame_[i];
    if (check != frame_.back()) {
        reply(n, kAnswerRejected, 0, at);
        return;
    }

    const std::uint8_t code = frame_[0];
    const std::uint8_t value = frame_[1];
    switch (code) {
        case kCodeBeginWeaving: {
            if (!validFrameValue(value)) break;
            blocksPerPick_ = value;
            const TimePoint base = reply(n, kAnswerOk, 0, at);
            const std::uint64_t serial = ++readySerial_;
            ctx_.at(base + options_.readyDelay, [this, serial](TimePoint t) {
                if (serial == readySerial_ && mode_ == Mode::Frames && !closing_) {
                    ctx_.send(t, jx3Message(kAnswerStatus, kStatusReady), true);
                }
            });
            return;
        }
        case kCodeBlock: {
            if (!validFrameValue(value)) break;
            std::copy(frame_.begin() + 2, frame_.begin() + 2 + kBlockBytes,
                      blocks_.begin() + (value - 1) * kBlockBytes);
            reply(n, kAnswerOk, 0, at);
            return;
        }
        case kCodeEndOfPick: {
            if (!validFrameValue(value)) break;
            endOfPick(value, reply(n, kAnswerOk, 0, at));
            return;
        }
        case kCodeReset:
            cancelPending();
            reply(n, kAnswerOk, 0, at);
            return;
        case kCodeSettingValves:
        case kCodeSettingPower:
        case kCodeSettingPump:
            (code == kCodeSettingValves  ? maxValves_
             : code == kCodeSettingPower ? powerOnTime_
                                         : pumpTimeout_) = value;
            reply(n, kAnswerOk, 0, at);
            return;
        case kCodeSelfTest:
            startSelfTest(reply(n, kAnswerOk, 0, at));
            return;
        default:
            break;
    }
    reply(n, kAnswerRejected, 0, at);
}

void Jx3Engine::endOfPick(int blocks, TimePoint base) {
    std::array<std::uint8_t, kPickBytes> pick{};
    for (int k = 0; k < blocks; ++k) {
        Block block;
        std::copy_n(blocks_.begin() + k * kBlockBytes, kBlockBytes, block.begin());
        if (options_.shuffle) {
            if ((block[6] | block[13] | block[20] | block[27]) & 1U) {
                ctx_.log("block " + std::to_string(k + 1) + ": an unused bit is set");
            }
            block = unshuffleBlock(block);
        } else if (block[27] & 0xF0U) {
            ctx_.log("block " + std::to_string(k + 1) + ": bits beyond hook 220 are set");
        }
        std::copy(block.begin(), block.end(), pick.begin() + k * kBlockBytes);
    }
    // The host sends every block of every pick; stale blocks must not leak into the next one.
    blocks_.fill(0);

    WovenPick woven;
    const auto size = static_cast<std::size_t>(blocks * kBlockBytes);
    for (int hook : liftedHooks(std::span<const std::uint8_t>(pick.data(), size))) {
        woven.lifted.push_back(hook + 1);
    }
    if (pending_) ctx_.log("a new pick replaced the one not yet woven");
    pending_ = std::move(woven);
    const std::uint64_t serial = ++pickSerial_;
    if (options_.interactive) {
        ctx_.tell("pick " + std::to_string(woven_ + 1) + " is ready: press Enter to weave it");
        return;
    }
    ctx_.at(base + options_.weaveDelay, [this, serial](TimePoint t) {
        if (serial == pickSerial_) weavePending(t);
    });
}

void Jx3Engine::weavePending(TimePoint at) {
    if (!pending_ || closing_ || mode_ != Mode::Frames) return;
    ++pickSerial_;
    const std::uint64_t number = ++woven_;
    ctx_.pickWoven(std::move(*pending_));
    pending_.reset();
    ctx_.send(at, jx3Message(kAnswerStatus, kStatusWoven), true);
    const TimePoint sent = at + ctx_.lineTime(kShortFrame);
    if (endAfterPick(options_, ctx_, number, sent)) closing_ = true;
}

void Jx3Engine::startSelfTest(TimePoint base) {
    const std::uint64_t serial = ++testSerial_;
    ++selfTests_;
    TimePoint when = base;
    for (const auto& [code, value] : selfTestReport(options_.modules, options_.selfTestFail)) {
        when += options_.selfTestGap;
        ctx_.at(when, [this, serial, message = jx3Message(code, value)](TimePoint t) {
            if (serial == testSerial_ && mode_ == Mode::Frames && !closing_) {
                ctx_.send(t, message, true);
            }
        });
    }
}

void Jx3Engine::cancelPending() {
    if (pending_) ctx_.log("pending pick cancelled");
    pending_.reset();
    ++pickSerial_;
    ++readySerial_;
    ++testSerial_;
}

void Jx3Engine::onEnter(TimePoint at) {
    if (pending_ && mode_ == Mode::Frames) {
        weavePending(at);
    } else {
        ctx_.tell("no pick is waiting to be woven");
    }
}

void Jx3Engine::enterLoader(TimePoint at) {
    cancelPending();
    mode_ = Mode::Loader;
    line_.clear();
    lineBinary_ = false;
    ctx_.log("rx lone CR: firmware loader woken");
    ctx_.send(at, "LOADER\r\n", true);
}

void Jx3Engine::loaderByte(std::uint8_t byte, TimePoint at) {
    // Frames sent to a loader are junk; once they have gone quiet, the host's next line
    // (typically its lone-CR wake-up after a timeout) starts afresh.
    if (lineBinary_ && at - lastLoaderByte_ > options_.wakeSilence) {
        line_.clear();
        lineBinary_ = false;
    }
    lastLoaderByte_ = at;
    if (byte == '\r') {
        loaderLine(at);
    } else if (byte == '\n') {
        return;
    } else if (byte < 0x20 || byte > 0x7E || line_.size() >= kMaxLoaderLine) {
        lineBinary_ = true;
    } else {
        line_ += static_cast<char>(byte);
    }
}

void Jx3Engine::loaderLine(TimePoint at) {
    const std::string line = trimmed(line_);
    const bool binary = lineBinary_;
    line_.clear();
    lineBinary_ = false;
    if (binary) {
        // The loader does not speak the binary protocol; frames get no answer at all.
        ctx_.log("loader: ignored binary data");
        return;
    }
    if (line.empty()) {
        // A lone CR asks whether the loader is there; a CR with more following is a frame.
        const std::uint64_t serial = rxSerial_;
        ctx_.at(at + options_.wakeSilence, [this, serial](TimePoint t) {
            if (serial == rxSerial_ && mode_ == Mode::Loader && !closing_) {
                ctx_.send(t, "LOADER\r\n", true);
            }
        });
        return;
    }
    if (line[0] == ':') {
        loadStarted_ = true;
        if (validHexRecord(line)) {
            ++goodRecords_;
        } else {
            ++badRecords_;
            ctx_.log("loader: bad record " + line);
        }
        return;
    }
    ctx_.log("loader rx \"" + line + "\"");
    std::string command = line;
    std::transform(command.begin(), command.end(), command.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    if (command == "Z" && loadStarted_) {
        finishLoad(at);
        return;
    }
    bool known = command == "Z" || command == "U" || command == "R" || command == "L";
    if (command.size() > 2 && command.rfind("W ", 0) == 0) {
        const std::string address = trimmed(command.substr(2));
        known = !address.empty() && std::all_of(address.begin(), address.end(),
                                                [](char c) { return hexDigit(c) >= 0; });
    }
    if (command == "L") {
        loadStarted_ = true;
        goodRecords_ = 0;
        badRecords_ = 0;
    }
    ctx_.send(at, known ? "OK\r\n" : "ERR\r\n", true);
}

void Jx3Engine::finishLoad(TimePoint at) {
    ++loadsCompleted_;
    loadStarted_ = false;
    ctx_.send(at,
              "LOADED " + std::to_string(goodRecords_) + " RECORDS " + std::to_string(badRecords_) +
                  " ERRORS\r\n",
              true);
    mode_ = Mode::Frames;
    frame_.clear();
    ctx_.log("loader: firmware started");
}

void Jx3Engine::fillState(SimState& state) const {
    state.framesReceived = frames_;
    state.pickPending = pending_.has_value();
    state.blocksPerPick = blocksPerPick_;
    state.maxValves = maxValves_;
    state.powerOnTime = powerOnTime_;
    state.pumpTimeout = pumpTimeout_;
    state.selfTestsStarted = selfTests_;
    state.loaderMode = mode_ == Mode::Loader;
    state.loaderGoodRecords = goodRecords_;
    state.loaderBadRecords = badRecords_;
    state.loadsCompleted = loadsCompleted_;
}

}  // namespace wp::sim
