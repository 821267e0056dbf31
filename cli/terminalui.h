#pragma once

#include <atomic>
#include <iosfwd>
#include <optional>
#include <string>

#include "model/userio.h"

namespace wp {

// The user interface of the headless front end: boxes go to stderr with their
// exact texts, the status line to stdout, questions are answered by --yes/--no.
class TerminalUI : public UserInterface {
public:
    TerminalUI(std::ostream& out, std::ostream& err, bool answerYes)
        : out_(out), err_(err), answerYes_(answerYes) {}

    Answer messageBox(BoxKind kind, const std::string& text, Buttons buttons) override;
    void setStatus(const std::string& text) override;
    void showPick(int) override {}
    void processEvents() override;
    std::optional<std::string> chooseFile(const std::string&) override { return chosenFile_; }

    // The file the open commands get, as if picked in the dialog.
    void setChosenFile(const std::string& path) { chosenFile_ = path; }

    // Set from a signal handler: Ctrl-C is the Stop button.
    static std::atomic<bool> interrupted;
    // Called by processEvents() when Ctrl-C was pressed.
    void onInterrupt(void (*stop)(void*), void* ctx) {
        stop_ = stop;
        stopCtx_ = ctx;
    }

private:
    std::ostream& out_;
    std::ostream& err_;
    bool answerYes_;
    std::optional<std::string> chosenFile_;
    void (*stop_)(void*) = nullptr;
    void* stopCtx_ = nullptr;
};

}  // namespace wp
