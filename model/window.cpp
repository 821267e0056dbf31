#include "model/window.h"

namespace wp {

WindowState::WindowState(UserInterface& ui) : ui_(ui) {
    controls_[index(Control::StartButton)].caption = "Start";
    controls_[index(Control::StopButton)].caption = "Stop";
    controls_[index(Control::ResumeButton)].caption = "Resume";
    controls_[index(Control::ReverseBox)].caption = "Reverse";
    controls_[index(Control::LoopCheck)].caption = "Loop";
    controls_[index(Control::TabbyCheck)].caption = "Tabby";
    controls_[index(Control::InvertBox)].caption = "Invert";
    controls_[index(Control::ShaftPlot)].caption = "ShaftPlot";
    controls_[index(Control::FileMenu)].caption = "File";
    controls_[index(Control::ControlMenu)].caption = "Control";
    // Nothing may be woven before a design is loaded and the controller answered.
    for (Control c :
         {Control::StartButton, Control::StopButton, Control::ResumeButton, Control::InvertBox})
        controls_[index(c)].enabled = false;
}

void WindowState::notify(Control c) {
    ui_.controlChanged(c, control(c));
}
void WindowState::notifyPanel() {
    ui_.panelChanged(panel_);
}

void WindowState::setEnabled(Control c, bool on) {
    controls_[index(c)].enabled = on;
    notify(c);
}

void WindowState::setChecked(Control c, bool on) {
    controls_[index(c)].checked = on;
    notify(c);
}

void WindowState::setVisible(Control c, bool on) {
    controls_[index(c)].visible = on;
    notify(c);
}

void WindowState::setCaption(Control c, const std::string& text) {
    controls_[index(c)].caption = text;
    notify(c);
}

void WindowState::setStartWeft(int pick) {
    panel_.startWeft = pick;
    notifyPanel();
}

void WindowState::setEndWeft(int pick) {
    panel_.endWeft = pick;
    notifyPanel();
}

void WindowState::setNextWeft(int pick) {
    panel_.nextWeft = pick;
    notifyPanel();
}

void WindowState::setCurrentWeft(const std::string& text) {
    panel_.currentWeft = text;
    notifyPanel();
}

void WindowState::setPanel(const RunPanel& panel) {
    panel_ = panel;
    notifyPanel();
}

}  // namespace wp
