#pragma once

#include <array>
#include <functional>
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

    // Window state the core keeps and the front end mirrors.
    const ControlState& control(Control c) const { return controls_[static_cast<size_t>(c)]; }
    bool checked(Control c) const { return control(c).checked; }
    void setEnabled(Control c, bool on);
    void setChecked(Control c, bool on);
    void setVisible(Control c, bool on);
    void setCaption(Control c, const std::string& text);
    RunPanel panel;
    void panelChanged() { ui_.panelChanged(panel); }

    // Run state: 0 idle, 3 sending picks, 4 controller busy or line broken,
    // 5 awaiting the loom's report.
    int runState = 4;
    bool controllerAnswered = false;
    // Controller reset with its parameter; provided by the weaving run.
    std::function<void(int parameter)> controllerReset;
    // Reads the design's colours file; set once colour files are supported.
    std::function<bool(const std::string& path)> readColoursFile;

    DesignModel design;
    RunFlags flags;
    LogStream log;
    std::unique_ptr<TWeave> driver;
    IniFile settings;

private:
    void notify(Control c);

    std::array<ControlState, static_cast<size_t>(Control::Count)> controls_{};
    UserInterface& ui_;
    std::string settingsFile_;
    SerialPortFactory makePort_;
};

}  // namespace wp
