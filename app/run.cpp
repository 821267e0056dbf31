#include "app/run.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace wp {
namespace {

std::string truncationText(int warps, int usable) {
    char buf[128];
    std::snprintf(buf, sizeof buf, "Design size: %d threads, available %d. Truncating from left",
                  warps, usable);
    return buf;
}

std::string unconfirmedText(int pick) {
    return "The loom did not report pick " + std::to_string(pick) +
           " woven. If it is woven, set Next weft on resume to the pick after it; otherwise "
           "Resume weaves it.";
}

}  // namespace

WeavingRun::WeavingRun(Session& s) : s_(s) {
    s_.setControllerResetHandler([this](int parameter) { controllerReset(parameter); });
}

void WeavingRun::StartButtonClick() {
    const RunPanel& panel = s_.window().panel();
    weave(RunMode::Start,
          s_.window().checked(Control::ReverseBox) ? panel.endWeft : panel.startWeft);
}

void WeavingRun::ResumeButtonClick() {
    weave(RunMode::Resume, s_.window().panel().nextWeft);
}

std::string WeavingRun::rangeProblem(int first) const {
    const RunPanel& panel = s_.window().panel();
    const int wefts = s_.design().header.wefts();
    const std::string start = std::to_string(panel.startWeft);
    const std::string end = std::to_string(panel.endWeft);
    if (panel.startWeft < 1 || panel.endWeft > wefts)
        return "Start weft " + start + " to End weft " + end +
               " is not inside the design: its picks are 1 to " + std::to_string(wefts) + ".";
    if (panel.startWeft > panel.endWeft)
        return "Start weft " + start + " is after End weft " + end +
               ". Set Start weft to End weft or below; Reverse weaves the range from End weft "
               "down.";
    if (first < panel.startWeft || first > panel.endWeft)
        return "Next weft on resume " + std::to_string(first) + " is outside Start weft " + start +
               " to End weft " + end + ". Set it to a pick of that range.";
    return {};
}

void WeavingRun::StopButtonClick() {
    s_.flags().stopRequest = true;
}

void WeavingRun::Timer1Timer() {
    s_.flags().Timer1Timer();
}

int WeavingRun::NextPick(int w) const {
    const RunPanel& panel = s_.window().panel();
    return nextPickInRange(w, panel.startWeft, panel.endWeft,
                           s_.window().checked(Control::ReverseBox),
                           s_.window().checked(Control::LoopCheck));
}

void WeavingRun::enterRunningState() {
    s_.window().setEnabled(Control::StartButton, false);
    s_.window().setEnabled(Control::ResumeButton, false);
    s_.window().setEnabled(Control::StopButton, true);
    s_.window().setEnabled(Control::FileMenu, false);
    s_.window().setEnabled(Control::ControlMenu, false);
    s_.window().setEnabled(Control::ReverseBox, false);
    s_.window().setEnabled(Control::TabbyCheck, false);
    s_.flags().stopRequest = false;
}

void WeavingRun::blockedState() {
    s_.window().setEnabled(Control::StartButton, false);
    s_.window().setEnabled(Control::StopButton, false);
    s_.window().setEnabled(Control::ResumeButton, false);
}

void WeavingRun::leaveRunningState() {
    s_.window().setEnabled(Control::StopButton, false);
    s_.window().setEnabled(Control::StartButton, s_.design().designReady);
    s_.window().setEnabled(Control::ResumeButton, s_.design().designReady);
    s_.window().setEnabled(Control::FileMenu, true);
    s_.window().setEnabled(Control::ControlMenu, true);
    s_.window().setEnabled(Control::ReverseBox, true);
    s_.window().setEnabled(Control::TabbyCheck, true);
}

void WeavingRun::applyCaptions() {
    if (s_.window().checked(Control::TabbyCheck)) {
        s_.window().setCaption(Control::StartButton, "StartTabby");
        s_.window().setCaption(Control::StopButton, "StopTabby");
        s_.window().setCaption(Control::ResumeButton, "ResumeTabby");
        return;
    }
    static const DriverTraits kNoDriver;
    const DriverTraits* traits = driverTraits(s_.design().hw.loomType);
    if (!traits) traits = &kNoDriver;
    s_.window().setCaption(Control::StartButton, traits->startCaption);
    s_.window().setCaption(Control::StopButton, "Stop");
    s_.window().setCaption(Control::ResumeButton, traits->resumeCaption);
}

void WeavingRun::controllerReset(int parameter) {
    blockedState();
    UserInterface& ui = s_.ui();
    ui.setBusy(true);
    if (TWeave* drv = s_.driver()) {
        // A device that went away and came back is on a new line.
        if (drv->lineDead()) drv->reopenPort();
        if (drv->reset(parameter)) {
            s_.setControllerAnswered();
        } else if (drv->traits().hasFirmware && drv->portOpen() && !drv->lineDead()) {
            // Only a controller on an open line can take new firmware; a port
            // that is not open has been reported when it failed.
            ui.setBusy(false);
            if (ui.askYesNo("Controller is not responding. Download software?") && downloadFirmware)
                downloadFirmware();
        }
    }
    if (s_.design().designReady) leaveRunningState();
    ui.setBusy(false);
}

