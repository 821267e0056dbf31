#include "tests/ui/harness.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QTest>

namespace wp::test {

const QString kExamples = QStringLiteral(WP_EXAMPLES_DIR);
const QString kNoLoom = "[Mirlo]\nLoomType=JX3\n[WeavePilot]\ncommPort=1\n";

Harness::Harness(const QString& ini, const QString& extraDesign) {
    QFile f(dir.filePath("lanset.ini"));
    if (f.open(QIODevice::WriteOnly)) f.write(ini.toUtf8());
    f.close();
    if (!extraDesign.isEmpty())
        QFile::copy(kExamples + "/" + extraDesign, dir.filePath(extraDesign));
}

ui::TForm1& Harness::open(bool openPort) {
    ui::WindowOptions o;
    o.settingsFile = dir.filePath("lanset.ini").toStdString();
    o.openPort = openPort;
    o.logPath = dir.filePath("loomdump.txt").toStdString();
    o.helpFile = "/nowhere/weavepilot.html";
    o.hooks.messageBox = [this](BoxKind k, const std::string& t, Buttons b) {
        boxes.push_back({k, t, b});
        if (b == Buttons::Ok) return Answer::Ok;
        if (b == Buttons::Yes) return Answer::Yes;
        if (answers.empty()) return Answer::No;
        const Answer a = answers.front();
        answers.pop_front();
        return a;
    };
    o.hooks.chooseFile = [this](const std::string& filter) {
        filters.push_back(filter);
        return chosen;
    };
    o.hooks.chooseSaveFile = [this](const std::string& filter, const std::string& title) {
        saveDialogs.emplace_back(filter, title);
        return saveAs;
    };
    o.hooks.chooseColour = [this](uint32_t) -> std::optional<uint32_t> {
        if (colours.empty()) return std::nullopt;
        const uint32_t c = colours.front();
        colours.pop_front();
        return c;
    };
    o.hooks.runDialog = [this](QDialog& d) {
        if (inDialog) inDialog(d);
    };
    o.hooks.openUrl = [this](const QUrl& u) { urls.push_back(u); };
    window = std::make_unique<ui::TForm1>(std::move(o));
    window->resize(1000, 700);
    return *window;
}

ui::TForm1& Harness::openShown(bool openPort) {
    ui::TForm1& w = open(openPort);
    w.FormActivate();
    w.show();
    if (!QTest::qWaitForWindowExposed(&w)) qWarning("window not exposed");
    return w;
}

bool Harness::loadPath(const QString& path) {
    chosen = path.toStdString();
    const bool ok = window->openDesign(FileType::Native);
    QCoreApplication::processEvents();
    return ok;
}

QString Harness::iniText() {
    QFile f(dir.filePath("lanset.ini"));
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

std::vector<std::string> Harness::texts() const {
    std::vector<std::string> out;
    for (const Box& b : boxes) out.push_back(b.text);
    return out;
}

bool click(ui::GridView* g, int column, int row, Qt::MouseButton button) {
    const QRect r = g->cellRect(column, row);
    if (r.isEmpty()) {
        qWarning("cell %d,%d not in view (left %d, top %d, %d x %d visible)", column, row,
                 g->leftColumn(), g->topRow(), g->visibleColumnCount(), g->visibleRowCount());
        return false;
    }
    QTest::mouseClick(g->viewport(), button, {}, r.center());
    return true;
}

QRgb pixelOf(ui::GridView* g, int column, int row) {
    const QImage& img = g->render();
    return img.pixel(g->cellRect(column, row).center());
}

bool pickInView(ui::TForm1& w, int pick) {
    ui::GridView* g = w.designGrid();
    const int row = w.session().design().header.wefts() - pick + 1;
    return row >= g->topRow() && row < g->topRow() + g->visibleRowCount();
}

QString neutralCopy(const QString& example) {
    // Written beside and renamed, so that runs in other build trees may share it.
    const QString dir = QStringLiteral("/tmp/designs");
    if (!QDir().mkpath(dir)) return {};
    QFile from(kExamples + "/" + example);
    QSaveFile to(dir + "/" + example);
    if (!from.open(QIODevice::ReadOnly) || !to.open(QIODevice::WriteOnly)) return {};
    to.write(from.readAll());
    return to.commit() ? dir + "/" + example : QString();
}

}  // namespace wp::test
