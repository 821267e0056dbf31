#include "app/run.h"

#include <algorithm>
#include <cstdio>

namespace wp {
namespace {

std::string truncationText(int warps, int usable) {
    char buf[128];
    std::snprintf(buf, sizeof buf, "Design size: %d threads, available %d. Truncating from left",
                  warps, usable);
    return buf;
}

}  // namespace

WeavingRun::WeavingRun(Session& s) : s_(s) {
    s_.setControllerResetHandler([this](int parameter) { controllerReset(parameter); });
}

void WeavingRun::StartButtonClick() {
    s_.design().currentPick =
        s_.window().checked(Control::ReverseBox) ? s_.window().panel().endWeft : s_.window().panel().startWeft;
    if (!s_.design().designReady || !s_.driver()) return;
    if (s_.driver()->loomType() == LoomType::JX3)
        runJx3();
    else
        runOlm(false);
}

void WeavingRun::ResumeButtonClick() {
    s_.design().currentPick = s_.window().panel().nextWeft;
    if (!s_.design().designReady || !s_.driver()) return;
    if (s_.driver()->loomType() == LoomType::JX3)
        runJx3();
    else
        runOlm(true);
}

void WeavingRun::StopButtonClick() { s_.flags().stopRequest = true; }

void WeavingRun::Timer1Timer() { s_.flags().Timer1Timer(); }

int WeavingRun::NextPick(int w) const {
    const int start = s_.window().panel().startWeft;
    const int end = s_.window().panel().endWeft;
    const bool loop = s_.window().checked(Control::LoopCheck);
    if (w == 0) return s_.window().checked(Control::ReverseBox) ? end : start;
    if (s_.window().checked(Control::ReverseBox)) {
        if (w - 1 >= start) return w - 1;
        return loop ? end : 0;
    }
    if (w + 1 <= end) return w + 1;
    return loop ? start : 0;
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
    const bool olm = s_.design().hw.loomType == LoomType::OLM;
    if (s_.window().checked(Control::TabbyCheck)) {
        s_.window().setCaption(Control::StartButton, "StartTabby");
        s_.window().setCaption(Control::StopButton, "StopTabby");
        s_.window().setCaption(Control::ResumeButton, "ResumeTabby");
        return;
    }
    s_.window().setCaption(Control::StartButton, olm ? "220" : "Start");
    s_.window().setCaption(Control::StopButton, "Stop");
    s_.window().setCaption(Control::ResumeButton, olm ? "Direct" : "Resume");
}

void WeavingRun::controllerReset(int parameter) {
    blockedState();
    UserInterface& ui = s_.ui();
    ui.setBusy(true);
    if (s_.driver()) {
        // Any answer counts: the controller is alive.
        if (s_.driver()->SendFrame(2, static_cast<uint8_t>(parameter), 0) == kOk) {
            s_.setControllerAnswered();
        } else if (s_.driver()->loomType() == LoomType::JX3) {
            ui.setBusy(false);
            if (ui.askYesNo("Controller is not responding. Download software?") &&
                downloadFirmware)
                downloadFirmware();
        }
    }
    if (s_.design().designReady) leaveRunningState();
    ui.setBusy(false);
}

int WeavingRun::modulesForRun() const {
    return modulesUsed(s_.design().hw, s_.design().header.warps());
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

void WeavingRun::runJx3() {
    DesignModel& d = s_.design();
    TWeave& drv = *s_.driver();
    UserInterface& ui = s_.ui();

    const UsableHooks usable = usableHookCount(d.hw, d.header.warps());
    ui.setStatus(usable.count < d.header.warps() ? truncationText(d.header.warps(), usable.count)
                                                 : "");
    const int N = modulesForRun();

    beginRun();

    bool started = drv.SendFrame(11, static_cast<uint8_t>(N), 0) == kOk && drv.ResponseIs(0, 8);
    started = started && drv.ReadResponse(0) == kOk && drv.ResponseIs(0, 12);
    if (started) {
        const HardwareConfig& hw = d.hw;
        if (hw.PumpTimeout > 30 && hw.PumpTimeout < 512)
            drv.SendFrame(7, static_cast<uint8_t>(hw.PumpTimeout / 2), 0);
        if (hw.MaxValves > 4 && hw.MaxValves < 255)
            drv.SendFrame(1, static_cast<uint8_t>(hw.MaxValves), 0);
        if (hw.PowerOnTime > 4 && hw.PowerOnTime < 255)
            drv.SendFrame(3, static_cast<uint8_t>(hw.PowerOnTime / 2), 0);

        s_.flags().timeOutFlag = false;
        int resumePick = d.currentPick;
        int nextToSend = d.currentPick;
        do {
            s_.runState = 3;
            if (nextToSend > 0) {
                const int r = drv.SendPick(nextToSend, N, s_.window().checked(Control::TabbyCheck));
                if (r != kOk || !drv.ResponseIs(0, 8)) break;
            }
            s_.runState = 5;
            const int r = drv.ReadResponse(0);
            if (r == kOk) {
                if (drv.ResponseIs(0, 12)) {
                    s_.runState = 3;
                    if (drv.ResponseIs(1, 0)) {
                        d.currentPick = resumePick;
                        resumePick = NextPick(resumePick);
                        if (onPickWoven) onPickWoven(d.currentPick);
                    }
                    if (nextToSend > 0) nextToSend = NextPick(nextToSend);
                    if (d.currentPick > 0) setNextWeft(resumePick);
                }
                ui.showPick(d.currentPick);
                setCurrentWeft(d.currentPick);
            } else if (r == kStopped) {
                d.currentPick = std::atoi(s_.window().panel().currentWeft.c_str());
                ui.showPick(d.currentPick);
                // The stop is taken: clear it so the controller's answer to the
                // stop frame can be read.
                s_.flags().stopRequest = false;
                if (drv.SendFrame(2, 1, 0) == kOk) {
                    if (drv.ResponseIs(0, 9) && drv.ReadResponse(5000) == kOk &&
                        drv.ResponseIs(0, 12))
                        drv.SendFrame(2, 1, 0);
                    s_.runState = 0;
                }
            } else {
                ui.errorBox("Line break");
                s_.runState = 4;
            }
        } while (s_.runState == 3);
    }

    if (s_.runState == 3) {
        ui.errorBox("Communication error");
        ui.setStatus("Communication error");
    } else if (s_.runState == 4) {
        ui.setStatus("Controller is busy");
        // A Stop that ended the start handshake has been taken; left set, it
        // would cut the reset short and offer a needless firmware download.
        s_.flags().stopRequest = false;
        controllerReset(0);
    }
    leaveRunningState();
    endRun();
}

void WeavingRun::runOlm(bool direct) {
    DesignModel& d = s_.design();
    auto& drv = *s_.driver();
    UserInterface& ui = s_.ui();

    if (!d.shaftDraftAvailable) {
        ui.errorBox("Shaft representation of pattern not available");
        return;
    }
    if ((d.header.loom() == kLoomDobby && d.header.treadles() > 24) ||
        (d.header.loom() == kLoomCountermarche && d.header.shafts() > 24)) {
        ui.errorBox("Maximum is 24 shafts !");
        return;
    }

    bool ok = true;
    if (direct) {
        drv.WriteCommand("M)D14.50K0AB");
        if (!drv.ResponseIs(0, 'A')) drv.ReadResponse(500);
        if (!drv.ResponseIs(0, 'A')) {
            drv.WriteCommand("M)D14.50K0AB");
            if (!drv.ResponseIs(0, 'A')) drv.ReadResponse(1000);
        }
        if (!drv.ResponseIs(0, 'A')) {
            ui.setStatus("Communication error");
            ui.errorBox("Communication error");
            ok = false;
        }
    }

    if (ok) {
        beginRun();
        int storeIndex = 0;
        // Each pick of the sequence goes out exactly once, in order: the pick
        // sent is the one the previous pass chose.
        int pick = d.currentPick;
        do {
            s_.runState = 3;
            if (drv.SendPick(pick, storeIndex, direct) != kOk) {
                if (s_.flags().stopRequest) s_.runState = 0;
                break;
            }
            d.currentPick = pick;
            if (onPickWoven) onPickWoven(pick);
            const int n = NextPick(pick);
            // At the end of the sequence the box falls back to its first value,
            // as after a JX3 run: the pick just sent is never offered again.
            setNextWeft(n);
            if (n != 0)
                pick = n;
            else
                s_.runState = 0;
            ++storeIndex;
            if (!direct && storeIndex == 220) {
                ui.messageBox(BoxKind::Confirmation, "220 wefts loaded.", Buttons::Ok);
                s_.runState = 0;
            }
            ui.showPick(d.currentPick);
            setCurrentWeft(d.currentPick);
            if (s_.flags().stopRequest) s_.runState = 0;
        } while (s_.runState == 3);
    }

    leaveRunningState();
    if (direct) {
        // Cleared first so that the controller's "E" is read, not cut short.
        s_.flags().stopRequest = false;
        drv.WriteCommand("M)D14.50K0");
        if (!drv.ResponseIs(0, 'E')) drv.ReadResponse(1000);
    }
    endRun();
}

}  // namespace wp
