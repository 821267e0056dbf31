#include "ui/dialogs/selftestwindow.h"

#include <QDate>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeySequence>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QShortcut>
#include <QTableWidget>
#include <QVBoxLayout>

#include "ui/filedialog.h"

namespace wp::ui {

TFtest::TFtest(Session& s, WeavingRun& run, QWidget* parent) : QDialog(parent), test_(s, run) {
    setWindowTitle("Test");
    setModal(true);

    grid_ = new QTableWidget(kReportRows, 1);
    grid_->horizontalHeader()->hide();
    grid_->verticalHeader()->hide();
    grid_->horizontalHeader()->setStretchLastSection(true);
    grid_->verticalHeader()->setDefaultSectionSize(20);
    grid_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid_->setMinimumWidth(380);
    grid_->setMinimumHeight(20 * 16);
    for (int r = 0; r < kReportRows; ++r) grid_->setItem(r, 0, new QTableWidgetItem);

    status_ = new QLabel;
    start_ = new QPushButton("Start");
    exit_ = new QPushButton("Exit");
    save_ = new QPushButton("Save");

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(status_, 1);
    buttons->addWidget(start_);
    buttons->addWidget(exit_);
    buttons->addWidget(save_);
    auto* column = new QVBoxLayout(this);
    column->addWidget(grid_);
    column->addLayout(buttons);

    test_.onRow = [this](int row, const std::string& text) {
        if (row >= grid_->rowCount()) {
            const int from = grid_->rowCount();
            grid_->setRowCount(row + 1);
            for (int r = from; r <= row; ++r) grid_->setItem(r, 0, new QTableWidgetItem);
        }
        grid_->item(row, 0)->setText(QString::fromStdString(text));
        // Keep the newest row in sight, two rows at a time.
        const int visible = grid_->viewport()->height() / 20;
        const int top = grid_->rowAt(0);
        if (row + 1 > visible + top)
            grid_->scrollToItem(grid_->item(std::min(row + 2, grid_->rowCount() - 1), 0));
    };
    test_.onStatus = [this](const std::string& text) {
        status_->setText(QString::fromStdString(text));
    };
    test_.onRunning = [this](bool running) { exit_->setText(running ? "Stop" : "Exit"); };
    saveFileChooser = [this]() {
        return wp::ui::chooseSaveFile(this, "JX-3 test dump", "Text file| *.txt", {});
    };

    connect(start_, &QPushButton::clicked, this, &TFtest::Button1Click);
    connect(exit_, &QPushButton::clicked, this, &TFtest::Button2Click);
    connect(save_, &QPushButton::clicked, this, &TFtest::PrintClick);
    auto* f1 = new QShortcut(QKeySequence::HelpContents, this);
    connect(f1, &QShortcut::activated, this, &TFtest::helpRequested);
}

void TFtest::clearReport() {
    for (int r = 0; r < grid_->rowCount(); ++r) grid_->item(r, 0)->setText({});
    grid_->scrollToTop();
}

void TFtest::showEvent(QShowEvent* event) {
    test_.activate();
    clearReport();
    QDialog::showEvent(event);
}

void TFtest::Button1Click() {
    if (!test_.idle()) return;
    clearReport();
    test_.Button1Click();
}

void TFtest::Button2Click() {
    if (test_.Button2Click()) accept();
}

void TFtest::reject() {
    // The window's close box is the Exit button: no closing while a test runs.
    if (test_.Button2Click()) QDialog::reject();
}

void TFtest::PrintClick() {
    if (test_.report().rows().empty()) return;
    const auto path = saveFileChooser();
    if (!path) return;
    const std::string date =
        QLocale::system().toString(QDate::currentDate(), QLocale::ShortFormat).toStdString();
    std::string error;
    if (!test_.save(*path, date, &error))
        status_->setText(QString::fromStdString("Cannot save: " + error));
}

}  // namespace wp::ui
