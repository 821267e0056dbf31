// weavepilot-cli config: the hardware configuration as the settings file gives it.
#include <CLI/CLI.hpp>

#include <iostream>

#include "app/session.h"
#include "cli/command.h"
#include "model/settings.h"

namespace wp {
namespace {

std::string maskList(const HookMask& m, int hooks) {
    std::string s;
    for (int h = 0; h < hooks; ++h) {
        if (!maskBit(m, h)) continue;
        if (!s.empty()) s += ',';
        s += std::to_string(h + 1);
    }
    return s;
}

int config(CliContext& ctx) {
    Session& s = ctx.session;
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

}  // namespace

void addConfigCommand(CommandSet& commands) {
    commands.add("config",
                 "print the hardware configuration from the settings file, as key=value lines",
                 config);
}

}  // namespace wp
