#include "app/hardwaresettings.h"

#include <algorithm>

#include "model/settings.h"

namespace wp {

HardwareSettings::HardwareSettings(Session& s) : s_(s) {}

LoomType HardwareSettings::driverType() const {
    return s_.driver() ? s_.driver()->loomType() : LoomType::Select;
}

bool HardwareSettings::cell(int column, int row) const {
    if (column < 1 || column > kGridColumns || row < 1 || row > kGridRows) return false;
    return cells_[static_cast<size_t>((row - 1) * kGridColumns + column - 1)];
}

void HardwareSettings::showModule(int m) {
    const HardwareConfig& hw = s_.design().hw;
    for (int i = 0; i < kModuleHooks; ++i)
        cells_[static_cast<size_t>(i)] = maskBit(hw.dialogMask, (m - 1) * kModuleHooks + i);
}

void HardwareSettings::takeModule(int m) {
    HardwareConfig& hw = s_.design().hw;
    for (int i = 0; i < kModuleHooks; ++i) {
        const int h = (m - 1) * kModuleHooks + i;
        if (h >= kMaskBits) break;
        const auto bit = static_cast<uint8_t>(1u << (h % 8));
        auto& byte = hw.dialogMask[static_cast<size_t>(h / 8)];
        if (cells_[static_cast<size_t>(i)])
            byte |= bit;
        else
            byte &= static_cast<uint8_t>(~bit);
    }
}

void HardwareSettings::commit() {
    if (c_.showDensity) return;
    HardwareConfig& hw = s_.design().hw;
    takeModule(c_.module);
    hw.blankHeadleMask = hw.dialogMask;
}

void HardwareSettings::updateVisibility() {
    const LoomType type = driverType();
    const bool select = s_.design().hw.loomType == LoomType::Select;
    c_.loomTypeVisible = select || type == LoomType::OLM;
    c_.loomTypeEnabled = select;
    c_.jx3Controls = type == LoomType::JX3;
    c_.loomTypeItem = type == LoomType::JX3 ? 1 : type == LoomType::OLM ? 2 : 0;
}

void HardwareSettings::show() {
    HardwareConfig& hw = s_.design().hw;
    c_.module = 1;
    c_.port = std::max<int>(1, hw.commPort);
    updateVisibility();
    c_.modules = hw.moduleCount;
    c_.moduleMax = hw.moduleCount;
    c_.modulesDeepMax = hw.moduleCount;
    c_.modulesDeep = hw.modulesDeep;
    c_.densityY = std::max(1, hw.densityY);
    c_.densityXMax = c_.densityY;
    c_.densityX = std::min(hw.densityX, c_.densityXMax);
    c_.hookNumber.clear();
    c_.showDensity = false;
    hw.dialogMask = hw.blankHeadleMask;
    showModule(1);
    portDevice_.clear();
}

void HardwareSettings::setPort(int value) {
    if (value < 1) return;
    c_.port = value;
    s_.design().hw.commPort = static_cast<uint16_t>(std::min(value, 255));
}

void HardwareSettings::setModules(int value) {
    HardwareConfig& hw = s_.design().hw;
    value = std::clamp(value, 1, kMaxModules);
    c_.modules = value;
    hw.moduleCount = value;
    hw.hookCount = value * kModuleHooks;
    if (c_.module > value) setModule(value);
    c_.moduleMax = value;
    if (c_.modulesDeep > value) {
        c_.modulesDeep = value;
        hw.modulesDeep = value;
    }
    c_.modulesDeepMax = value;
}

void HardwareSettings::setModule(int value) {
    HardwareConfig& hw = s_.design().hw;
    if (c_.showDensity)
        densityReduction(hw, false);
    else
        commit();
    c_.module = value < 1 ? 1 : std::min(value, hw.moduleCount);
    showModule(c_.module);
}

void HardwareSettings::setModulesDeep(int value) {
    HardwareConfig& hw = s_.design().hw;
    value = std::clamp(value, 1, std::max(1, hw.moduleCount));
    c_.modulesDeep = value;
    hw.modulesDeep = value;
}

void HardwareSettings::setDensityX(int value) {
    HardwareConfig& hw = s_.design().hw;
    value = std::clamp(value, 1, c_.densityXMax);
    c_.densityX = value;
    hw.densityX = value;
    if (c_.showDensity) {
        densityReduction(hw, false);
        showModule(c_.module);
    }
}

void HardwareSettings::setDensityY(int value) {
    HardwareConfig& hw = s_.design().hw;
    value = std::clamp(value, 1, kModuleHooks);
    c_.densityY = value;
    hw.densityY = value;
    if (c_.densityX > value) {
        c_.densityX = value;
        hw.densityX = value;
    }
    c_.densityXMax = value;
    if (c_.showDensity) {
        densityReduction(hw, false);
        showModule(c_.module);
    }
}

void HardwareSettings::setShowDensity(bool on) {
    HardwareConfig& hw = s_.design().hw;
    if (on == c_.showDensity) return;
    if (on) {
        takeModule(c_.module);
        hw.blankHeadleMask = hw.dialogMask;
        c_.showDensity = true;
        densityReduction(hw, false);
    } else {
        c_.showDensity = false;
        hw.dialogMask = hw.blankHeadleMask;
    }
    showModule(c_.module);
}

void HardwareSettings::setPumpTimeout(int value) {
    c_.pump = value;
    s_.design().hw.PumpTimeout = value >= 11 && value <= 511 ? value : 60;
}

void HardwareSettings::applyCaptions() {
    const bool jx3 = driverType() == LoomType::JX3;
    s_.window().setCaption(Control::StartButton, jx3 ? "Start" : "220");
    s_.window().setCaption(Control::ResumeButton, jx3 ? "Resume" : "Direct");
}

void HardwareSettings::setLoomType(int item) {
    HardwareConfig& hw = s_.design().hw;
    if (hw.loomType != LoomType::Select) return;
    const LoomType type = item == 1 ? LoomType::JX3 : item == 2 ? LoomType::OLM : LoomType::Select;
    s_.createDriver(type);
    if (type == LoomType::JX3) hw.hookCount = hw.moduleCount * kModuleHooks;
    // A failure here is not reported: the weaving commands say so when used.
    if (s_.driver()) s_.driver()->OpenPort(hw.commPort, false);
    // A design loaded for the other loom may not be weavable on this one.
    DesignModel& d = s_.design();
    if (d.hasDesign()) {
        d.designReady = s_.designWeavable();
        const bool go = d.designReady && s_.controllerAnswered();
        s_.window().setEnabled(Control::StartButton, go);
        s_.window().setEnabled(Control::ResumeButton, go);
    }
    updateVisibility();
    applyCaptions();
}

void HardwareSettings::clickCell(int column, int row) {
    if (column < 1 || column > kGridColumns || row < 1 || row > kGridRows) return;
    c_.hookNumber = std::to_string((row - 1) * kGridColumns + column);
}

void HardwareSettings::doubleClickCell(int column, int row) {
    if (column < 1 || column > kGridColumns || row < 1 || row > kGridRows) return;
    clickCell(column, row);
    if (c_.showDensity) return;
    auto& mark = cells_[static_cast<size_t>((row - 1) * kGridColumns + column - 1)];
    mark = !mark;
}

void HardwareSettings::enterHookNumber(const std::string& text) {
    const auto n = parseWholeInt(text);
    if (!n) {
        c_.hookNumber.clear();
        return;
    }
    c_.hookNumber = text;
    if (c_.showDensity || *n < 1 || *n > kModuleHooks) return;
    auto& mark = cells_[static_cast<size_t>(*n - 1)];
    mark = !mark;
}

void HardwareSettings::ok() {
    HardwareConfig& hw = s_.design().hw;
    commit();
    densityReduction(hw, true);
}

std::string HardwareSettings::portDevice() const {
    if (!portDevice_.empty()) return portDevice_;
    return devicePathFor(s_.design().hw, "COM" + std::to_string(s_.design().hw.commPort));
}

void HardwareSettings::setPortDevice(const std::string& device) {
    portDevice_ = device;
    HardwareConfig& hw = s_.design().hw;
    hw.ports["COM" + std::to_string(hw.commPort)] = device;
}

bool HardwareSettings::save(std::string* error) {
    HardwareConfig& hw = s_.design().hw;
    commit();
    // The file as it is now on disk: the close may have written it since start-up.
    IniFile ini;
    ini.load(s_.settingsFile());
    writeHardwareSection(ini, hw);
    if (!portDevice_.empty())
        ini.setValue("Ports", "COM" + std::to_string(hw.commPort), portDevice_);
    if (!ini.save(s_.settingsFile(), error)) return false;
    s_.settings() = ini;
    return true;
}

}  // namespace wp
