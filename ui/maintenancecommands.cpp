#include "ui/maintenancecommands.h"

#include <QAction>
#include <QProgressBar>
#include <QStatusBar>

#include "ui/dialogs/hardwaresettingsdialog.h"
#include "ui/dialogs/selftestwindow.h"
#include "ui/mainwindow.h"

namespace wp::ui {

MaintenanceCommands::MaintenanceCommands(TForm1& window)
    : QObject(&window),
      w_(window),
      download_(window.session(), window.weavingRun()),
      settings_(std::make_unique<TForm2>(window.session(), &window)) {
    progress_ = new QProgressBar;
    progress_->setRange(0, 100);
    progress_->setMaximumWidth(160);
    progress_->hide();
    w_.statusBar()->addPermanentWidget(progress_);

    auto wire = [this](const char* name, void (MaintenanceCommands::*slot)()) {
        if (QAction* a = w_.action(name)) {
            a->setEnabled(true);
            connect(a, &QAction::triggered, this, slot);
        }
    };
    wire("Download", &MaintenanceCommands::LoadHex1Click);
    wire("Settings", &MaintenanceCommands::SettingsClick);
    wire("Test", &MaintenanceCommands::TestClick);
    w_.weavingRun().downloadFirmware = [this] { LoadHex1Click(); };
    connect(settings_.get(), &TForm2::helpRequested, this, [this] { w_.HelpClick(kHelpSettings); });
}

MaintenanceCommands::~MaintenanceCommands() = default;

void MaintenanceCommands::LoadHex1Click() {
    // Only a loom with firmware of its own has something to download.
    const TWeave* drv = w_.session().driver();
    if (!drv || !drv->traits().hasFirmware) return;
    download_.LoadHex1Click();
}

void MaintenanceCommands::SettingsClick() {
    settings_->exec();
}

void MaintenanceCommands::TestClick() {
    TFtest test(w_.session(), w_.weavingRun(), &w_);
    if (!test.test().offered()) {
        w_.setStatus("The self-test needs a JX3 controller.");
        return;
    }
    connect(&test, &TFtest::helpRequested, this, [this] { w_.HelpClick(kHelpSelfTest); });
    test.exec();
}

void MaintenanceCommands::showProgress(int percent) {
    progress_->setVisible(percent >= 0);
    if (percent >= 0) progress_->setValue(percent);
}

}  // namespace wp::ui
