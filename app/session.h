#pragma once

#include <memory>
#include <string>

#include "app/design.h"
#include "app/inifile.h"
#include "app/logstream.h"
#include "app/runflags.h"
#include "app/userio.h"
#include "loom/weave.h"

namespace wp {

// The process-wide state of the program: the one design model, the controller
// driver with its port, the flags of the waits and the diagnostic log. The GUI,
// the CLI and the tests each own one and talk to it through UserInterface.
class Session {
public:
    // settingsFile: where lanset.ini lives (see settingsPath()).
    Session(UserInterface& ui, std::string settingsFile, SerialPortFactory makePort = {});
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // Reads the settings file into the hardware configuration, creates the
    // driver of the configured loom type and, when openPort is set, opens its port.
    void loadSettings(bool openPort = true);

    // Replaces the driver by one of the given type (no port opened).
    void createDriver(LoomType type);

    UserInterface& ui() { return ui_; }
    const std::string& settingsFile() const { return settingsFile_; }
    LinkEnv linkEnv();

    DesignModel design;
    RunFlags flags;
    LogStream log;
    std::unique_ptr<TWeave> driver;
    IniFile settings;

private:
    UserInterface& ui_;
    std::string settingsFile_;
    SerialPortFactory makePort_;
};

}  // namespace wp
