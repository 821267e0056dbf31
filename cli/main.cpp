// weavepilot-cli: the program's core without windows, for scripts, CI and support.
#include <csignal>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "app/session.h"
#include "app/settings.h"
#include "cli/terminalui.h"

namespace {

using namespace wp;

const char* const kUsage =
    "usage: weavepilot-cli COMMAND [options]\n"
    "\n"
    "commands:\n"
    "  config                 print the hardware configuration from the settings file\n"
    "\n"
    "options for every command:\n"
    "  --settings PATH        settings file to use (default: $WEAVEPILOT_SETTINGS, else\n"
    "                         $XDG_CONFIG_HOME/weavepilot/lanset.ini)\n"
    "  --yes | --no           answer to questions asked on the way (default: no)\n";

struct Options {
    std::string command;
    std::string settings;
    bool yes = false;
    std::vector<std::string> args;
};

bool parse(int argc, char** argv, Options& o) {
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--settings") {
            if (++i >= argc) return false;
            o.settings = argv[i];
        } else if (a == "--yes") {
            o.yes = true;
        } else if (a == "--no") {
            o.yes = false;
        } else if (o.command.empty()) {
            o.command = a;
        } else {
            o.args.push_back(a);
        }
    }
    return !o.command.empty();
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
    const HardwareConfig& hw = s.design.hw;
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

}  // namespace

int main(int argc, char** argv) {
    Options o;
    if (!parse(argc, argv, o) || o.command == "help" || o.command == "--help") {
        std::cerr << kUsage;
        return o.command == "help" || o.command == "--help" ? 0 : 2;
    }
    TerminalUI ui(std::cout, std::cerr, o.yes);
    Session session(ui, settingsPath(o.settings));
    if (o.command == "config") return cmdConfig(session);
    std::cerr << "weavepilot-cli: unknown command '" << o.command << "'\n" << kUsage;
    return 2;
}