void WeavingRun::setCurrentWeft(int pick) {
    s_.window().setCurrentWeft(std::to_string(pick));
}

void WeavingRun::setNextWeft(int pick) {
    // The box keeps to its range, as a spin box does.
    s_.window().setNextWeft(std::clamp(pick, 1, std::max(1, s_.design().header.wefts())));
}

void WeavingRun::beginRun() {
    const int pick = s_.design().currentPick;
    setNextWeft(pick);
    setCurrentWeft(pick);
    s_.ui().moveMarker(pick);
    s_.window().setEnabled(Control::ReverseBox, false);
    s_.window().setEnabled(Control::InvertBox, false);
    enterRunningState();
}

void WeavingRun::endRun() {
    s_.window().setEnabled(Control::ReverseBox, true);
    s_.window().setEnabled(Control::InvertBox, true);
    s_.flags().stopRequest = false;
}

void WeavingRun::weave(RunMode mode, int first) {
    DesignModel& d = s_.design();
    if (!d.designReady || !s_.driver()) {
        d.currentPick = first;
        return;
    }
    TWeave& drv = *s_.driver();
    UserInterface& ui = s_.ui();

    if (const std::string why = drv.refusal(d); !why.empty()) {
        ui.errorBox(why);
        return;
    }
    // A range the run cannot walk would leave it waiting for a pick it never sends.
    if (const std::string why = rangeProblem(first); !why.empty()) {
        ui.errorBox(why);
        return;
    }
    // A line that went away (a pulled cable) may be back: open it again.
    if ((!drv.portOpen() || drv.lineDead()) && !drv.reopenPort()) return;
    d.currentPick = first;
    if (drv.traits().hooks) {
        const int warps = d.header.warps();
        const UsableHooks usable = usableHookCount(d.hw, warps);
        ui.setStatus(usable.count < warps ? truncationText(warps, usable.count) : "");
    }

    beginRun();
    Ending ending = Ending::Quiet;
    switch (drv.beginWeaving(mode)) {
        case StartResult::Started:
            ending = pickLoop(drv);
            break;
        case StartResult::Refused:
            s_.setRunState(RunState::Sending);
            ending = Ending::CommunicationError;
            break;
        case StartResult::Stopped:
            // Busy after start-up or a line break: the reset follows.
            ending = s_.runState() == RunState::Busy ? Ending::Busy : Ending::Quiet;
            break;
        case StartResult::NotStarted:
            if (drv.lineDead()) {
                ending = lineBroken(drv);
            } else if (s_.runState() == RunState::Busy) {
                // After start-up or a line break: a reset may wake the controller.
                ending = Ending::Busy;
            } else {
                s_.setRunState(RunState::Sending);
                ending = Ending::CommunicationError;
            }
            break;
    }

    switch (ending) {
        case Ending::Quiet:
            break;
        case Ending::CommunicationError:
            ui.errorBox("Communication error");
            ui.setStatus("Communication error");
            break;
        case Ending::Busy:
            ui.setStatus("Controller is busy");
            // A Stop that ended the start handshake has been taken; left set, it
            // would cut the reset short and offer a needless firmware download.
            s_.flags().stopRequest = false;
            controllerReset(0);
            break;
        case Ending::LineGone:
            ui.setStatus(
                "The loom's port is gone. Connect it again, then use Reset and Resume "
                "(Next weft on resume: " +
                std::to_string(s_.window().panel().nextWeft) + ").");
            break;
        case Ending::Unconfirmed: {
            const std::string text = unconfirmedText(unconfirmed_);
            ui.errorBox(text);
            ui.setStatus(text);
            break;
        }
    }
    leaveRunningState();
    drv.endWeaving();
    s_.journal().flush();
    endRun();
}

