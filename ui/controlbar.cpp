#include "ui/controlbar.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>

namespace wp::ui {

ControlBar::ControlBar(const WindowState& state, QWidget* parent) : QWidget(parent) {
    setFixedHeight(103);
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(6, 4, 6, 4);
    pickLabel_ = new QLabel;
    pickLabel_->setMinimumWidth(200);
    bottomLabel_ = new QLabel;
    bottomLabel_->setVisible(false);
    bottomLabel_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    grid->addWidget(pickLabel_, 0, 0, 1, 3);
    int col = 0;
    for (Control c : {Control::StartButton, Control::StopButton, Control::ResumeButton}) {
        auto* b = new QPushButton(QString::fromStdString(state.control(c).caption));
        b->setMinimumWidth(90);
        buttons_[c] = b;
        grid->addWidget(b, 1, col++);
        connect(b, &QPushButton::clicked, this, [this, c] { emit buttonClicked(c); });
    }
    col = 3;
    for (Control c : {Control::TabbyCheck, Control::ShaftPlot, Control::ReverseBox,
                      Control::InvertBox, Control::LoopCheck}) {
        auto* box = new QCheckBox(QString::fromStdString(state.control(c).caption));
        checks_[c] = box;
        grid->addWidget(box, 1, col++);
        // clicked() comes from the weaver only, never from setChecked().
        connect(box, &QCheckBox::clicked, this, [this, c](bool on) { emit boxClicked(c, on); });
    }
    grid->addWidget(bottomLabel_, 2, 0, 1, col + 1);
    grid->setColumnStretch(col, 1);
}

QPushButton* ControlBar::button(Control c) const {
    const auto it = buttons_.find(c);
    return it == buttons_.end() ? nullptr : it->second;
}

QCheckBox* ControlBar::checkBox(Control c) const {
    const auto it = checks_.find(c);
    return it == checks_.end() ? nullptr : it->second;
}

bool ControlBar::apply(Control c, const ControlState& st) {
    if (QPushButton* b = button(c)) {
        b->setEnabled(st.enabled);
        b->setVisible(st.visible);
        b->setText(QString::fromStdString(st.caption));
        return true;
    }
    if (QCheckBox* box = checkBox(c)) {
        box->setEnabled(st.enabled);
        box->setVisible(st.visible);
        box->setChecked(st.checked);
        box->setText(QString::fromStdString(st.caption));
        return true;
    }
    return false;
}

}  // namespace wp::ui
