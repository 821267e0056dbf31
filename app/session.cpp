#include "app/session.h"

#include "app/settings.h"

namespace wp {

Session::Session(UserInterface& ui, std::string settingsFile, SerialPortFactory makePort)
    : flags(ui), ui_(ui), settingsFile_(std::move(settingsFile)), makePort_(std::move(makePort)) {
    controls_[static_cast<size_t>(Control::StartButton)].caption = "Start";
    controls_[static_cast<size_t>(Control::StopButton)].caption = "Stop";
    controls_[static_cast<size_t>(Control::ResumeButton)].caption = "Resume";
    controls_[static_cast<size_t>(Control::ReverseBox)].caption = "Reverse";
    controls_[static_cast<size_t>(Control::LoopCheck)].caption = "Loop";
    controls_[static_cast<size_t>(Control::TabbyCheck)].caption = "Tabby";
    controls_[static_cast<size_t>(Control::InvertBox)].caption = "Invert";
    controls_[static_cast<size_t>(Control::ShaftPlot)].caption = "ShaftPlot";
    controls_[static_cast<size_t>(Control::FileMenu)].caption = "File";
    controls_[static_cast<size_t>(Control::ControlMenu)].caption = "Control";
    // Nothing may be woven before a design is loaded and the controller answered.
    for (Control c : {Control::StartButton, Control::StopButton, Control::ResumeButton,
                      Control::InvertBox})
        controls_[static_cast<size_t>(c)].enabled = false;
    if (!makePort_) {
        const HardwareConfig* hw = &design.hw;
        makePort_ = [hw] {
            return makePosixSerialPort(
                [hw](const std::string& name) { return devicePathFor(*hw, name); });
        };
    }
}

void Session::notify(Control c) { ui_.controlChanged(c, control(c)); }

void Session::setEnabled(Control c, bool on) {
    controls_[static_cast<size_t>(c)].enabled = on;
    notify(c);
}

void Session::setChecked(Control c, bool on) {
    controls_[static_cast<size_t>(c)].checked = on;
    notify(c);
}

void Session::setVisible(Control c, bool on) {
    controls_[static_cast<size_t>(c)].visible = on;
    notify(c);
}

void Session::setCaption(Control c, const std::string& text) {
    controls_[static_cast<size_t>(c)].caption = text;
    notify(c);
}

Session::~Session() {
    if (driver) driver->ClosePort();
}

LinkEnv Session::linkEnv() { return LinkEnv{design, flags, log, makePort_}; }

void Session::createDriver(LoomType type) {
    if (driver) driver->ClosePort();
    driver = makeDriver(type, linkEnv());
}

void Session::loadSettings(bool openPort) {
    settings.load(settingsFile_);
    readSettings(settings, design.hw, ui_);
    createDriver(design.hw.loomType);
    // The shaft loom addresses shafts, not hooks: no hook limit applies.
    if (design.hw.loomType == LoomType::OLM) design.hw.hookCount = kMaxHooks;
    if (driver && openPort && !driver->OpenPort(design.hw.commPort, false))
        ui_.errorBox("Can't open COM");
    design.matrix.setRowModules(design.hw.moduleCount);
}

}  // namespace wp
