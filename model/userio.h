#pragma once

#include <optional>
#include <string>

namespace wp {

enum class BoxKind { Error, Information, Confirmation, Warning };
enum class Buttons { Ok, Yes, YesNo };
enum class Answer { Ok, Yes, No };

// Controls of the main window whose state the core sets.
enum class Control {
    StartButton,
    StopButton,
    ResumeButton,
    FileMenu,
    ControlMenu,
    ReverseBox,
    LoopCheck,
    TabbyCheck,
    InvertBox,
    ShaftPlot,
    Count
};

struct ControlState {
    bool enabled = true;
    bool visible = true;
    bool checked = false;
    std::string caption;
};

// The run panel's numbers: Start weft, End weft, Next weft on resume, Current weft.
struct RunPanel {
    int startWeft = 1;
    int endWeft = 1;
    int nextWeft = 1;
    std::string currentWeft;
};

// How the core talks to the weaver. The GUI shows real dialogs, the CLI uses the
// terminal, tests use a scripted fake that records every text. Everything past
// the first five calls mirrors window state and may be ignored by a front end
// that has no window.
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

    // Open dialog with a filter such as "Dobby|*.DOB|Countermarche|*.CTM";
    // nothing when cancelled.
    virtual std::optional<std::string> chooseFile(const std::string& filter) {
        (void)filter;
        return std::nullopt;
    }
    virtual void controlChanged(Control, const ControlState&) {}
    virtual void panelChanged(const RunPanel&) {}
    // Move the current-pick marker without scrolling.
    virtual void moveMarker(int pick) { (void)pick; }
    virtual void setBusy(bool busy) { (void)busy; }
    // A long task's progress beside the status line, 0..100; -1 hides it.
    virtual void showProgress(int percent) { (void)percent; }
    // The bottom label naming the design file, and the pick label beside it.
    virtual void showFileName(const std::string& path) { (void)path; }
    virtual void clearPickLabel() {}
    virtual void clearColourBox() {}
    // A new design: rebuild the grids for its sizes.
    virtual void designChanged() {}
    virtual void closeAnalysisPanel() {}
    virtual void resetColourPattern() {}

    void errorBox(const std::string& text) { messageBox(BoxKind::Error, text, Buttons::Ok); }
    bool askYesNo(const std::string& text) {
        return messageBox(BoxKind::Information, text, Buttons::YesNo) == Answer::Yes;
    }
};

// Shows nothing and answers No: for benchmarks and fuzzers.
class SilentUserInterface : public UserInterface {
public:
    Answer messageBox(BoxKind, const std::string&, Buttons buttons) override {
        return buttons == Buttons::Ok ? Answer::Ok : Answer::No;
    }
    void setStatus(const std::string&) override {}
    void showPick(int) override {}
    void processEvents() override {}
};

}  // namespace wp
