#include "cli/terminalui.h"

#include <ostream>

namespace wp {

std::atomic<bool> TerminalUI::interrupted{false};

Answer TerminalUI::messageBox(BoxKind, const std::string& text, Buttons buttons) {
    err_ << text << std::endl;
    switch (buttons) {
        case Buttons::Ok:
            return Answer::Ok;
        case Buttons::Yes:
            return Answer::Yes;
        case Buttons::YesNo:
            break;
    }
    const Answer a = answerYes_ ? Answer::Yes : Answer::No;
    err_ << (a == Answer::Yes ? "> Yes" : "> No") << std::endl;
    return a;
}

void TerminalUI::setStatus(const std::string& text) {
    // A cleared status line has nothing to print.
    if (!text.empty()) out_ << text << std::endl;
}

void TerminalUI::processEvents() {
    if (interrupted.exchange(false) && stop_) stop_(stopCtx_);
}

}  // namespace wp
