// The dialogs of the maintenance commands, headless.
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

#include <thread>

#include "sim/loomsim.h"
#include "tests/support/fakeui.h"
#include "tests/support/ptypeer.h"
#include "ui/dialogs/hardwaresettingsdialog.h"
#include "ui/dialogs/selftestwindow.h"
#include "ui/maintenancecommands.h"
#include "ui/mainwindow.h"

using namespace wp;
using wp::ui::TForm2;
using wp::ui::TFtest;

namespace {

// A session on its own settings file, without a port.
struct Rig {
    explicit Rig(const QByteArray& ini) {
        QFile f(dir.filePath("lanset.ini"));
        if (f.open(QIODevice::WriteOnly)) f.write(ini);
        f.close();
        session = std::make_unique<Session>(ui, dir.filePath("lanset.ini").toStdString());
        session->loadSettings(false);
    }
    QString iniText() {
        QFile f(dir.filePath("lanset.ini"));
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
    }
    QTemporaryDir dir;
    test::FakeUI ui;
    std::unique_ptr<Session> session;
};

void doubleClickCell(QTableWidget* grid, int row, int column) {
    const QRect r = grid->visualRect(grid->model()->index(row, column));
    // A view takes a double click only on the cell the press landed on.
    QTest::mousePress(grid->viewport(), Qt::LeftButton, {}, r.center());
    QTest::mouseRelease(grid->viewport(), Qt::LeftButton, {}, r.center());
    QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, r.center());
}

}  // namespace

class DialogTest : public QObject {
    Q_OBJECT
private slots:
    void settingsDialogMirrorsAndEditsTheConfiguration() {
        Rig rig("[WeavePilot]\ncontrollerArrangement=440\nBlankHeadles=3\nPumpTimeout=90\n");
        TForm2 dlg(*rig.session);
        dlg.prepare();
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        QCOMPARE(dlg.windowTitle(), QString("Hardware settings"));
        QCOMPARE(dlg.modulesBox()->value(), 2);
        QCOMPARE(dlg.moduleBox()->maximum(), 2);
        QCOMPARE(dlg.moduleGrid()->item(0, 2)->text(), QString("X"));
        QVERIFY(!dlg.loomTypeBox()->isVisibleTo(&dlg));
        QCOMPARE(dlg.deviceLabel()->text(), QString("= /dev/ttyS0"));
        // The pump box is not loaded from the configuration: it keeps its value.
        QCOMPARE(dlg.pumpBox()->value(), 60);

        // Module 2, cell (5, 2) by double click; hook 7 by number and Enter.
        dlg.moduleBox()->setValue(2);
        doubleClickCell(dlg.moduleGrid(), 1, 4);
        QCOMPARE(dlg.moduleGrid()->item(1, 4)->text(), QString("X"));
        QCOMPARE(dlg.hookNumberBox()->text(), QString("25"));
        dlg.hookNumberBox()->setText("7");
        QTest::keyClick(dlg.hookNumberBox(), Qt::Key_Return);
        QCOMPARE(dlg.moduleGrid()->item(0, 6)->text(), QString("X"));
        dlg.hookNumberBox()->setText("221");
        QTest::keyClick(dlg.hookNumberBox(), Qt::Key_Return);

        dlg.okButton()->click();
        const HardwareConfig& hw = rig.session->design().hw;
        QVERIFY(maskBit(hw.blankHeadleMask, 2));
        QVERIFY(maskBit(hw.blankHeadleMask, 226));
        QVERIFY(maskBit(hw.hookSkipMask, 244));

        // Density shown: the grid locks.
        dlg.prepare();
        dlg.densityYBox()->setValue(2);
        QCOMPARE(dlg.densityXBox()->maximum(), 2);
        dlg.showDensityBox()->setChecked(true);
        const QString before = dlg.moduleGrid()->item(0, 0)->text();
        doubleClickCell(dlg.moduleGrid(), 0, 0);
        QCOMPARE(dlg.moduleGrid()->item(0, 0)->text(), before);
        dlg.showDensityBox()->setChecked(false);

        dlg.portBox()->setValue(3);
        dlg.saveButton()->click();
        QVERIFY(rig.iniText().contains("commPort=3"));
        QVERIFY(rig.iniText().contains("BlankHeadles=3,227,245"));
        QVERIFY(rig.ui.boxes.empty());

        dlg.resize(dlg.sizeHint());
        const QString shots = QStringLiteral(WP_SCREENSHOT_DIR);
        QDir().mkpath(shots);
        QVERIFY(dlg.grab().save(shots + "/settings.png"));
    }

