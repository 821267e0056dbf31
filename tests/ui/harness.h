#pragma once

#include <QDialog>
#include <QRgb>
#include <QString>
#include <QTemporaryDir>
#include <QUrl>

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ui/mainwindow.h"

namespace wp::test {

extern const QString kExamples;
extern const QString kNoLoom;

struct Box {
    BoxKind kind;
    std::string text;
    Buttons buttons;
};

// A window with its own settings file in a temporary folder; boxes are recorded
// and answered from a queue (No when it runs dry), and the file, colour and
// modal dialogs are answered by the test.
class Harness {
public:
    explicit Harness(const QString& ini, const QString& extraDesign = {});

    ui::TForm1& open(bool openPort = false);
    // First activation, then shown with its final geometry.
    ui::TForm1& openShown(bool openPort = false);

    bool load(const QString& example) { return loadPath(kExamples + "/" + example); }
    bool loadPath(const QString& path);

    QString iniText();
    std::vector<std::string> texts() const;

    QTemporaryDir dir;
    std::vector<Box> boxes;
    std::deque<Answer> answers;
    std::vector<std::string> filters;
    std::vector<QUrl> urls;
    std::optional<std::string> chosen;
    // The save dialog: what it was asked (filter, title) and what it answers.
    std::vector<std::pair<std::string, std::string>> saveDialogs;
    std::optional<std::string> saveAs;
    // The colour picker's answers, in turn (cancelled when none are left).
    std::deque<uint32_t> colours;
    // What the weaver does in a modal dialog (it is closed afterwards).
    std::function<void(QDialog&)> inDialog;
    std::unique_ptr<ui::TForm1> window;
};

// Clicks a cell in view; false (with the reason) when it is not in view.
bool click(ui::GridView* g, int column, int row, Qt::MouseButton button = Qt::LeftButton);
QRgb pixelOf(ui::GridView* g, int column, int row);
// Grid rows with a pick's row in view.
bool pickInView(ui::TForm1& w, int pick);

// The screenshots show the design's path in the status line: they load a copy
// from a folder whose name tells nothing of the machine they were taken on.
QString neutralCopy(const QString& example);

}  // namespace wp::test
