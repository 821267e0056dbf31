#pragma once

#include <deque>
#include <functional>
#include <optional>
#include <string>

#include "app/journal.h"
#include "app/session.h"

namespace wp {

// The weaving run: what Start, Resume and Stop do. A run is a loop inside the
// button handler; it keeps the window responsive through the driver's waits.
// It talks to the loom only through the driver's operations.
class WeavingRun {
public:
    explicit WeavingRun(Session& s);

    void StartButtonClick();
    void ResumeButtonClick();
    void StopButtonClick();
    void Timer1Timer();
    // The pick after w in the sequence, 0 when the sequence has ended.
    int NextPick(int w) const;
    // Why a run could not follow the run panel from pick `first`, in the
    // weaver's words; empty when it can.
    std::string rangeProblem(int first) const;

    // Resets the controller (parameter 0: menu, start-up, a run; 1: a design load).
    void controllerReset(int parameter);

    void enterRunningState();
    void blockedState();
    void leaveRunningState();
    void applyCaptions();

    // Called with every pick the loom reports woven (or, storing, takes).
    std::function<void(int pick)> onPickWoven;
    // Firmware download offered when the controller does not answer.
    std::function<void()> downloadFirmware;

private:
    // What the weaver is told when a run ends.
    enum class Ending {
        Quiet,
        CommunicationError,
        Busy,         // "Controller is busy" and a controller reset
        LineGone,     // the port's device went away: no reset can reach it
        Unconfirmed,  // the loom gave no word on the oldest pick sent
    };

    void weave(RunMode mode, int first);
    // The picks of a started run, until it ends.
    Ending pickLoop(TWeave& drv);
    void pickWoven(int pick);
    // Keeps the position in the journal: the last pick woven, or the one the
    // loom has just taken.
    void journalPosition(int pick, bool onLoom);
    void stopped(TWeave& drv);
    void pickTaken(int pick);
    Ending lineBroken(TWeave& drv);
    // What every run does before its first pick and after its last.
    void beginRun();
    void endRun();
    void setCurrentWeft(int pick);
    void setNextWeft(int pick);

    Session& s_;
    // Picks sent to the controller and not yet reported woven, oldest first.
    std::deque<int> inFlight_;
    // The pick the loom gave no word on.
    int unconfirmed_ = 0;
    // The run's woven picks go to the position journal, under this design name.
    bool journalling_ = false;
    std::string journalDesign_;
    // The journal's entry before this run, and the last pick this run saw
    // woven: what the journal goes back to when a stop cancels a pick the
    // loom held.
    std::optional<JournalEntry> journalBefore_;
    int wovenThisRun_ = 0;
};

}  // namespace wp
