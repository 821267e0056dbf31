#include "app/maintenance.h"

#include <filesystem>
#include <fstream>
#include <sstream>

#include "model/inifile.h"

#ifndef WP_DATA_DIR
#define WP_DATA_DIR "/usr/local/share/weavepilot"
#endif

namespace wp {
namespace {

namespace fs = std::filesystem;

constexpr const char* kCantDownload = "Can't download WP-program";

bool readText(const std::string& path, std::string& out) {
    std::error_code ec;
    if (!fs::is_regular_file(path, ec)) return false;
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::ostringstream ss;
    ss << in.rdbuf();
    out = ss.str();
    return !in.bad();
}

}  // namespace

std::string programDataDir() {
    return WP_DATA_DIR;
}

std::string firmwarePath(const std::string& hexfile, const std::string& settingsFile,
                         const std::string& dataDir) {
    const fs::path name(hexfile);
    if (name.is_absolute()) return hexfile;
    const fs::path beside = fs::path(settingsFile).parent_path() / name;
    std::error_code ec;
    if (fs::exists(beside, ec)) return beside.string();
    const fs::path data = fs::path(dataDir) / name;
    if (!dataDir.empty() && fs::exists(data, ec)) return data.string();
    return beside.string();
}

bool FirmwareDownload::LoadHex1Click() {
    const std::string& hexfile = s_.design().hw.Hexfile;
    return download(firmwarePath(hexfile, s_.settingsFile(), programDataDir()), hexfile);
}

bool FirmwareDownload::download(const std::string& path, const std::string& name) {
    TWeave* drv = s_.driver();
    if (!drv || !drv->traits().hasFirmware) return false;
    const bool ok = send(path, name);
    if (ok) {
        s_.setRunState(RunState::Idle);
        if (s_.design().designReady) run_.leaveRunningState();
    } else {
        s_.ui().errorBox(kCantDownload);
        run_.blockedState();
    }
    // Weaving talks frames, not loader text.
    s_.driver()->ClosePort();
    s_.driver()->OpenPort(s_.design().hw.commPort, false);
    return ok;
}

bool FirmwareDownload::send(const std::string& path, const std::string& name) {
    UserInterface& ui = s_.ui();
    std::string text;
    if (!readText(path, text)) {
        ui.errorBox("WP-program " + name + " not found");
        return false;
    }
    if (text.empty()) return false;
    // A broken file half-flashes the controller: refuse it before a byte goes out.
    const HexFile hex = checkIntelHex(text);
    if (!hex.ok()) {
        ui.errorBox("WP-program " + name + " is not a valid Intel HEX file: line " +
                    std::to_string(hex.badLine) + ": " + hex.fault +
                    ". Nothing was sent to the controller.");
        return false;
    }
    switch (s_.driver()->downloadFirmware(hex, s_.design().hw.commPort)) {
        case DownloadResult::Done:
            return true;
        case DownloadResult::CannotOpen:
            ui.errorBox("Can't open COM");
            return false;
        case DownloadResult::NoAnswer:
        case DownloadResult::WriteFailed:
        case DownloadResult::NotOffered:
            return false;
    }
    return false;
}

bool SelfTestRun::offered() const {
    const TWeave* drv = s_.driver();
    return drv && drv->traits().hasSelfTest;
}

void SelfTestRun::setStatus(const std::string& text) {
    status_ = text;
    if (onStatus) onStatus(text);
}

void SelfTestRun::activate() {
    idle_ = true;
    if (onRunning) onRunning(false);
    setStatus("");
    report_.clear();
}

void SelfTestRun::Button1Click() {
    if (!idle_ || !offered()) return;
    TWeave& drv = *s_.driver();
    report_.clear();
    idle_ = false;
    stopAsked_ = false;
    if (onRunning) onRunning(true);
    run_.enterRunningState();  // clears the stop request
    if (!drv.startSelfTest()) {
        setStatus("Controller is busy");
    } else {
        for (bool finished = false; !finished;) {
            // Once stopped, a controller that says nothing more does not keep
            // the window waiting for ever.
            const SelfTestAnswer a = drv.awaitSelfTestAnswer(stopAsked_ ? kSelfTestStopGraceMs : 0);
            if (a.kind == SelfTestAnswer::Kind::Stopped) {
                drv.abortSelfTest();
                break;
            }
            if (a.kind != SelfTestAnswer::Kind::Answer) {
                if (!stopAsked_) continue;
                setStatus("Test stopped");
                break;
            }
            const SelfTestReport::Step step = report_.onAnswer(a.code, a.value);
            if (!step.status.empty()) setStatus(step.status);
            if (step.changedRow >= 0 && onRow)
                onRow(step.changedRow, report_.rows()[static_cast<size_t>(step.changedRow)]);
            finished = step.finished;
            // The closing line ends the report; the verdict that follows it is
            // read too, so that it is shown rather than left on the line.
            if (finished && step.status.empty() && !stopAsked_) {
                const SelfTestAnswer v = drv.awaitSelfTestAnswer(kSelfTestVerdictMs);
                if (v.kind == SelfTestAnswer::Kind::Answer) {
                    // Anything else after the closing line leaves the report as it is.
                    SelfTestReport after = report_;
                    const SelfTestReport::Step last = after.onAnswer(v.code, v.value);
                    if (!last.status.empty()) setStatus(last.status);
                }
            }
        }
    }
    idle_ = true;
    if (onRunning) onRunning(false);
    s_.setRunState(RunState::Idle);
    run_.leaveRunningState();
    s_.flags().stopRequest = false;
}

bool SelfTestRun::Button2Click() {
    if (idle_) return true;
    // The stop frame goes out from inside the test's wait; the test goes on until
    // the controller's answers end it.
    // A second press while the first stop is on its way adds nothing.
    if (!s_.driver() || stopAsked_) return false;
    stopAsked_ = true;
    s_.driver()->stopSelfTest();
    // The wait the stop interrupted gets a time limit too.
    s_.flags().startTimer1(kSelfTestStopGraceMs);
    return false;
}

bool SelfTestRun::save(const std::string& path, const std::string& date, std::string* error) const {
    if (report_.rows().empty()) return true;
    return writeFileAtomically(path, selfTestReportText(report_.rows(), date), error);
}

}  // namespace wp
