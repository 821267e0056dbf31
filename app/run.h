#pragma once

#include <functional>

#include "app/session.h"

namespace wp {

// The weaving run: what Start, Resume and Stop do. A run is a loop inside the
// button handler; it keeps the window responsive through the driver's waits.
class WeavingRun {
public:
    explicit WeavingRun(Session& s);

    void StartButtonClick();
    void ResumeButtonClick();
    void StopButtonClick();
    void Timer1Timer();
    // The pick after w in the sequence, 0 when the sequence has ended.
    int NextPick(int w) const;

    // Resets the controller (parameter 0: menu, start-up, a run; 1: a design load).
    void controllerReset(int parameter);

    void enterRunningState();
    void blockedState();
    void leaveRunningState();
    void applyCaptions();

    // Modules the JX3 controller is told to expect for a design of `warps` ends.
    int modulesForRun() const;

    // Called with every pick the loom reports woven (JX3) or takes (OLM).
    std::function<void(int pick)> onPickWoven;
    // Firmware download offered when the controller does not answer.
    std::function<void()> downloadFirmware;

private:
    // What every run does before its first pick and after its last.
    void beginRun();
    void endRun();
    void runJx3();
    void runOlm(bool direct);
    void setCurrentWeft(int pick);
    void setNextWeft(int pick);

    Session& s_;
};

}  // namespace wp
