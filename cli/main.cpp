// weavepilot-cli: the program's core without windows, for scripts, CI and support.
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <optional>
#include <iostream>
#include <set>
#include <string>
#include <vector>

#include "tools/image.h"
#include "app/session.h"
#include "model/settings.h"
#include "cli/terminalui.h"
#include "import/load.h"
#include "app/lifecycle.h"
#include "app/run.h"

namespace {

using namespace wp;

const char* const kUsage =
    "usage: weavepilot-cli COMMAND [options]\n"
    "\n"
    "commands:\n"
    "  config                 print the hardware configuration from the settings file\n"
    "  info FILE              load a design and print its header, size and colours\n"
    "  render FILE OUT        write the design as the main window shows it:\n"
    "                         OUT.pbm lifted cells black, OUT.png in warp and weft colours\n"
    "  weave FILE             weave the design on the configured port; Ctrl-C is Stop\n"
    "      --from N --to M    Start weft and End weft (default: the whole design)\n"
    "      --reverse --loop --tabby\n"
    "      --resume N         start with Resume at pick N\n"
    "      --direct           OLM: weave pick by pick (Resume) instead of storing 220 picks\n"
    "  weave --resume-journal [--to M]\n"
    "                         go on after the last pick woven before weaving stopped\n"
    "                         unexpectedly (the journal beside the settings file)\n"
    "\n"
    "options for every command:\n"
    "  --settings PATH        settings file (default: $WEAVEPILOT_SETTINGS, else\n"
    "                         $XDG_CONFIG_HOME/weavepilot/lanset.ini)\n"
    "  --type T               design type: dob, imp, dw1, bmp, tif, jpg, wif (default: by extension)\n"
    "  --yes | --no           answer to questions asked on the way (default: no)\n";

struct Options {
    std::string command;
    std::string settings;
    std::string type;
    bool yes = false;
    int from = 0, to = 0, resume = 0;
    bool reverse = false, loop = false, tabby = false, direct = false, resumeJournal = false;
    std::vector<std::string> args;
};

bool number(const char* text, int& out) {
    const auto v = parseWholeInt(text);
    if (!v || *v < 1 || *v > 65535) return false;
    out = static_cast<int>(*v);
    return true;
}

bool parse(int argc, char** argv, Options& o) {
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&](std::string& out) {
            if (++i >= argc) return false;
            out = argv[i];
            return true;
        };
        auto count = [&](int& out) { return ++i < argc && number(argv[i], out); };
        bool ok = true;
        if (a == "--settings") ok = value(o.settings);
        else if (a == "--type") ok = value(o.type);
        else if (a == "--yes") o.yes = true;
        else if (a == "--no") o.yes = false;
        else if (a == "--from") ok = count(o.from);
        else if (a == "--to") ok = count(o.to);
        else if (a == "--resume") ok = count(o.resume);
        else if (a == "--reverse") o.reverse = true;
        else if (a == "--loop") o.loop = true;
        else if (a == "--tabby") o.tabby = true;
        else if (a == "--direct") o.direct = true;
        else if (a == "--resume-journal") o.resumeJournal = true;
        else if (a.size() > 1 && a[0] == '-') ok = false;
        else if (o.command.empty()) o.command = a;
        else o.args.push_back(a);
        if (!ok) {
            std::cerr << "weavepilot-cli: bad option " << a << "\n";
            return false;
        }
    }
    return !o.command.empty();
}

