#include "app/session.h"

#include <cerrno>
#include <cstring>

#include "model/settings.h"

namespace wp {

Session::Session(UserInterface& ui, std::string settingsFile, SerialPortFactory makePort)
    : ui_(ui),
      window_(ui),
      flags_(ui),
      settingsFile_(std::move(settingsFile)),
      journal_(journalPathFor(settingsFile_)),
      makePort_(std::move(makePort)) {
    if (!makePort_) {
        const HardwareConfig* hw = &design_.hw;
        makePort_ = [hw] {
            return makePosixSerialPort(
                [hw](const std::string& name) { return devicePathFor(*hw, name); });
        };
    }
}

Session::~Session() {
    if (driver_) driver_->ClosePort();
}

LinkEnv Session::linkEnv() {
    return LinkEnv{design_, flags_, log_, makePort_};
}

bool Session::designWeavable() const {
    return driver_ && driver_->canWeave(design_);
}

void Session::controllerReset(int parameter) {
    if (controllerReset_) controllerReset_(parameter);
}

bool Session::readColoursFile(const std::string& path) {
    return readColoursFile_ && readColoursFile_(path);
}

void Session::createDriver(LoomType type) {
    if (driver_) driver_->ClosePort();
    driver_ = makeDriver(type, linkEnv());
}

void Session::loadSettings(bool openPort) {
    int error = 0;
    if (!settings_.load(settingsFile_, &error) && (settingsChosen_ || error != ENOENT))
        ui_.errorBox("Cannot read the settings file " + settingsFile_ + ": " +
                     std::strerror(error) + ". The program goes on with the default settings.");
    readSettings(settings_, design_.hw, ui_);
    createDriver(design_.hw.loomType);
    // A shaft loom addresses shafts, not hooks: no hook limit applies.
    if (driver_ && !driver_->traits().hooks) design_.hw.hookCount = kMaxHooks;
    if (driver_ && openPort && !driver_->OpenPort(design_.hw.commPort, false))
        ui_.errorBox("Can't open COM");
    design_.matrix.setRowModules(design_.hw.moduleCount);
}

}  // namespace wp
