#pragma once

#include <string>

namespace wp {

enum class BoxKind { Error, Information, Confirmation, Warning };
enum class Buttons { Ok, Yes, YesNo };
enum class Answer { Ok, Yes, No };

// How the core talks to the weaver. The GUI shows real dialogs, the CLI uses the
// terminal, tests use a scripted fake that records every text.
class UserInterface {
public:
    virtual ~UserInterface() = default;

    // A modal message box; returns the button pressed.
    virtual Answer messageBox(BoxKind kind, const std::string& text, Buttons buttons) = 0;
    // The status line under the grids.
    virtual void setStatus(const std::string& text) = 0;
    // Scroll towards pick w, show its colour and move the current-pick marker.
    virtual void showPick(int pick) = 0;
    // Let pending window messages (buttons, repaints, timers) run.
    virtual void processEvents() = 0;

    void errorBox(const std::string& text) { messageBox(BoxKind::Error, text, Buttons::Ok); }
    bool askYesNo(const std::string& text) {
        return messageBox(BoxKind::Information, text, Buttons::YesNo) == Answer::Yes;
    }
};

}  // namespace wp
