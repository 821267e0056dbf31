#pragma once

#include <functional>
#include <string>

#include "app/run.h"
#include "app/session.h"
#include "loom/jx3/selftestreport.h"

namespace wp {

// Where a firmware file named in the settings is looked for: an absolute path
// as it stands; a relative one beside the settings file, then in the program's
// data folder. The first that exists, else the one beside the settings file.
std::string firmwarePath(const std::string& hexfile, const std::string& settingsFile,
                         const std::string& dataDir);

// The program's data folder (help, default firmware).
std::string programDataDir();

// The File menu's Download: the controller's firmware from an Intel HEX file,
// checked whole before anything goes out.
class FirmwareDownload {
public:
    FirmwareDownload(Session& s, WeavingRun& run) : s_(s), run_(run) {}

    // Downloads the firmware named by Hexfile in the settings. True when done.
    bool LoadHex1Click();
    // Downloads the given file; `name` is how the weaver knows it (as configured
    // or typed). True when done. Afterwards the port is open for weaving again.
    bool download(const std::string& path, const std::string& name);

private:
    // The download itself; false when it failed (the weaver has been told why).
    bool send(const std::string& path, const std::string& name);

    Session& s_;
    WeavingRun& run_;
};

// The self-test window without its widgets: Start, Stop (the Exit button while a
// test runs) and Save, and the report the controller's answers build.
class SelfTestRun {
public:
    SelfTestRun(Session& s, WeavingRun& run) : s_(s), run_(run) {}

    // Whether this loom has a self-test to offer.
    bool offered() const;
    bool idle() const { return idle_; }
    const SelfTestReport& report() const { return report_; }
    const std::string& status() const { return status_; }

    // The window is activated: idle, status cleared, report emptied.
    void activate();
    // Start: runs the test until the controller ends it (a loop inside this call).
    void Button1Click();
    // Exit: while a test runs, asks the controller to stop; returns whether the
    // window may close (only when no test runs).
    bool Button2Click();
    // Save: the report as a text file with the given date line; false with the
    // reason. Nothing is written while the report is empty.
    bool save(const std::string& path, const std::string& date, std::string* error = nullptr) const;

    // A row was added or changed (0-based), with its text.
    std::function<void(int row, const std::string& text)> onRow;
    // The status text changed.
    std::function<void(const std::string& text)> onStatus;
    // Idle or running: the Exit button's caption follows it.
    std::function<void(bool running)> onRunning;

private:
    void setStatus(const std::string& text);

    Session& s_;
    WeavingRun& run_;
    SelfTestReport report_;
    std::string status_;
    bool idle_ = true;
    bool stopAsked_ = false;
};

// How long a stopped test waits for the controller's closing words.
inline constexpr int kSelfTestStopGraceMs = 5000;
// How long the controller's verdict (test passed or failed) is waited for
// after the report's closing line.
inline constexpr int kSelfTestVerdictMs = 1000;

}  // namespace wp
