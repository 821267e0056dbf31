#pragma once

#include <QDialog>

#include <functional>
#include <optional>
#include <string>

#include "app/maintenance.h"

class QLabel;
class QPushButton;
class QTableWidget;

namespace wp::ui {

// "Test": runs the controller's self-test, shows its report line by line and
// saves it as a text file. Start, Exit (Stop while the test runs) and Save.
class TFtest : public QDialog {
    Q_OBJECT
public:
    inline static constexpr int kReportRows = 400;

    TFtest(Session& s, WeavingRun& run, QWidget* parent = nullptr);

    SelfTestRun& test() { return test_; }
    // The file the Save button writes to; replaceable by tests.
    std::function<std::optional<std::string>()> saveFileChooser;

    void Button1Click();
    void Button2Click();
    void PrintClick();

    QTableWidget* report() const { return grid_; }
    QLabel* statusLabel() const { return status_; }
    QPushButton* startButton() const { return start_; }
    QPushButton* exitButton() const { return exit_; }
    QPushButton* saveButton() const { return save_; }

signals:
    void helpRequested();

protected:
    void showEvent(QShowEvent* event) override;
    void reject() override;

private:
    void clearReport();

    SelfTestRun test_;
    QTableWidget* grid_ = nullptr;
    QLabel* status_ = nullptr;
    QPushButton* start_ = nullptr;
    QPushButton* exit_ = nullptr;
    QPushButton* save_ = nullptr;
};

}  // namespace wp::ui
