#include "ui/runpanel.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <QVBoxLayout>

#include <algorithm>

#include "ui/grids.h"

namespace wp::ui {

namespace {

constexpr int kDefaultZoom = 6;

QSpinBox* spinBox(int lo, int hi, int value) {
    auto* box = new QSpinBox;
    box->setRange(lo, hi);
    box->setValue(value);
    box->setMinimumWidth(70);
    return box;
}

QWidget* labelled(const QString& caption, QWidget* field) {
    auto* w = new QWidget;
    auto* l = new QVBoxLayout(w);
    l->setContentsMargins(4, 2, 4, 2);
    l->setSpacing(2);
    l->addWidget(new QLabel(caption));
    l->addWidget(field);
    return w;
}

}  // namespace

RunPanelView::RunPanelView(QWidget* parent) : QWidget(parent) {
    setFixedHeight(65);
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(4, 0, 4, 0);
    gridSize_ = spinBox(1, 12, kDefaultZoom);
    startWeft_ = spinBox(1, 50, 1);
    endWeft_ = spinBox(1, 50, 1);
    nextWeft_ = spinBox(1, 220, 1);
    colourBox_ = new QLineEdit;
    colourBox_->setReadOnly(true);
    colourBox_->setFixedWidth(60);
    colourBox_->setAutoFillBackground(true);
    currentWeft_ = new QLineEdit;
    currentWeft_->setReadOnly(true);
    currentWeft_->setFixedWidth(80);
    row->addWidget(labelled("Grid size", gridSize_));
    row->addWidget(labelled("Start weft", startWeft_));
    row->addWidget(labelled("End weft", endWeft_));
    row->addWidget(labelled("Color", colourBox_));
    row->addWidget(labelled("Next weft on resume", nextWeft_));
    row->addWidget(labelled("Current weft", currentWeft_));
    row->addStretch(1);

    connect(gridSize_, &QSpinBox::valueChanged, this, &RunPanelView::zoomChanged);
    connect(startWeft_, &QSpinBox::valueChanged, this, [this](int v) {
        if (!applying_) emit startWeftEdited(v);
    });
    connect(endWeft_, &QSpinBox::valueChanged, this, [this](int v) {
        if (!applying_) emit endWeftEdited(v);
    });
    connect(nextWeft_, &QSpinBox::valueChanged, this, [this](int v) {
        if (!applying_) emit nextWeftEdited(v);
    });
}

RunPanel RunPanelView::show(const RunPanel& panel) {
    applying_ = true;
    startWeft_->setValue(panel.startWeft);
    endWeft_->setValue(panel.endWeft);
    nextWeft_->setValue(panel.nextWeft);
    currentWeft_->setText(QString::fromStdString(panel.currentWeft));
    applying_ = false;
    RunPanel kept = panel;
    kept.startWeft = startWeft_->value();
    kept.endWeft = endWeft_->value();
    kept.nextWeft = nextWeft_->value();
    return kept;
}

void RunPanelView::setMaxima(int wefts) {
    applying_ = true;
    for (QSpinBox* box : {startWeft_, endWeft_, nextWeft_}) box->setMaximum(std::max(1, wefts));
    applying_ = false;
}

void RunPanelView::showWeftColour(uint32_t colour, uint16_t number) {
    QPalette pal = colourBox_->palette();
    const QRgb rgb = fromBgr(colour);
    pal.setColor(QPalette::Base, QColor::fromRgb(rgb));
    // The colour number stays readable on dark wefts.
    pal.setColor(QPalette::Text, qGray(rgb) < 128 ? Qt::white : Qt::black);
    colourBox_->setPalette(pal);
    if (number != 0) colourBox_->setText(QString::number(number));
}

void RunPanelView::clearColour() {
    colourBox_->setPalette(QPalette());
    colourBox_->clear();
}

}  // namespace wp::ui
