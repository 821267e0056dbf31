#pragma once

#include <array>
#include <string>

#include "app/session.h"

namespace wp {

// The hardware settings dialog without its widgets: what every control does to
// the configuration, the module grid of 220 hooks and the saved file. The window
// mirrors controls() and cell() after each call; the CLI and tests drive it directly.
class HardwareSettings {
public:
    inline static constexpr int kGridColumns = 20;  // hooks per grid row
    inline static constexpr int kGridRows = 11;     // 11 x 20 = 220 hooks

    // The controls as the dialog shows them.
    struct Controls {
        int loomTypeItem = 0;  // 0 "?", 1 "JX3", 2 "OLM"
        bool loomTypeVisible = false;
        bool loomTypeEnabled = false;
        bool jx3Controls = true;  // modules, module, density, pump, grid
        int port = 1;
        int modules = 1;
        int module = 1;
        int moduleMax = 1;
        int modulesDeep = 1;
        int modulesDeepMax = 1;
        int densityX = 1;
        int densityXMax = 1;
        int densityY = 1;
        int pump = 60;
        bool showDensity = false;
        std::string hookNumber;
    };

    explicit HardwareSettings(Session& s);

    const Controls& controls() const { return c_; }
    // "X" marks of the module grid: column 1..20, row 1..11.
    bool cell(int column, int row) const;

    // Every time the dialog opens.
    void show();

    // Control changes, each with the value the control now holds.
    void setPort(int value);
    void setModules(int value);
    void setModule(int value);
    void setModulesDeep(int value);
    void setDensityX(int value);
    void setDensityY(int value);
    void setShowDensity(bool on);
    void setPumpTimeout(int value);
    void setLoomType(int item);

    // A click puts the cell's hook number in the hook number box; a double click
    // also toggles its mark (not while density is shown).
    void clickCell(int column, int row);
    void doubleClickCell(int column, int row);
    // Enter in the hook number box.
    void enterHookNumber(const std::string& text);

    // OK: the blank headles and the density go into the hook skip mask.
    void ok();
    // "Save settings": the WeavePilot section written afresh; false with the reason.
    bool save(std::string* error = nullptr);

    // The device "COM n" stands for, and a different device for that port
    // (written to the [Ports] section by save()).
    std::string portDevice() const;
    void setPortDevice(const std::string& device);

private:
    void showModule(int m);
    void takeModule(int m);
    void commit();
    void updateVisibility();
    void applyCaptions();
    LoomType driverType() const;

    Session& s_;
    Controls c_;
    std::array<bool, kModuleHooks> cells_{};
    std::string portDevice_;  // chosen in the dialog; empty: keep the [Ports] entry
};

}  // namespace wp
