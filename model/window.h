#pragma once

#include <array>
#include <cstddef>
#include <string>

#include "model/userio.h"

namespace wp {

// The state of the main window's controls and run panel that the core sets.
// Every change is passed on to the front end, which mirrors it.
class WindowState {
public:
    explicit WindowState(UserInterface& ui);

    const ControlState& control(Control c) const { return controls_[index(c)]; }
    bool checked(Control c) const { return control(c).checked; }
    void setEnabled(Control c, bool on);
    void setChecked(Control c, bool on);
    void setVisible(Control c, bool on);
    void setCaption(Control c, const std::string& text);

    const RunPanel& panel() const { return panel_; }
    void setStartWeft(int pick);
    void setEndWeft(int pick);
    void setNextWeft(int pick);
    void setCurrentWeft(const std::string& text);
    // Replaces the whole panel at once (one notification).
    void setPanel(const RunPanel& panel);

private:
    static size_t index(Control c) { return static_cast<size_t>(c); }
    void notify(Control c);
    void notifyPanel();

    std::array<ControlState, static_cast<size_t>(Control::Count)> controls_{};
    RunPanel panel_;
    UserInterface& ui_;
};

}  // namespace wp
