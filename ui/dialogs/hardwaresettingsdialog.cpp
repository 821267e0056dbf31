#include "ui/dialogs/hardwaresettingsdialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>
#include <QSpinBox>
#include <QTableWidget>
#include <QVBoxLayout>

#include "loom/serialdevices.h"

namespace wp::ui {
namespace {

QString qs(const std::string& s) {
    return QString::fromStdString(s);
}

QSpinBox* spin(int lo, int hi, int value) {
    auto* b = new QSpinBox;
    b->setRange(lo, hi);
    b->setValue(value);
    return b;
}

}  // namespace

TForm2::TForm2(Session& s, QWidget* parent) : QDialog(parent), s_(s), logic_(s) {
    setWindowTitle("Hardware settings");
    setModal(true);
    setFont(QFont("Sans Serif", 10, QFont::Bold));

    loomType_ = new QComboBox;
    loomType_->addItems({"?", "JX3", "OLM"});
    port_ = spin(1, 12, 1);
    deviceLabel_ = new QLabel;
    device_ = new QComboBox;
    device_->setToolTip("Serial devices present: pick the one the loom is on");
    modules_ = spin(1, 16, 1);
    modulesDeep_ = spin(1, 16, 1);
    densityX_ = spin(1, 220, 1);
    densityY_ = spin(1, 220, 1);
    showDensity_ = new QCheckBox("Show density");
    module_ = spin(1, 16, 1);
    pump_ = spin(10, 500, 60);
    hookNumber_ = new QLineEdit;
    hookNumber_->setMaximumWidth(60);

    grid_ = new QTableWidget(HardwareSettings::kGridRows, HardwareSettings::kGridColumns);
    const QFont cellFont("Serif", 8);
    grid_->setFont(cellFont);
    grid_->horizontalHeader()->setFont(cellFont);
    grid_->verticalHeader()->setFont(cellFont);
    grid_->horizontalHeader()->setMinimumSectionSize(12);
    grid_->verticalHeader()->setMinimumSectionSize(12);
    grid_->horizontalHeader()->setFixedHeight(14);
    grid_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    grid_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    grid_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid_->setSelectionMode(QAbstractItemView::SingleSelection);
    grid_->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    grid_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    grid_->horizontalHeader()->setDefaultSectionSize(20);
    grid_->verticalHeader()->setDefaultSectionSize(12);
    grid_->verticalHeader()->setFixedWidth(24);
    QStringList columns, rows;
    for (int c = 1; c <= HardwareSettings::kGridColumns; ++c) columns << QString::number(c);
    for (int r = 1; r <= HardwareSettings::kGridRows; ++r) rows << QString::number(r * 20 - 19);
    grid_->setHorizontalHeaderLabels(columns);
    grid_->setVerticalHeaderLabels(rows);
    for (int r = 0; r < HardwareSettings::kGridRows; ++r)
        for (int c = 0; c < HardwareSettings::kGridColumns; ++c) {
            auto* item = new QTableWidgetItem;
            item->setTextAlignment(Qt::AlignCenter);
            grid_->setItem(r, c, item);
        }
    // The whole module at once: 20 hooks a row, 11 rows.
    const int frame = 2 * grid_->frameWidth();
    grid_->setFixedSize(24 + HardwareSettings::kGridColumns * 20 + frame,
                        14 + HardwareSettings::kGridRows * 12 + frame);

    ok_ = new QPushButton("OK");
    save_ = new QPushButton("Save settings");

    auto* form = new QFormLayout;
    loomTypeLabel_ = new QLabel("Loom type");
    form->addRow(loomTypeLabel_, loomType_);
    auto* portRow = new QHBoxLayout;
    portRow->addWidget(port_);
    portRow->addWidget(deviceLabel_, 1);
    form->addRow("Com port", portRow);
    form->addRow("Device", device_);
    auto addJx3 = [&](const QString& label, QWidget* w) {
        auto* l = new QLabel(label);
        form->addRow(l, w);
        jx3Widgets_ << l << w;
    };
    addJx3("Number of modules", modules_);
    addJx3("Modules deep", modulesDeep_);
    auto* density = new QWidget;
    auto* densityRow = new QHBoxLayout(density);
    densityRow->setContentsMargins(0, 0, 0, 0);
    densityRow->addWidget(densityX_);
    densityRow->addWidget(new QLabel("Y"));
    densityRow->addWidget(densityY_);
    addJx3("Density X", density);
    addJx3("", showDensity_);
    addJx3("Pump time-out (s)", pump_);
    addJx3("Module", module_);
    auto* gridLabel = new QLabel("Blank headles");
    jx3Widgets_ << gridLabel << grid_ << hookNumber_;

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(hookNumber_);
    buttons->addStretch(1);
    buttons->addWidget(ok_);
    buttons->addWidget(save_);

    auto* column = new QVBoxLayout(this);
    column->addLayout(form);
    column->addWidget(gridLabel);
    column->addWidget(grid_);
    column->addLayout(buttons);

    auto after = [this](auto&& change) {
        return [this, change](auto value) {
            if (mirroring_) return;
            change(value);
            mirror();
        };
    };
    connect(port_, &QSpinBox::valueChanged, this, after([this](int v) { logic_.setPort(v); }));
    connect(modules_, &QSpinBox::valueChanged, this,
            after([this](int v) { logic_.setModules(v); }));
    connect(module_, &QSpinBox::valueChanged, this, after([this](int v) { logic_.setModule(v); }));
    connect(modulesDeep_, &QSpinBox::valueChanged, this,
            after([this](int v) { logic_.setModulesDeep(v); }));
    connect(densityX_, &QSpinBox::valueChanged, this,
            after([this](int v) { logic_.setDensityX(v); }));
    connect(densityY_, &QSpinBox::valueChanged, this,
            after([this](int v) { logic_.setDensityY(v); }));
    connect(pump_, &QSpinBox::valueChanged, this,
            after([this](int v) { logic_.setPumpTimeout(v); }));
    connect(showDensity_, &QCheckBox::toggled, this,
            after([this](bool on) { logic_.setShowDensity(on); }));
    connect(loomType_, &QComboBox::currentIndexChanged, this,
            after([this](int i) { logic_.setLoomType(i); }));
    connect(device_, &QComboBox::activated, this, after([this](int i) {
                const QString path = device_->itemData(i).toString();
                if (!path.isEmpty()) logic_.setPortDevice(path.toStdString());
            }));
    connect(grid_, &QTableWidget::cellClicked, this, [this](int r, int c) {
        logic_.clickCell(c + 1, r + 1);
        mirror();
    });
    connect(grid_, &QTableWidget::cellDoubleClicked, this, [this](int r, int c) {
        logic_.doubleClickCell(c + 1, r + 1);
        mirror();
    });
    connect(hookNumber_, &QLineEdit::returnPressed, this, [this] {
        logic_.enterHookNumber(hookNumber_->text().toStdString());
        mirror();
    });
    connect(ok_, &QPushButton::clicked, this, [this] {
        logic_.ok();
        accept();
    });
    connect(save_, &QPushButton::clicked, this, [this] {
        std::string error;
        if (!logic_.save(&error)) s_.ui().errorBox("Cannot save the settings: " + error);
        mirror();
    });
    auto* f1 = new QShortcut(QKeySequence::HelpContents, this);
    connect(f1, &QShortcut::activated, this, &TForm2::helpRequested);
}

void TForm2::prepare() {
    logic_.show();
    refreshDevices();
    mirror();
}

int TForm2::exec() {
    prepare();
    return QDialog::exec();
}

void TForm2::refreshDevices() {
    mirroring_ = true;
    device_->clear();
    device_->addItem("", QString());
    for (const SerialDevice& d : listSerialDevices())
        device_->addItem(qs(d.description + "  " + d.path), qs(d.path));
    mirroring_ = false;
}

void TForm2::fillGrid() {
    for (int r = 1; r <= HardwareSettings::kGridRows; ++r)
        for (int c = 1; c <= HardwareSettings::kGridColumns; ++c)
            grid_->item(r - 1, c - 1)->setText(logic_.cell(c, r) ? "X" : "");
}

void TForm2::mirror() {
    mirroring_ = true;
    const HardwareSettings::Controls& c = logic_.controls();
    loomType_->setCurrentIndex(c.loomTypeItem);
    loomType_->setVisible(c.loomTypeVisible);
    loomTypeLabel_->setVisible(c.loomTypeVisible);
    loomType_->setEnabled(c.loomTypeEnabled);
    port_->setValue(c.port);
    deviceLabel_->setText("= " + qs(logic_.portDevice()));
    modules_->setValue(c.modules);
    module_->setMaximum(c.moduleMax);
    module_->setValue(c.module);
    modulesDeep_->setMaximum(c.modulesDeepMax);
    modulesDeep_->setValue(c.modulesDeep);
    densityY_->setValue(c.densityY);
    densityX_->setMaximum(c.densityXMax);
    densityX_->setValue(c.densityX);
    pump_->setValue(c.pump);
    showDensity_->setChecked(c.showDensity);
    hookNumber_->setText(qs(c.hookNumber));
    for (QWidget* w : jx3Widgets_) {
        w->setVisible(c.jx3Controls);
        w->setEnabled(c.jx3Controls);
    }
    fillGrid();
    mirroring_ = false;
}

}  // namespace wp::ui
