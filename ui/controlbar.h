#pragma once

#include <QWidget>

#include <map>

#include "model/window.h"

class QCheckBox;
class QLabel;
class QPushButton;

namespace wp::ui {

// The bottom panel: the pick label, the run buttons (Start, Stop, Resume), the
// check boxes (Tabby, ShaftPlot, Reverse, Invert, Loop) and the bottom label.
// The controls mirror the core's window state; clicks are passed on as signals.
class ControlBar : public QWidget {
    Q_OBJECT
public:
    explicit ControlBar(const WindowState& state, QWidget* parent = nullptr);

    QPushButton* button(Control c) const;
    QCheckBox* checkBox(Control c) const;
    QLabel* pickLabel() const { return pickLabel_; }
    QLabel* bottomLabel() const { return bottomLabel_; }

    // Mirrors one control's state; false when the control is not on this panel.
    bool apply(Control c, const ControlState& st);

signals:
    void buttonClicked(wp::Control c);
    // From the weaver only, never from the core setting the box.
    void boxClicked(wp::Control c, bool checked);

private:
    QLabel* pickLabel_ = nullptr;
    QLabel* bottomLabel_ = nullptr;
    std::map<Control, QPushButton*> buttons_;
    std::map<Control, QCheckBox*> checks_;
};

}  // namespace wp::ui
