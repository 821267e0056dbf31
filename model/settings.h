#pragma once

#include <string>

#include "model/hardware.h"
#include "model/inifile.h"
#include "model/userio.h"

namespace wp {

inline constexpr const char* kSettingsFileName = "lanset.ini";
inline constexpr const char* kBlankHeadlesInvalid =
    "Description of disconnected warp ends is invalid.";

// Where the settings file lives: an explicit path (the --settings option) wins,
// then $WEAVEPILOT_SETTINGS, then $XDG_CONFIG_HOME/weavepilot/lanset.ini, then
// ~/.config/weavepilot/lanset.ini.
std::string settingsPath(const std::string& explicitPath = {});
// Whether the weaver named the settings file (the option or $WEAVEPILOT_SETTINGS):
// then a file that cannot be read is worth a word, not a silent first start.
bool settingsPathChosen(const std::string& explicitPath = {});

// Fills the hardware configuration from the Mirlo and WeavePilot sections and
// the [Ports] map, builds the blank-headle mask and, when density reduction
// applies, the hook skip mask. Boxes go to ui.
void readSettings(const IniFile& ini, HardwareConfig& hw, UserInterface& ui);

// Parses a BlankHeadles list into the blank-headle mask and count.
void parseBlankHeadles(const std::string& text, HardwareConfig& hw, UserInterface& ui);

// Recomputes the dialog mask from the blank-headle mask and the densities; with
// apply set copies it into the hook skip mask.
void densityReduction(HardwareConfig& hw, bool apply);

// Writes the WeavePilot section afresh from the configuration (the rest of the
// file is left as it is) and sets the blank-headle count to the hooks written.
void writeHardwareSection(IniFile& ini, HardwareConfig& hw);

// Device path that "COMn" stands for: the [Ports] entry, else /dev/ttyS<n-1>.
std::string devicePathFor(const HardwareConfig& hw, const std::string& portName);

}  // namespace wp
