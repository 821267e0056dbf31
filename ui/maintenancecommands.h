#pragma once

#include <QObject>

#include <memory>

#include "app/maintenance.h"

class QProgressBar;

namespace wp::ui {

class TForm1;
class TForm2;

// The controller's maintenance in the main window: File > Download with its
// progress bar, Control > Settings and Control > Test, and the reset's offer to
// download. The window's menu entries are looked up by name and wired here.
class MaintenanceCommands : public QObject {
    Q_OBJECT
public:
    explicit MaintenanceCommands(TForm1& window);
    ~MaintenanceCommands() override;

    void LoadHex1Click();
    void SettingsClick();
    void TestClick();
    void showProgress(int percent);

    TForm2& settingsDialog() { return *settings_; }
    QProgressBar* progressBar() const { return progress_; }

private:
    TForm1& w_;
    FirmwareDownload download_;
    // Created with the window and kept until exit, as the configuration it edits.
    std::unique_ptr<TForm2> settings_;
    QProgressBar* progress_ = nullptr;
};

}  // namespace wp::ui
