#include "model/settings.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

#include "model/design.h"

namespace wp {
namespace {

std::string upper(std::string s) {
    for (auto& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

// Values the loom cannot have would divide by zero or walk past the hook masks;
// each is replaced by the nearest sound value and reported once.
void sanitize(HardwareConfig& hw, int& commPort, UserInterface& ui) {
    std::string fixes;
    auto fix = [&](const char* key, int& v, int lo, int hi) {
        if (v >= lo && v <= hi) return;
        const int was = v;
        v = std::clamp(v, lo, hi);
        fixes.append("\n").append(key).append("=").append(std::to_string(was));
        fixes.append(" is not possible; using ").append(std::to_string(v)).append(".");
    };
    fix("chunksize", hw.chunksize, 1, 655);
    // COM1 to COM255 are the ports a system can name.
    fix("commPort", commPort, 1, 255);
    // Less than one module is a loom without hooks: every design would be cut to nothing.
    fix("controllerArrangement", hw.hookCount, kModuleHooks, kMaxHooks);
    fix("modulesDeep", hw.modulesDeep, 1, kMaxModules);
    fix("densityX", hw.densityX, 1, kMaxHooks);
    fix("densityY", hw.densityY, 1, kMaxHooks);
    if (!fixes.empty())
        ui.errorBox("Invalid hardware settings in " + std::string(kSettingsFileName) + ":" + fixes);
}

}  // namespace

std::string settingsPath(const std::string& explicitPath) {
    if (!explicitPath.empty()) return explicitPath;
    if (const char* env = std::getenv("WEAVEPILOT_SETTINGS"); env && *env) return env;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg)
        return std::string(xdg) + "/weavepilot/" + kSettingsFileName;
    const char* home = std::getenv("HOME");
    return std::string(home && *home ? home : ".") + "/.config/weavepilot/" + kSettingsFileName;
}

bool settingsPathChosen(const std::string& explicitPath) {
    const char* env = std::getenv("WEAVEPILOT_SETTINGS");
    return !explicitPath.empty() || (env && *env);
}

void readSettings(const IniFile& ini, HardwareConfig& hw, UserInterface& ui) {
    hw.chunksize = ini.readInt("Mirlo", "chunksize", 50);
    hw.MaxValves = ini.readInt("Mirlo", "MaxValves", 0);
    hw.PowerOnTime = ini.readInt("Mirlo", "PowerOnTime", 0);
    hw.Shuffle = ini.readInt("Mirlo", "Shuffle", 1) != 0;
    hw.Hexfile = ini.readString("Mirlo", "Hexfile", "DS_MAIN.HEX");
    const std::string loomType = ini.readString("Mirlo", "LoomType", "JX3");
    // Exact, case-sensitive comparison: "select" is an ordinary JX3 loom.
    hw.loomType = loomType == "Select" ? LoomType::Select
                  : loomType == "OLM"  ? LoomType::OLM
                                       : LoomType::JX3;

    hw.PumpTimeout = ini.readInt("WeavePilot", "PumpTimeout", 60);
    int commPort = ini.readInt("WeavePilot", "commPort", 1);
    hw.hookCount = ini.readInt("WeavePilot", "controllerArrangement", 220);
    hw.modulesDeep = ini.readInt("WeavePilot", "modulesDeep", 1);
    const std::string blank = ini.readString("WeavePilot", "BlankHeadles", "");
    hw.densityX = ini.readInt("WeavePilot", "densityX", 1);
    hw.densityY = ini.readInt("WeavePilot", "densityY", 1);
    sanitize(hw, commPort, ui);
    hw.commPort = static_cast<uint16_t>(commPort);
    hw.maxWefts = hw.chunksize * 100;
    hw.moduleCount = hw.hookCount / kModuleHooks;

    hw.ports.clear();
    for (const auto& [key, value] : ini.sectionEntries("Ports")) hw.ports[upper(key)] = value;

    parseBlankHeadles(blank, hw, ui);
    // The blank headles carry no warp end whatever the densities: without them
    // in the skip mask every end after the first blank headle lands a hook off.
    densityReduction(hw, true);
}

void parseBlankHeadles(const std::string& text, HardwareConfig& hw, UserInterface& ui) {
    hw.blankHeadleMask.fill(0);
    hw.blankHeadleCount = 0;
    std::string rest = text;
    while (!rest.empty()) {
        std::string token;
        const size_t comma = rest.find(',');
        // A comma in the first place makes the whole rest one token.
        if (comma != std::string::npos && comma >= 1) {
            token = rest.substr(0, comma);
            rest.erase(0, comma + 1);
        } else {
            token = rest;
            rest.clear();
        }
        const long long n = parseWholeInt(token).value_or(0);
        if (n >= 1 && n <= hw.hookCount) {
            setMaskBit(hw.blankHeadleMask, static_cast<int>(n - 1));
            ++hw.blankHeadleCount;
        } else {
            ui.errorBox(kBlankHeadlesInvalid);
        }
    }
}

namespace {

// Keeps X of every Y hooks along positions 0..end-1 of a walk; blank headles
// count toward the hooks dropped in their group.
template <typename HookAt>
void reduceRange(HookMask& dm, int end, int X, int Y, HookAt hook) {
    int keep = X, drop = Y - X, seen = 0;
    auto newGroup = [&] {
        keep = X;
        drop = Y - X;
        seen = 0;
    };
    for (int i = 0; i < end; ++i) {
        if (maskBit(dm, hook(i))) {
            --drop;
            if (++seen == Y) newGroup();
        } else {
            --keep;
            if (keep > 0) ++seen;
            if (keep == 0) {
                while (drop > 0) {
                    if (++i >= end) break;
                    setMaskBit(dm, hook(i));
                    --drop;
                }
                newGroup();
            }
        }
    }
}

}  // namespace

void densityReduction(HardwareConfig& hw, bool apply) {
    HookMask& dm = hw.dialogMask;
    dm = hw.blankHeadleMask;
    const int D = std::max(1, hw.modulesDeep);
    const int X = hw.densityX;
    const int Y = hw.densityY;
    if (Y > X && hw.moduleCount % D != 0) {
        // Module rows of unequal length: reduce along the very walk that places
        // the warp ends, so density means the same hooks in both places.
        const std::vector<int> order = hookWalkOrder(hw);
        reduceRange(dm, static_cast<int>(order.size()), X, Y,
                    [&](int i) { return order[static_cast<size_t>(i)]; });
    } else if (Y > X) {
        const int S = hw.moduleCount / D * kModuleHooks;
        reduceRange(dm, hw.hookCount, X, Y, [&](int i) { return (i % D) * S + i / D; });
    }
    if (apply) hw.hookSkipMask = dm;
}

void writeHardwareSection(IniFile& ini, HardwareConfig& hw) {
    constexpr const char* kSection = "WeavePilot";
    ini.eraseSection(kSection);
    ini.setValue(kSection, "commPort", std::to_string(hw.commPort));
    ini.setValue(kSection, "controllerArrangement", std::to_string(hw.moduleCount * kModuleHooks));
    ini.setValue(kSection, "modulesDeep", std::to_string(hw.modulesDeep));
    ini.setValue(kSection, "PumpTimeout", std::to_string(hw.PumpTimeout));
    // More warp ends than hooks in a group is no density: left out, read back as 1 and 1.
    if (hw.densityY >= hw.densityX) {
        ini.setValue(kSection, "densityX", std::to_string(hw.densityX));
        ini.setValue(kSection, "densityY", std::to_string(hw.densityY));
    }
    std::string list;
    int count = 0;
    for (int h = 0; h < hw.hookCount && h < kMaskBits; ++h) {
        if (!maskBit(hw.blankHeadleMask, h)) continue;
        if (count++ > 0) list += ',';
        list += std::to_string(h + 1);
    }
    if (count > 0) ini.setValue(kSection, "BlankHeadles", list);
    hw.blankHeadleCount = count;
}

std::string devicePathFor(const HardwareConfig& hw, const std::string& portName) {
    if (auto it = hw.ports.find(upper(portName)); it != hw.ports.end()) return it->second;
    if (portName.size() > 3 && upper(portName.substr(0, 3)) == "COM") {
        const auto n = parseWholeInt(portName.substr(3));
        if (n && *n >= 1) return "/dev/ttyS" + std::to_string(*n - 1);
    }
    return portName;
}

}  // namespace wp