    void loomTypeBoxReplacesTheDriverWhenTheFileLetsItChoose() {
        Rig rig("[Mirlo]\nLoomType=Select\n");
        TForm2 dlg(*rig.session);
        dlg.prepare();
        QVERIFY(dlg.loomTypeBox()->isVisibleTo(&dlg));
        QCOMPARE(dlg.loomTypeBox()->currentText(), QString("?"));
        QVERIFY(!dlg.modulesBox()->isVisibleTo(&dlg));
        dlg.loomTypeBox()->setCurrentIndex(1);
        QVERIFY(rig.session->driver() != nullptr);
        QVERIFY(dlg.modulesBox()->isVisibleTo(&dlg));
        QCOMPARE(rig.session->window().control(Control::StartButton).caption, std::string("Start"));
        dlg.loomTypeBox()->setCurrentIndex(2);
        QCOMPARE(rig.session->window().control(Control::StartButton).caption, std::string("220"));
        QVERIFY(!dlg.modulesBox()->isVisibleTo(&dlg));
    }

    void selfTestWindowShowsAndSavesTheReport() {
        sim::LoomSimOptions o;
        o.modules = 3;
        o.selfTestFail = true;
        o.selfTestGap = std::chrono::milliseconds(1);
        sim::LoomSim loom(o);
        QVERIFY(loom.open().ok);
        struct Running {
            sim::LoomSim& sim;
            std::thread thread{[this] { sim.run(); }};
            ~Running() {
                sim.requestStop();
                thread.join();
            }
        } running{loom};
        {
            QTemporaryDir dir;
            test::FakeUI ui;
            Session s(ui, dir.filePath("lanset.ini").toStdString(),
                      test::portsWithCom1At(loom.devicePath()));
            s.loadSettings(true);
            WeavingRun run(s);
            TFtest w(s, run);
            w.show();
            QVERIFY(QTest::qWaitForWindowExposed(&w));
            QCOMPARE(w.windowTitle(), QString("Test"));
            QCOMPARE(w.exitButton()->text(), QString("Exit"));
            QVERIFY(w.report()->rowCount() >= 400);
            QString captionDuring;
            ui.onPump = [&] { captionDuring = w.exitButton()->text(); };
            w.startButton()->click();
            QCOMPARE(captionDuring, QString("Stop"));
            QCOMPARE(w.exitButton()->text(), QString("Exit"));
            QCOMPARE(w.report()->item(0, 0)->text(), QString("STARTING MASTER TEST"));
            QCOMPARE(w.report()->item(2, 0)->text(), QString("TEMPERATURE 41"));
            const auto& rows = w.test().report().rows();
            QCOMPARE(w.report()->item(static_cast<int>(rows.size()) - 1, 0)->text(),
                     QString("MASTER AND ALL DRIVER TESTS FAILED"));

            const QString saved = dir.filePath("dump.txt");
            w.saveFileChooser = [&] { return std::optional<std::string>(saved.toStdString()); };
            w.saveButton()->click();
            QFile f(saved);
            QVERIFY(f.open(QIODevice::ReadOnly));
            const QString text = QString::fromUtf8(f.readAll());
            QVERIFY(text.startsWith("JX-3 test dump "));
            QCOMPARE(text.count("\r\n"), static_cast<int>(rows.size()) + 1);

            w.resize(420, 420);
            const QString shots = QStringLiteral(WP_SCREENSHOT_DIR);
            QDir().mkpath(shots);
            QVERIFY(w.grab().save(shots + "/selftest.png"));
            w.exitButton()->click();
            QVERIFY(!w.isVisible());
        }
    }

    void silentControllerOffersTheDownloadThatYesStarts() {
        // A port that opens but never answers: the reset gets no word back.
        test::PtyPeer peer;
        QTemporaryDir dir;
        QFile f(dir.filePath("lanset.ini"));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QByteArray("[Ports]\nCOM1=") + peer.slavePath().c_str() + "\n");
        f.close();
        std::vector<std::string> texts;
        ui::WindowOptions o;
        o.settingsFile = dir.filePath("lanset.ini").toStdString();
        o.helpFile = "/nowhere/weavepilot.html";
        o.logPath = dir.filePath("loomdump.txt").toStdString();
        o.hooks.messageBox = [&](BoxKind, const std::string& t, Buttons b) {
            texts.push_back(t);
            return b == Buttons::YesNo ? Answer::Yes : Answer::Ok;
        };
        ui::TForm1 w(std::move(o));
        QVERIFY(w.maintenance()->progressBar()->isHidden());
        w.FormActivate();
        const std::vector<std::string> expected = {
            "Controller is not responding. Download software?", "WP-program DS_MAIN.HEX not found",
            "Can't download WP-program"};
        QCOMPARE(texts, expected);
        QVERIFY(!w.button(Control::StartButton)->isEnabled());
    }
};

QTEST_MAIN(DialogTest)
#include "test_dialogs.moc"
