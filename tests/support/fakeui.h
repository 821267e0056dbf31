#pragma once

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "model/userio.h"

namespace wp::test {

// Scripted user: records every text the core shows and answers every question
// from a queue (No when the queue is empty).
class FakeUI : public UserInterface {
public:
    struct Box {
        BoxKind kind;
        std::string text;
        Buttons buttons;
    };

    Answer messageBox(BoxKind kind, const std::string& text, Buttons buttons) override;
    void setStatus(const std::string& text) override { statuses.push_back(text); }
    void showPick(int pick) override { picksShown.push_back(pick); }
    void processEvents() override {
        ++pumps;
        if (onPump) onPump();
    }

    std::optional<std::string> chooseFile(const std::string& filter) override {
        filters.push_back(filter);
        return fileToChoose;
    }
    void controlChanged(Control c, const ControlState& st) override {
        controlLog.emplace_back(c, st);
    }

    std::vector<std::string> boxTexts() const;

    std::vector<Box> boxes;
    std::vector<std::string> statuses;
    std::vector<int> picksShown;
    std::deque<Answer> answers;
    std::function<void()> onPump;
    std::optional<std::string> fileToChoose;
    std::vector<std::string> filters;
    std::vector<std::pair<Control, ControlState>> controlLog;
    long pumps = 0;
};

}  // namespace wp::test
