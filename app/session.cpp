#include "app/session.h"

#include "app/settings.h"

namespace wp {

Session::Session(UserInterface& ui, std::string settingsFile, SerialPortFactory makePort)
    : flags(ui), ui_(ui), settingsFile_(std::move(settingsFile)), makePort_(std::move(makePort)) {
    if (!makePort_) {
        const HardwareConfig* hw = &design.hw;
        makePort_ = [hw] {
            return makePosixSerialPort(
                [hw](const std::string& name) { return devicePathFor(*hw, name); });
        };
    }
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