std::string lower(std::string s) {
    for (auto& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

bool fileTypeOf(const std::string& path, const std::string& given, FileType& type) {
    std::string t = lower(given);
    if (t.empty()) {
        const size_t dot = path.find_last_of('.');
        t = dot == std::string::npos ? "" : lower(path.substr(dot + 1));
    }
    if (t == "dob" || t == "ctm") type = FileType::Native;
    else if (t == "imp") type = FileType::Imp;
    else if (t == "dw1" || t == "dw") type = FileType::Dw1;
    else if (t == "bmp") type = FileType::Bmp;
    else if (t == "tif" || t == "tiff") type = FileType::Tiff;
    else if (t == "jpg" || t == "jpeg") type = FileType::Jpeg;
    else if (t == "wif") type = FileType::Wif;
    else return false;
    return true;
}

const char* typeName(FileType t) {
    static const char* const names[] = {"dob", "imp", "dw1", "bmp", "tif", "jpg", "wif"};
    return names[static_cast<int>(t)];
}

std::string maskList(const HookMask& m, int hooks) {
    std::string s;
    for (int h = 0; h < hooks; ++h) {
        if (!maskBit(m, h)) continue;
        if (!s.empty()) s += ',';
        s += std::to_string(h + 1);
    }
    return s;
}

int cmdConfig(Session& s) {
    s.loadSettings(false);
    const HardwareConfig& hw = s.design().hw;
    std::cout << "LoomType=" << loomTypeName(hw.loomType) << '\n'
              << "commPort=" << hw.commPort << '\n'
              << "device=" << devicePathFor(hw, "COM" + std::to_string(hw.commPort)) << '\n'
              << "hookCount=" << hw.hookCount << '\n'
              << "moduleCount=" << hw.moduleCount << '\n'
              << "modulesDeep=" << hw.modulesDeep << '\n'
              << "densityX=" << hw.densityX << '\n'
              << "densityY=" << hw.densityY << '\n'
              << "BlankHeadles=" << maskList(hw.blankHeadleMask, kMaskBits) << '\n'
              << "HookSkipMask=" << maskList(hw.hookSkipMask, kMaskBits) << '\n';
    return 0;
}

// Loads the design named on the command line through the open command.
bool loadDesign(Session& s, TerminalUI& ui, const Options& o, bool resetController) {
    if (o.args.empty()) {
        std::cerr << kUsage;
        return false;
    }
    FileType type;
    if (!fileTypeOf(o.args[0], o.type, type)) {
        std::cerr << "weavepilot-cli: unknown design type for " << o.args[0] << " (use --type)\n";
        return false;
    }
    ui.setChosenFile(o.args[0]);
    DesignLoader loader(s);
    loader.resetController = resetController;
    return loader.openCommand(type);
}

size_t distinct(const std::vector<uint32_t>& v) { return std::set<uint32_t>(v.begin(), v.end()).size(); }

int cmdInfo(Session& s, TerminalUI& ui, const Options& o) {
    s.loadSettings(false);
    if (!loadDesign(s, ui, o, false)) return 1;
    const DesignModel& d = s.design();
    std::cout << "file=" << d.designFileName << '\n' << "type=" << typeName(d.designFileType) << '\n';
    for (int i = 0; i < kHeaderSlots; ++i)
        std::cout << slotKey(static_cast<Slot>(i)) << '=' << d.header.words[static_cast<size_t>(i)] << '\n';
    std::cout << "rowBlocks=" << d.matrix.blockCount() << '\n'
              << "rowModules=" << d.matrix.rowModules() << '\n'
              << "designReady=" << (d.designReady ? 1 : 0) << '\n'
              << "shaftDraft=" << (d.shaftDraftAvailable ? 1 : 0) << '\n'
              << "threading=" << d.draft.threading.size() << '\n'
              << "tieUpBytes=" << d.draft.tieUp.size() << '\n'
              << "treadlingBytes=" << d.draft.treadling.size() << '\n'
              << "warpColours=" << distinct(d.warpColours) << '\n'
              << "weftColours=" << distinct(d.weftColours) << '\n';
    int maxNumber = 0;
    for (uint16_t n : d.weftColourNumbers) maxNumber = std::max<int>(maxNumber, n);
    std::cout << "weftColourNumbers=" << maxNumber << '\n';
    return 0;
}

int cmdRender(Session& s, TerminalUI& ui, const Options& o) {
    if (o.args.size() != 2) {
        std::cerr << kUsage;
        return 2;
    }
    s.loadSettings(false);
    if (!loadDesign(s, ui, o, false)) return 1;
    const DesignModel& d = s.design();
    const int w = d.header.warps(), h = d.header.wefts();
    // Grid row j is lift-matrix row j (pick 1 at the bottom); column x is bit x
    // (warp end 1 at the right).
    const std::string out = o.args[1];
    std::vector<uint8_t> bytes;
    if (lower(out).size() > 4 && lower(out).substr(out.size() - 4) == ".png") {
        RgbImage img(w, h);
        for (int j = 0; j < h; ++j)
            for (int x = 0; x < w; ++x)
                img.set(x, j, d.lift(RowNo{j}, x) ? d.warpColours[static_cast<size_t>(w - x - 1)]
                                                  : d.weftColours[static_cast<size_t>(h - j - 1)]);
        bytes = encodePngRgb(img);
    } else {
        std::vector<uint8_t> black(static_cast<size_t>(w) * static_cast<size_t>(h));
        for (int j = 0; j < h; ++j)
            for (int x = 0; x < w; ++x)
                black[static_cast<size_t>(j) * static_cast<size_t>(w) + static_cast<size_t>(x)] = d.lift(RowNo{j}, x);
        bytes = encodePbm(w, h, black);
    }
    std::string error;
    if (bytes.empty() || !writeFileAtomically(out, std::string(bytes.begin(), bytes.end()), &error)) {
        std::cerr << "weavepilot-cli: cannot write " << out << (error.empty() ? "" : ": " + error) << '\n';
        return 1;
    }
    return 0;
}

void onSigint(int) { TerminalUI::interrupted = true; }

int cmdWeave(Session& s, TerminalUI& ui, const Options& o) {
    s.loadSettings(true);
    // Nothing can be woven without the port; why has been said.
    if (s.driver() && !s.driver()->portOpen()) return 1;
    WeavingRun run(s);
    run.applyCaptions();
    std::optional<JournalEntry> journal;
    if (o.resumeJournal) {
        journal = s.journal().read();
        if (!journal) {
            std::cerr << "weavepilot-cli: no weaving journal (" << s.journal().path() << ")\n";
            return 1;
        }
        if (!Lifecycle(s).continueFromJournal(*journal)) return 1;
    } else if (!loadDesign(s, ui, o, true)) {
        return 1;
    }
    DesignModel& d = s.design();
    if (!d.designReady) {
        std::cerr << "weavepilot-cli: the design cannot be woven on this loom\n";
        return 1;
    }
    const int wefts = d.header.wefts();
    if (journal) {
        // The journal's range and direction, with the range's ends as given.
        if (o.from > 0) s.window().setStartWeft(o.from);
        if (o.to > 0) s.window().setEndWeft(o.to);
        const RunPanel& panel = s.window().panel();
        const int next = nextPickInRange(journal->pick, panel.startWeft, panel.endWeft,
                                         journal->reverse, journal->loop);
        if (next == 0) {
            std::cout << "pick " << journal->pick << " of " << journal->designFile
                      << " was the last of its range: nothing is left to weave" << std::endl;
            s.journal().remove();
            return 0;
        }
        s.window().setNextWeft(next);
    } else {
        s.window().setStartWeft(std::min(o.from > 0 ? o.from : 1, wefts));
        s.window().setEndWeft(std::min(o.to > 0 ? o.to : wefts, wefts));
        // Without --resume the run resumes where its direction begins; a pick
        // outside the range is the run's to refuse.
        const RunPanel& panel = s.window().panel();
        s.window().setNextWeft(o.resume > 0 ? o.resume : o.reverse ? panel.endWeft : panel.startWeft);
        s.window().setChecked(Control::ReverseBox, o.reverse);
        s.window().setChecked(Control::LoopCheck, o.loop);
        s.window().setChecked(Control::TabbyCheck, o.tabby);
    }

    // Without Loop the weaver presses Stop once the last pick is woven; the
    // command line does it for them.
    const bool loop = s.window().checked(Control::LoopCheck);
    const int last = s.window().checked(Control::ReverseBox) ? s.window().panel().startWeft
                                                               : s.window().panel().endWeft;
    run.onPickWoven = [&](int pick) {
        std::cout << "pick " << pick << std::endl;
        if (!loop && pick == last) run.StopButtonClick();
    };
    ui.onInterrupt([](void* r) { static_cast<WeavingRun*>(r)->StopButtonClick(); }, &run);
    std::signal(SIGINT, onSigint);

    if (o.resume > 0 || o.direct || journal)
        run.ResumeButtonClick();
    else
        run.StartButtonClick();
    std::cout << "current pick " << d.currentPick << std::endl;
    // The program ends cleanly: the journal of this weave has served its turn.
    if (s.journal().recorded() || journal) s.journal().remove();
    return s.runState() == RunState::Idle ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    if (argc >= 2 && (std::strcmp(argv[1], "help") == 0 || std::strcmp(argv[1], "--help") == 0)) {
        std::cout << kUsage;
        return 0;
    }
    if (!parse(argc, argv, o)) {
        std::cerr << kUsage;
        return 2;
    }
    TerminalUI ui(std::cout, std::cerr, o.yes);
    Session session(ui, settingsPath(o.settings));
    if (o.command == "config") return cmdConfig(session);
    if (o.command == "info") return cmdInfo(session, ui, o);
    if (o.command == "render") return cmdRender(session, ui, o);
    if (o.command == "weave") return cmdWeave(session, ui, o);
    std::cerr << "weavepilot-cli: unknown command '" << o.command << "'\n" << kUsage;
    return 2;
}
