#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace wp {

// The JX3 controller's self-test report: turns its report frames (a test code,
// then sometimes a number) into the lines a weaver reads.
class SelfTestReport {
public:
    // Text of a test code; " " for a code the controller does not define.
    std::string testText(int code) const;

    // What one answer of the controller did to the report.
    struct Step {
        bool finished = false;
        std::string status;   // "Test OK" or "Test failure" when the test said so
        int changedRow = -1;  // 0-based row added or extended, -1 for none
    };
    // An answer with its response code and value, as the controller sent it.
    Step onAnswer(uint8_t code, uint8_t value);

    const std::vector<std::string>& rows() const { return rows_; }
    int lastCode() const { return lastCode_; }
    int cardNumber() const { return card_; }
    int groupNumber() const { return group_; }

    void clear();

private:
    std::vector<std::string> rows_;
    int lastCode_ = 0;
    std::string lastText_;
    int card_ = 0;
    int group_ = 0;
};

// The saved report: a head line with the date, then every row, each ending CR LF.
std::string selfTestReportText(const std::vector<std::string>& rows, const std::string& date);

}  // namespace wp
