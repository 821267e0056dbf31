#include "sim/olmengine.h"

#include <cctype>
#include <cstdio>

namespace wp::sim {

namespace {

constexpr std::size_t kMaxLine = 256;
constexpr int kWordPages = 7;  // pages 00..06 hold words, 07..13 the matching bytes
constexpr int kEntriesPerPage = 32;
constexpr int kDirectPage = 14;
constexpr int kDirectSwitch = 50;
constexpr int kDirectWord = 52;
constexpr int kDirectByte = 54;
constexpr std::size_t kStoreDigits = 4;  // "%4.4X" words, "00%2.2X" bytes
constexpr std::size_t kMaxDigits = 8;

int twoDigits(std::string_view text) {
    if (text.size() != 2 || !std::isdigit(static_cast<unsigned char>(text[0])) ||
        !std::isdigit(static_cast<unsigned char>(text[1]))) {
        return -1;
    }
    return (text[0] - '0') * 10 + (text[1] - '0');
}

std::uint32_t hexValue(const std::string& digits) {
    std::uint32_t value = 0;
    for (char c : digits) {
        value = value * 16 + static_cast<std::uint32_t>(c <= '9' ? c - '0' : c - 'A' + 10);
    }
    return value;
}

std::string printable(const std::string& text) {
    std::string out;
    for (unsigned char c : text) {
        if (c >= 0x20 && c < 0x7F) {
            out += static_cast<char>(c);
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", c);
            out += escaped;
        }
    }
    return out;
}

}  // namespace

std::optional<OlmCommand> parseOlmLine(std::string_view line) {
    // M)Dpp.ooK0 is 10 characters before the value.
    if (line.size() < 10 || line.substr(0, 3) != "M)D" || line[5] != '.' ||
        line.substr(8, 2) != "K0") {
        return std::nullopt;
    }
    OlmCommand command;
    command.page = twoDigits(line.substr(3, 2));
    command.offset = twoDigits(line.substr(6, 2));
    if (command.page < 0 || command.offset < 0) return std::nullopt;
    for (char c : line.substr(10)) {
        // The controller takes uppercase hex only.
        if (!std::isdigit(static_cast<unsigned char>(c)) && (c < 'A' || c > 'F')) {
            return std::nullopt;
        }
        command.digits += c;
    }
    return command;
}

OlmEngine::OlmEngine(const LoomSimOptions& options, EngineContext& context)
    : options_(options), ctx_(context), random_(options.seed) {}

void OlmEngine::start(TimePoint /*now*/) {}

void OlmEngine::onByte(std::uint8_t byte, TimePoint at) {
    if (closing_) return;
    // The host writes one byte and waits for its echo before the next.
    ctx_.send(at, std::string(1, static_cast<char>(byte)), false);
    if (byte == '\r') {
        handleLine(at);
    } else if (byte != '\n') {
        if (line_.size() < kMaxLine) {
            line_ += static_cast<char>(byte);
        } else {
            lineTooLong_ = true;
        }
    }
}

void OlmEngine::handleLine(TimePoint at) {
    const std::uint64_t n = ++lines_;
    const std::string line = line_;
    const bool tooLong = lineTooLong_;
    line_.clear();
    lineTooLong_ = false;
    ctx_.log("rx \"" + printable(line) + "\"  (line " + std::to_string(n) + ")");

    const std::optional<OlmCommand> command = tooLong ? std::nullopt : parseOlmLine(line);
    const std::string text = command ? execute(*command, n, at) : "?\r\n";
    if (!text.empty()) answer(n, text, at);
}

std::string OlmEngine::execute(const OlmCommand& command, std::uint64_t line, TimePoint at) {
    const std::string& digits = command.digits;
    if (digits.size() > kMaxDigits) return "?\r\n";
    const std::uint32_t value = hexValue(digits);

    if (command.page < 2 * kWordPages) {
        const bool isWord = command.page < kWordPages;
        const int index = (command.page % kWordPages) * kEntriesPerPage + command.offset / 2;
        if (command.offset % 2 != 0 || command.offset > 62 || index >= kOlmStoreSize ||
            digits.size() < kStoreDigits || (!isWord && value > 0xFF)) {
            return "?\r\n";
        }
        if (isWord) {
            writeStore(index, value, std::nullopt);
        } else {
            writeStore(index, std::nullopt, static_cast<std::uint8_t>(value));
        }
        return "R\r\n";
    }
    if (command.page != kDirectPage) return "?\r\n";

    switch (command.offset) {
        case kDirectSwitch:
            if (digits == "AB") {
                direct_ = true;
                return "A\r\n";
            }
            if (digits.empty()) {
                direct_ = false;
                if (pending_) ctx_.log("direct mode left: pending pick cancelled");
                pending_.reset();
                ++pickSerial_;
                return "E\r\n";
            }
            return "?\r\n";
        case kDirectByte:
            if (digits.size() < 2 || value > 0xFF) return "?\r\n";
            directByte_ = static_cast<std::uint8_t>(value);
            return "R\r\n";
        case kDirectWord: {
            if (digits.size() < kStoreDigits) return "?\r\n";
            if (!direct_) return "R\r\n";
            if (pending_) ctx_.log("a new pick replaced the one not yet woven");
            pending_ = PendingPick{value, directByte_, line};
            const std::uint64_t serial = ++pickSerial_;
            if (options_.interactive) {
                ctx_.tell("pick " + std::to_string(woven_ + 1) +
                          " is ready: press Enter to weave it");
            } else {
                ctx_.at(at + options_.weaveDelay, [this, serial](TimePoint t) {
                    if (serial == pickSerial_) weavePending(t);
                });
            }
            return {};  // "Q" once woven
        }
        default:
            return "?\r\n";
    }
}

void OlmEngine::answer(std::uint64_t line, const std::string& text, TimePoint at) {
    const TimePoint base = at + std::chrono::milliseconds(faultValue(options_.lateAnswers, line));
    if (listed(options_.dropAnswers, line)) {
        ctx_.log("line " + std::to_string(line) + ": answer dropped");
    } else {
        ctx_.send(base, text, true);
    }
    if (const std::uint64_t count = faultValue(options_.garbageAfter, line); count > 0) {
        ctx_.send(base, randomBytes(random_, count), true);
    }
}

void OlmEngine::writeStore(int index, std::optional<std::uint32_t> word,
                           std::optional<std::uint8_t> byte) {
    StoreEntry& entry = store_[static_cast<std::size_t>(index)];
    if (word) entry.word = word;
    if (byte) entry.byte = byte;
    entry.lifted = olmLifts(options_.olmDraft, entry.word.value_or(0), entry.byte.value_or(0));
    ++storeWrites_;
    ctx_.storeWritten(index, entry);
}

void OlmEngine::weavePending(TimePoint at) {
    if (!pending_ || closing_) return;
    const PendingPick pick = *pending_;
    pending_.reset();
    ++pickSerial_;
    const std::uint64_t number = ++woven_;
    ctx_.pickWoven(
        WovenPick{olmLifts(options_.olmDraft, pick.word, pick.byte), pick.word, pick.byte});
    answer(pick.line, "Q\r\n", at);
    const TimePoint sent = at + ctx_.lineTime(3);
    if (endAfterPick(options_, ctx_, number, sent)) closing_ = true;
}

void OlmEngine::onEnter(TimePoint at) {
    if (pending_) {
        weavePending(at);
    } else {
        ctx_.tell("no pick is waiting to be woven");
    }
}

void OlmEngine::fillState(SimState& state) const {
    state.framesReceived = lines_;
    state.pickPending = pending_.has_value();
    state.directMode = direct_;
    state.storeWrites = storeWrites_;
}

}  // namespace wp::sim
