#pragma once

#include <functional>
#include <string>

#include "app/session.h"

namespace wp {

// Help contexts: one anchor of the help file each.
inline constexpr int kHelpMainWindow = 10000;
inline constexpr int kHelpSettings = 11000;
inline constexpr int kHelpColours = 12000;
inline constexpr int kHelpFloatAnalysis = 13000;
inline constexpr int kHelpSelfTest = 14000;
inline constexpr int kHelpAbout = 15000;

inline constexpr const char* kApplicationTitle = "Weave Pilot";
inline constexpr const char* kAboutCaption = "About Mirlo";
inline constexpr const char* kAboutProduct = "Mirlo JX-3 weave control";
inline constexpr const char* kAboutVersion = "Version 2.3pre";
inline constexpr const char* kSaveWeftQuestion = "Save current weft position?";
inline constexpr const char* kInsufficientMemory = "Insufficient memory.";
inline constexpr const char* kLogFileName = "loomdump.txt";
inline constexpr const char* kCurrentFileSection = "CurrentFile";

// Where the diagnostic dump goes: loomdump.txt in the user's home folder.
std::string defaultLogPath();

// The question asked at start-up when a position journal was left behind.
std::string journalOffer(const JournalEntry& e);
// Asked when the journal's pick was on the loom, not reported woven.
std::string onLoomQuestion(const JournalEntry& e);

// The program's start, first activation, close and end, and the small commands
// that belong to the program as a whole. Shared by the window, the CLI and tests;
// the window supplies the widgets' half of each step.
class Lifecycle {
public:
    explicit Lifecycle(Session& s) : s_(s) {}

    // The window-independent steps of creating the main window: flags, tabby
    // rows, settings, driver and port. False when a step failed (the weaver has
    // been told; the program goes on).
    bool create(bool openPort = true);

    // First activation: restores the stored pick, resets the controller and offers
    // the stored design once. Later calls do nothing. True when a design was reloaded.
    // A position journal left by a run that never closed is offered first.
    bool FormActivate();

    // Loads the journal's design and sets the run panel to go on after its
    // pick in its direction (Resume weaves from there). A pick the loom held
    // unreported is the weaver's to call woven or not; the entry is left with
    // the last pick woven (0: none of its range). False when the design could
    // not be loaded for weaving.
    bool continueFromJournal(JournalEntry& e);

    // The main window is closing: keeps or forgets the design and pick in the
    // settings file, and removes the position journal. True when the
    // CurrentFile section was written.
    bool FormClose();

    // The end: port closed, design released.
    void destroy();

    // Exit command: the dump is closed; the caller then closes the window.
    void ExitClick();
    // Reset command: the controller reset of the weaving run, on the port
    // opened again when it is not open.
    void ResetClick();

    // Logging command: toggles the dump file. Returns the new state (false when the
    // file could not be created).
    bool LoggingClick();
    bool logging() const { return s_.log().isOpen(); }
    // The dump's head: hardware lines written when logging starts.
    std::string logHeader() const;

    // The help file and the address of one of its contexts.
    const std::string& helpFile() const { return helpFile_; }
    void setHelpFile(std::string path) { helpFile_ = std::move(path); }
    std::string helpUrl(int context) const;

    // Where the dump goes; defaults to defaultLogPath().
    std::string logPath;
    // Writes the design's colours file at close when colours were set by hand;
    // unset, the colours file is written here and a failure is shown.
    std::function<bool(const std::string& path)> writeColoursFile;

private:
    Session& s_;
    std::string helpFile_;
};

}  // namespace wp
