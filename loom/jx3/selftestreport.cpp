#include "loom/jx3/selftestreport.h"

#include <algorithm>
#include <array>

#include "loom/jx3/protocol.h"

namespace wp {
namespace {

// Test codes the report treats on their own.
constexpr int kTestingDriverCard = 27;
constexpr int kDriverCard = 28;
constexpr int kJiggGroup = 29;
constexpr int kCoilError = 30;
constexpr int kAllPassed = 35;
constexpr int kAllFailed = 36;

const std::array<const char*, 38> kTexts = {
    " ",
    "STARTING MASTER TEST",
    "STARTING DRIVER TEST",
    "ENCOL2N ERROR",
    "ENCOL2N OK",
    "TEMPERATURE",
    "TEMPERATURE ERROR",
    "MOTORPOS1 OK",
    "MOTORPOS2 OK",
    "MOTORPOS3 OK",
    "MOTORPOS INTERRUPT OK",
    "PUMP DRIVER OK",
    "MOTORPOS INTERRUPT ERROR",
    "MOTORPOS1 ERROR",
    "MOTORPOS2 ERROR",
    "MOTORPOS3 ERROR",
    "PUMP DRIVER ERROR",
    "MOTOR DRIVER SPEED1 OK",
    "MOTOR DRIVER SPEED2 OK",
    "FOOT PEDAL OK",
    "MOTOR DRIVER SPEED1 ERROR",
    "MOTOR DRIVER SPEED2 ERROR",
    "FOOT PEDAL ERROR",
    "MASTER TEST PASSED",
    "MASTER TEST FAILED",
    "END MASTER TEST",
    "DRIVER CARDS DETECTED",
    "TESTING DRIVER CARD",
    "DRIVER CARD",
    "JIGG GROUP",
    "",  // 30: built from the card and group numbers
    "",  // 31: built from the group number
    "ALL DRIVER TESTS PASSED",
    "SOME DRIVER TESTS FAILED",
    "END ALL DRIVER TESTS",
    "MASTER AND ALL DRIVER TESTS PASSED",
    "MASTER AND ALL DRIVER TESTS FAILED",
    "NO DRIVER CARDS FOUND",
};

// Codes whose text waits for a number frame, or that the report leaves out.
bool rowOfItsOwn(int code) {
    static constexpr int kSilent[] = {7, 8, 9, 10, 12, 13, 14, 15, 28, 29, 30};
    return std::find(std::begin(kSilent), std::end(kSilent), code) == std::end(kSilent);
}

}  // namespace

std::string SelfTestReport::testText(int code) const {
    if (code == kCoilError)
        return "ERROR. CARD " + std::to_string(card_) + " ROW " + std::to_string(group_) +
               " COIL NUMBER";
    if (code == 31) return "OK. ROW " + std::to_string(group_);
    if (code >= 1 && code < static_cast<int>(kTexts.size()))
        return kTexts[static_cast<size_t>(code)];
    return " ";
}

void SelfTestReport::clear() {
    rows_.clear();
    lastCode_ = 0;
    lastText_.clear();
    card_ = 0;
    group_ = 0;
}

SelfTestReport::Step SelfTestReport::onAnswer(uint8_t code, uint8_t value) {
    Step step;
    switch (code) {
        case jx3::kTestPassed:
            step.status = "Test OK";
            step.finished = true;
            break;
        case jx3::kTestFailed:
            step.status = "Test failure";
            step.finished = true;
            break;
        case jx3::kTestLine:
            lastCode_ = value;
            lastText_ = testText(value);
            if (rowOfItsOwn(value)) {
                rows_.push_back(lastText_);
                step.changedRow = static_cast<int>(rows_.size()) - 1;
            }
            step.finished = value == kAllPassed || value == kAllFailed;
            break;
        case jx3::kTestNumber: {
            const std::string n = std::to_string(value);
            if (lastCode_ == kDriverCard) {
                card_ = value;
            } else if (lastCode_ == kJiggGroup) {
                group_ = value;
            } else if (lastCode_ == kCoilError) {
                rows_.push_back(lastText_ + " " + n);
                step.changedRow = static_cast<int>(rows_.size()) - 1;
            } else if (!rows_.empty()) {
                // A number before any row has nothing to belong to.
                if (lastCode_ == kTestingDriverCard) card_ = value;
                rows_.back() += " " + n;
                step.changedRow = static_cast<int>(rows_.size()) - 1;
            }
            break;
        }
        default:
            break;  // any other answer: the test goes on
    }
    return step;
}

std::string selfTestReportText(const std::vector<std::string>& rows, const std::string& date) {
    std::string out = "JX-3 test dump " + date + "\r\n";
    for (const auto& r : rows) out += r + "\r\n";
    return out;
}

}  // namespace wp