WeavingRun::Ending WeavingRun::pickLoop(TWeave& drv) {
    DesignModel& d = s_.design();
    UserInterface& ui = s_.ui();
    const bool tabby = s_.window().checked(Control::TabbyCheck);
    const int storeSize = drv.pickStoreSize();
    // Picks that are only stored are not woven yet: no position to keep.
    journalling_ = storeSize == 0;
    if (journalling_) {
        // Named so that it can be found again from anywhere.
        std::error_code ec;
        const auto path = std::filesystem::absolute(d.designFileName, ec);
        journalDesign_ = ec ? d.designFileName : path.lexically_normal().string();
        journalBefore_ = s_.journal().read();
        wovenThisRun_ = 0;
    }
    int taken = 0;
    int unanswered = 0;  // a pick whose end went unanswered, until its report
    int next = d.currentPick;
    Ending ending = Ending::Quiet;
    inFlight_.clear();

    do {
        s_.setRunState(RunState::Sending);
        if (next > 0) {
            const SendResult sent = drv.SendPick({next, tabby});
            if (sent == SendResult::Stopped) {
                stopped(drv);
                break;
            }
            if (sent == SendResult::LineError) {
                ending = lineBroken(drv);
                break;
            }
            if (sent == SendResult::Unanswered) {
                // Ending here would leave a pick on the loom that the run never
                // counts: its report (or Stop) decides.
                ui.setStatus("No answer to the end of pick " + std::to_string(next) +
                             ": waiting for the loom to report it woven (Stop ends the wait).");
                unanswered = next;
            } else if (sent != SendResult::Accepted) {
                ending = Ending::CommunicationError;
                break;
            }
            inFlight_.push_back(next);
            // A pick the loom holds whole is woven at the weaver's next treadle,
            // whatever becomes of the program: a resume goes on after it.
            if (sent == SendResult::Accepted) journalPosition(next, true);
            next = NextPick(next);
            // The last woven pick's record is made durable while the loom weaves.
            s_.journal().flush();
        }

        s_.setRunState(RunState::Awaiting);
        const Report report = drv.awaitPick();
        switch (report) {
            case Report::Woven:
                s_.setRunState(RunState::Sending);
                if (!inFlight_.empty()) {
                    ++taken;
                    if (inFlight_.front() == unanswered) {
                        unanswered = 0;
                        ui.setStatus("");
                    }
                    pickTaken(inFlight_.front());
                }
                break;
            case Report::Ready:
                s_.setRunState(RunState::Sending);
                break;
            case Report::Stopped:
                stopped(drv);
                break;
            case Report::LineError:
                ending = lineBroken(drv);
                break;
            case Report::Unconfirmed:
                unconfirmed_ = inFlight_.empty() ? 0 : inFlight_.front();
                s_.setRunState(RunState::Sending);
                ending = Ending::Unconfirmed;
                break;
            case Report::Unexpected:
                s_.setRunState(RunState::Sending);
                ending = Ending::CommunicationError;
                break;
        }
        if (report != Report::Woven && report != Report::Ready) break;

        if (storeSize > 0 && taken == storeSize) {
            ui.messageBox(BoxKind::Confirmation, "220 wefts loaded.", Buttons::Ok);
            s_.setRunState(RunState::Idle);
        }
        ui.showPick(d.currentPick);
        setCurrentWeft(d.currentPick);
        // A loom that does not wait for Stop is done with the last pick.
        if (!drv.traits().waitsForStop && next == 0 && inFlight_.empty())
            s_.setRunState(RunState::Idle);
    } while (s_.runState() == RunState::Sending);
    inFlight_.clear();
    return ending;
}

void WeavingRun::pickTaken(int pick) {
    inFlight_.pop_front();
    pickWoven(pick);
}

WeavingRun::Ending WeavingRun::lineBroken(TWeave& drv) {
    s_.ui().errorBox("Line break");
    s_.setRunState(RunState::Busy);
    // A device that went away cannot be reset (or sent firmware) until it is back.
    return drv.lineDead() ? Ending::LineGone : Ending::Busy;
}

void WeavingRun::pickWoven(int pick) {
    DesignModel& d = s_.design();
    d.currentPick = pick;
    // Before anything else, the next pick included: a crash from here on
    // finds this pick woven.
    journalPosition(pick, false);
    if (onPickWoven) onPickWoven(pick);
    // At the end of the sequence the box falls back to its first value: the
    // pick just woven is never offered again.
    setNextWeft(NextPick(pick));
}

void WeavingRun::journalPosition(int pick, bool onLoom) {
    if (!journalling_) return;
    if (!onLoom) wovenThisRun_ = pick;
    const RunPanel& panel = s_.window().panel();
    s_.journal().record({journalDesign_, s_.design().designFileType, pick, panel.startWeft,
                         panel.endWeft, s_.window().checked(Control::ReverseBox),
                         s_.window().checked(Control::LoopCheck),
                         s_.window().checked(Control::TabbyCheck), onLoom});
}

void WeavingRun::stopped(TWeave& drv) {
    DesignModel& d = s_.design();
    d.currentPick = std::atoi(s_.window().panel().currentWeft.c_str());
    // The stop is taken: clear it so the controller's answer to the stop can be read.
    s_.flags().stopRequest = false;
    if (drv.stopWeaving()) s_.setRunState(RunState::Idle);
    // The loom may have finished a pick as the stop went out: it counts.
    for (int n = drv.takeWovenReports(); n > 0 && !inFlight_.empty(); --n)
        pickTaken(inFlight_.front());
    // Picks the stop cancelled: the next run starts with the oldest, and the
    // journal no longer counts one the loom held.
    if (!inFlight_.empty()) {
        setNextWeft(inFlight_.front());
        if (drv.traits().wovenWordIsAnswer) s_.ui().setStatus(unconfirmedText(inFlight_.front()));
        if (journalling_) {
            if (wovenThisRun_ > 0)
                journalPosition(wovenThisRun_, false);
            else if (journalBefore_)
                s_.journal().record(*journalBefore_);
            else
                s_.journal().remove();
        }
    }
    s_.ui().showPick(d.currentPick);
    setCurrentWeft(d.currentPick);
    s_.journal().flush();
}

}  // namespace wp
