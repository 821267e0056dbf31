#pragma once

#include <functional>
#include <memory>
#include <string>

#include "app/journal.h"
#include "loom/drivers.h"
#include "model/design.h"
#include "model/inifile.h"
#include "model/loadhost.h"
#include "model/logstream.h"
#include "model/runflags.h"
#include "model/userio.h"
#include "model/window.h"

namespace wp {

// Where the weaving run stands. The numbers are the ones the run has always
// used (and a support person may know from old logs).
enum class RunState : uint8_t {
    Idle = 0,      // no run, or the last one ended normally
    Sending = 3,   // sending picks and awaiting their acknowledgements
    Busy = 4,      // the controller is busy or the line broke; also after start-up
    Awaiting = 5,  // awaiting the loom's report on a pick
};

// The process-wide state of the program: the one design model, the controller
// driver with its port, the flags of the waits and the diagnostic log. The GUI,
// the CLI and the tests each own one and talk to it through UserInterface.
class Session : public LoadHost {
public:
    // settingsFile: where lanset.ini lives (see settingsPath()).
    Session(UserInterface& ui, std::string settingsFile, SerialPortFactory makePort = {});
    ~Session() override;
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // Reads the settings file into the hardware configuration, creates the
    // driver of the configured loom type and, when openPort is set, opens its port.
    void loadSettings(bool openPort = true);

    // Replaces the driver by one of the given type (no port opened).
    void createDriver(LoomType type);

    const std::string& settingsFile() const { return settingsFile_; }
    // The weaver named the settings file: a missing one is reported, not taken
    // for a first start.
    void setSettingsChosen(bool chosen) { settingsChosen_ = chosen; }
    // The position journal, beside the settings file.
    Journal& journal() { return journal_; }
    LinkEnv linkEnv();

    // LoadHost.
    DesignModel& design() override { return design_; }
    UserInterface& ui() override { return ui_; }
    WindowState& window() override { return window_; }
    bool designWeavable() const override;
    bool controllerAnswered() const override { return controllerAnswered_; }
    void controllerReset(int parameter) override;
    bool readColoursFile(const std::string& path) override;

    const DesignModel& design() const { return design_; }
    const WindowState& window() const { return window_; }
    RunFlags& flags() { return flags_; }
    LogStream& log() { return log_; }
    TWeave* driver() { return driver_.get(); }
    const TWeave* driver() const { return driver_.get(); }
    // The settings file as last read or written.
    IniFile& settings() { return settings_; }

    RunState runState() const { return runState_; }
    void setRunState(RunState st) { runState_ = st; }
    void setControllerAnswered() { controllerAnswered_ = true; }
    // The controller reset is the weaving run's; it installs it here.
    void setControllerResetHandler(std::function<void(int parameter)> f) {
        controllerReset_ = std::move(f);
    }
    // Reads the design's colours file; set once colour files are supported.
    void setColoursFileReader(std::function<bool(const std::string& path)> f) {
        readColoursFile_ = std::move(f);
    }

private:
    UserInterface& ui_;
    DesignModel design_;
    WindowState window_;
    RunFlags flags_;
    LogStream log_;
    std::unique_ptr<TWeave> driver_;
    IniFile settings_;
    bool controllerAnswered_ = false;
    bool settingsChosen_ = false;
    RunState runState_ = RunState::Busy;
    std::function<void(int parameter)> controllerReset_;
    std::function<bool(const std::string& path)> readColoursFile_;
    std::string settingsFile_;
    Journal journal_;
    SerialPortFactory makePort_;
};

}  // namespace wp
