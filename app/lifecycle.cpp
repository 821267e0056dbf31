#include "app/lifecycle.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <new>
#include <system_error>

#include "import/load.h"
#include "tools/coloursfile.h"

namespace wp {

std::string defaultLogPath() {
    const char* home = std::getenv("HOME");
    std::string dir = home && *home ? home : ".";
    if (dir.back() != '/') dir += '/';
    return dir + kLogFileName;
}

bool Lifecycle::create(bool openPort) {
    DesignModel& d = s_.design();
    d.shaftDraftAvailable = false;
    s_.window().setChecked(Control::ShaftPlot, false);
    s_.window().setVisible(Control::ShaftPlot, false);
    s_.window().setEnabled(Control::ShaftPlot, false);

    std::error_code ec;
    const auto cwd = std::filesystem::current_path(ec);
    d.hw.programDirectory = ec ? std::string(".") : cwd.string();
    if (helpFile_.empty()) helpFile_ = d.hw.programDirectory + "/docs/help/weavepilot.html";

    d.firstActivation = true;
    d.designReady = false;
    d.analysis.floatCutLimit = 0;
    d.analysis.floatMap.clear();
    s_.window().setEnabled(Control::InvertBox, false);

    if (logPath.empty()) logPath = defaultLogPath();

    bool ok = true;
    try {
        d.tabbyEven.fill(0x55);
        d.tabbyOdd.fill(0xAA);
        s_.loadSettings(openPort);
    } catch (const std::bad_alloc&) {
        ok = false;
        s_.ui().messageBox(BoxKind::Information, kInsufficientMemory, Buttons::Yes);
    }
    d.matrix.setRowModules(d.hw.moduleCount);
    return ok;
}

bool Lifecycle::FormActivate() {
    DesignModel& d = s_.design();
    if (!d.firstActivation) return false;
    // Cleared first: the boxes below activate the window again.
    d.firstActivation = false;

    IniFile ini;
    ini.load(s_.settingsFile());
    d.currentPick = ini.readInt(kCurrentFileSection, "weft_pos", 1);
    const int type = ini.readInt(kCurrentFileSection, "FileType", 0);
    d.designFileType = type >= 0 && type <= static_cast<int>(FileType::Wif)
                           ? static_cast<FileType>(type)
                           : FileType::Native;
    d.designFileName = ini.readString(kCurrentFileSection, "FileName", "");
    d.hw.PumpTimeout = ini.readInt("WeavePilot", "PumpTimeout", 60);

    // The port's open failure, if any, has been shown at start-up.
    s_.controllerReset(0);

    // A journal left behind: weaving stopped without the program closing.
    if (auto entry = s_.journal().read(); entry && (entry->onLoom || nextPickAfter(*entry) != 0)) {
        if (s_.ui().askYesNo(journalOffer(*entry)) && continueFromJournal(*entry)) return true;
    }

    std::error_code ec;
    const std::string& name = d.designFileName;
    if (d.hasDesign() || name.size() <= 4 || !std::filesystem::is_regular_file(name, ec))
        return false;
    if (!s_.ui().askYesNo("Continue razezog " + name + " ?")) return false;
    DesignLoader loader(s_);
    return loader.reload(name, d.designFileType);
}

std::string journalOffer(const JournalEntry& e) {
    return "Weaving stopped unexpectedly at pick " + std::to_string(e.pick) + " of " +
           e.designFile + ". Continue from the next pick?";
}

std::string onLoomQuestion(const JournalEntry& e) {
    return "Pick " + std::to_string(e.pick) +
           " had been sent to the loom when weaving stopped. Has the loom woven it?";
}

bool Lifecycle::continueFromJournal(JournalEntry& e) {
    DesignLoader loader(s_);
    if (!loader.reload(e.designFile, e.designType) || !s_.design().designReady) return false;
    if (e.onLoom) {
        // Only the weaver knows whether the loom wove it before it was reset.
        if (!s_.ui().askYesNo(onLoomQuestion(e))) {
            const bool first = e.reverse ? e.pick == e.endWeft : e.pick == e.startWeft;
            e.pick = first ? 0 : e.pick + (e.reverse ? 1 : -1);
        }
        e.onLoom = false;
    }
    WindowState& w = s_.window();
    RunPanel panel = w.panel();
    panel.startWeft = e.startWeft;
    panel.endWeft = e.endWeft;
    // A range woven to its end falls back to its first pick, as after a run.
    const int next = nextPickAfter(e);
    panel.nextWeft =
        next != 0 ? next : nextPickInRange(0, e.startWeft, e.endWeft, e.reverse, e.loop);
    if (e.pick > 0) panel.currentWeft = std::to_string(e.pick);
    w.setPanel(panel);
    w.setChecked(Control::ReverseBox, e.reverse);
    w.setChecked(Control::LoopCheck, e.loop);
    w.setChecked(Control::TabbyCheck, e.tabby);
    s_.design().currentPick = e.pick > 0 ? e.pick : panel.nextWeft;
    return true;
}

bool Lifecycle::FormClose() {
    // A clean close: the position journal has served its turn.
    s_.journal().remove();
    DesignModel& d = s_.design();
    const std::string& path = s_.settingsFile();
    IniFile ini;
    ini.load(path);
    const std::string before = ini.text();
    ini.eraseSection(kCurrentFileSection);

    bool kept = false;
    if (d.designReady && d.currentPick != 1 && s_.ui().askYesNo(kSaveWeftQuestion)) {
        if (d.manualColours) {
            const std::string colours = coloursFileName(d.designFileName);
            std::string error;
            if (writeColoursFile)
                writeColoursFile(colours);
            else if (!wp::writeColoursFile(colours, d, error))
                s_.ui().errorBox("Cannot write the colours file " + error + ".");
        }
        ini.setValue(kCurrentFileSection, "weft_pos", std::to_string(d.currentPick));
        ini.setValue(kCurrentFileSection, "FileType",
                     std::to_string(static_cast<int>(d.designFileType)));
        ini.setValue(kCurrentFileSection, "FileName", d.designFileName);
        kept = true;
    }

    // Nothing to erase and nothing to keep: the file stays untouched.
    if (ini.text() == before) return false;
    std::error_code ec;
    const auto dir = std::filesystem::path(path).parent_path();
    if (!dir.empty()) std::filesystem::create_directories(dir, ec);
    std::string error;
    if (!ini.save(path, &error)) {
        s_.ui().errorBox("Cannot write " + path + ": " + error);
        return false;
    }
    s_.settings() = ini;
    return kept;
}

void Lifecycle::destroy() {
    DesignModel& d = s_.design();
    if (s_.driver()) s_.driver()->ClosePort();
    if (d.designReady) {
        d.releaseDesign();
        d.designReady = false;
        s_.window().setEnabled(Control::InvertBox, false);
    }
}

void Lifecycle::ExitClick() {
    s_.log().close();
}

void Lifecycle::ResetClick() {
    // The weaver may have plugged the loom in since: try its port again.
    if (TWeave* drv = s_.driver(); drv && !drv->portOpen()) drv->reopenPort();
    s_.controllerReset(0);
}

std::string Lifecycle::logHeader() const {
    const HardwareConfig& hw = s_.design().hw;
    char line[128];
    std::snprintf(line, sizeof line, "modulesDeep=%d  densityX=%d  densityY=%d\r\n", hw.modulesDeep,
                  hw.densityX, hw.densityY);
    std::string text = line;
    text += "BlankHeadles=";
    const int hooks = hw.moduleCount * kModuleHooks;
    for (int h = 1; h <= hooks; ++h)
        if (maskBit(hw.blankHeadleMask, h - 1)) text += std::to_string(h) + ",";
    text += "\r\n";
    return text;
}

bool Lifecycle::LoggingClick() {
    if (s_.log().isOpen()) {
        s_.log().close();
        return false;
    }
    if (!s_.log().open(logPath.empty() ? defaultLogPath() : logPath)) return false;
    s_.log().write(logHeader());
    return true;
}

std::string Lifecycle::helpUrl(int context) const {
    return "file://" + helpFile_ + "#" + std::to_string(context);
}

}  // namespace wp
