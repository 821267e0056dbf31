#pragma once

#include <QDialog>

#include "app/hardwaresettings.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QTableWidget;

namespace wp::ui {

// "Hardware settings": the loom's port, modules, density, pump time-out, loom
// type and blank headles hook by hook. Every control acts on the configuration
// at once through HardwareSettings; the widgets only mirror it.
class TForm2 : public QDialog {
    Q_OBJECT
public:
    explicit TForm2(Session& s, QWidget* parent = nullptr);

    HardwareSettings& settings() { return logic_; }

    // What the dialog does every time it opens (exec() calls it too).
    void prepare();
    int exec() override;

    // Widgets, for the tests.
    QComboBox* loomTypeBox() const { return loomType_; }
    QSpinBox* portBox() const { return port_; }
    QComboBox* deviceBox() const { return device_; }
    QLabel* deviceLabel() const { return deviceLabel_; }
    QSpinBox* modulesBox() const { return modules_; }
    QSpinBox* moduleBox() const { return module_; }
    QSpinBox* modulesDeepBox() const { return modulesDeep_; }
    QSpinBox* densityXBox() const { return densityX_; }
    QSpinBox* densityYBox() const { return densityY_; }
    QCheckBox* showDensityBox() const { return showDensity_; }
    QTableWidget* moduleGrid() const { return grid_; }
    QLineEdit* hookNumberBox() const { return hookNumber_; }
    QSpinBox* pumpBox() const { return pump_; }
    QPushButton* okButton() const { return ok_; }
    QPushButton* saveButton() const { return save_; }

    // Fills the device list from the devices present.
    void refreshDevices();

signals:
    void helpRequested();

private:
    void mirror();
    void fillGrid();

    Session& s_;
    HardwareSettings logic_;
    bool mirroring_ = false;

    QComboBox* loomType_ = nullptr;
    QLabel* loomTypeLabel_ = nullptr;
    QSpinBox* port_ = nullptr;
    QLabel* deviceLabel_ = nullptr;
    QComboBox* device_ = nullptr;
    QSpinBox* modules_ = nullptr;
    QSpinBox* module_ = nullptr;
    QSpinBox* modulesDeep_ = nullptr;
    QSpinBox* densityX_ = nullptr;
    QSpinBox* densityY_ = nullptr;
    QCheckBox* showDensity_ = nullptr;
    QTableWidget* grid_ = nullptr;
    QLineEdit* hookNumber_ = nullptr;
    QSpinBox* pump_ = nullptr;
    QPushButton* ok_ = nullptr;
    QPushButton* save_ = nullptr;
    QList<QWidget*> jx3Widgets_;
};

}  // namespace wp::ui
