// The main window, headless: the weaver's boxes are answered by a script.
#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSaveFile>
#include <QScrollBar>
#include <QSignalSpy>
#include <QSpinBox>
#include <QSplitter>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include <algorithm>
#include <deque>
#include <memory>
#include <thread>

#include "app/journal.h"
#include "sim/loomsim.h"
#include "tests/ui/harness.h"
#include "ui/mainwindow.h"

using namespace wp;
using wp::ui::GridView;
using wp::ui::TForm1;

using wp::test::click;
using wp::test::Harness;
using wp::test::kExamples;
using wp::test::kNoLoom;
using wp::test::neutralCopy;
using wp::test::pickInView;
using wp::test::pixelOf;

class MainWindowTest : public QObject {
    Q_OBJECT
private slots:
    void startUpState();
    void startUpCaptionsForOlm();
    void firstActivationOffersOnce();
    void journalOfferedAfterACrash();
    void closeRules();
    void loggingDump();
    void gridGeometryAfterLoad();
    void pickLabels();
    void rightClickInformation();
    void rightClickEditsInFloatViews();
    void zoomKeepsWarpEndOneInView();
    void scrollToPickFollowsTheRun();
    void markerWithAndWithoutTabby();
    void shaftPlotLayout();
    void checkBoxesDriveTheRunPanel();
    void helpOpensItsContext();
    void runFromStartOnSimulator();
    void screenshots();
};

void MainWindowTest::startUpState() {
    Harness h(kNoLoom);
    TForm1& w = h.openShown();
    QCOMPARE(w.windowTitle(), QString("Weave Pilot"));
    QVERIFY(!w.shaftPanel()->isVisible());
    QVERIFY(!w.treadlingPanel()->isVisible());
    QVERIFY(!w.splitter()->handle(1)->isVisible());
    QVERIFY(!w.analysisPanel()->isVisible());
    QVERIFY(!w.checkBox(Control::ShaftPlot)->isVisible());
    QVERIFY(!w.checkBox(Control::ShaftPlot)->isChecked());
    QVERIFY(!w.checkBox(Control::InvertBox)->isEnabled());
    for (Control c : {Control::StartButton, Control::StopButton, Control::ResumeButton})
        QVERIFY(!w.button(c)->isEnabled());
    QCOMPARE(w.button(Control::StartButton)->text(), QString("Start"));
    QCOMPARE(w.button(Control::ResumeButton)->text(), QString("Resume"));
    QVERIFY(!w.bottomLabel()->isVisible());

    // Grids keep their first sizes and paint nothing until a design arrives.
    QCOMPARE(w.designGrid()->columnCount(), 50);
    QCOMPARE(w.designGrid()->rowCount(), 50);
    QCOMPARE(w.designGrid()->fixedColumnWidth(0), 12);
    QCOMPARE(w.designGrid()->fixedColumnWidth(1), 12);
    QCOMPARE(w.designGrid()->fixedRowHeight(0), 12);
    QCOMPARE(w.threadingGrid()->columnCount(), 50);
    QCOMPARE(w.threadingGrid()->rowCount(), 16);
    QCOMPARE(w.threadingGrid()->fixedColumnWidth(0), 24);
    QCOMPARE(w.tieUpGrid()->columnCount(), 16);
    QCOMPARE(w.treadlingGrid()->rowCount(), 50);
    QCOMPARE(w.treadlingGrid()->fixedRowHeight(0), 12);
    QCOMPARE(pixelOf(w.designGrid(), 3, 3), qRgb(255, 255, 255));
    QVERIFY(click(w.designGrid(), 3, 3));
    QVERIFY(w.pickLabel()->text().isEmpty());

    // Menus: every command enabled, hints as the status tips.
    for (const char* name :
         {"Open", "Open IMP", "Open DW", "Open BMP", "OpenJPEG", "OpenTIFF", "OpenWIF", "Download",
          "Settings", "Test", "WarpColor", "Weftcolor", "Analyse"})
        QVERIFY2(w.action(name) && w.action(name)->isEnabled(), name);
    QCOMPARE(w.action("Open BMP")->statusTip(), QString("bilevel BMP image"));
    QCOMPARE(w.action("OpenJPEG")->statusTip(), QString("bilevel JPEG image"));
    QCOMPARE(w.action("OpenTIFF")->statusTip(), QString("bilevel TIFF image"));
    QCOMPARE(w.action("OpenWIF")->statusTip(), QString("WIF file"));
    QCOMPARE(w.action("WarpColor")->statusTip(), QString("Manual Warpcoloring"));
    QCOMPARE(w.action("Weftcolor")->statusTip(), QString("Adjust weft colors"));
    QCOMPARE(w.action("Logging")->statusTip(), QString("Toggle logging to file"));
    QVERIFY(w.action("Logging")->isCheckable());
    QVERIFY(w.action("Exit") && w.action("Reset") && w.action("Help") && w.action("About..."));

    // The file dialog gets the native filter.
    h.chosen.reset();
    QVERIFY(!w.openDesign(FileType::Native));
    QCOMPARE(h.filters.back(), std::string("Dobby|*.DOB|Countermarche|*.CTM"));
}

void MainWindowTest::startUpCaptionsForOlm() {
    Harness h("[Mirlo]\nLoomType=OLM\n");
    TForm1& w = h.open();
    QCOMPARE(w.button(Control::StartButton)->text(), QString("220"));
    QCOMPARE(w.button(Control::ResumeButton)->text(), QString("Direct"));
    // Tabby changes nothing on a shaft loom.
    w.checkBox(Control::TabbyCheck)->click();
    QCOMPARE(w.button(Control::StartButton)->text(), QString("220"));
}

void MainWindowTest::journalOfferedAfterACrash() {
    Harness h(kNoLoom, "twill8.dob");
    const std::string design = h.dir.filePath("twill8.dob").toStdString();
    const std::string settings = h.dir.filePath("lanset.ini").toStdString();
    // What a weave killed after pick 12 of 10..30, going down, left behind.
    Journal journal(journalPathFor(settings));
    QVERIFY(journal.record({design, FileType::Native, 12, 10, 30, true, false, false}));
    h.answers = {Answer::Yes};
    TForm1& w = h.openShown();
    QCOMPARE(h.texts(), std::vector<std::string>{"Weaving stopped unexpectedly at pick 12 of " +
                                                 design + ". Continue from the next pick?"});
    QVERIFY(w.session().design().hasDesign());
    QCOMPARE(w.startWeftBox()->value(), 10);
    QCOMPARE(w.endWeftBox()->value(), 30);
    QCOMPARE(w.nextWeftBox()->value(), 11);
    QCOMPARE(w.currentWeftBox()->text(), QString("12"));
    QVERIFY(w.checkBox(Control::ReverseBox)->isChecked());
    // A clean close ends the journal.
    h.answers = {Answer::No};
    QVERIFY(w.close());
    QVERIFY(!journal.read());
}

void MainWindowTest::firstActivationOffersOnce() {
    Harness h(kNoLoom, "twill8.dob");
    const QString design = h.dir.filePath("twill8.dob");
    {
        QFile f(h.dir.filePath("lanset.ini"));
        QVERIFY(f.open(QIODevice::Append));
        f.write(
            QString("[CurrentFile]\nweft_pos=20\nFileType=0\nFileName=%1\n").arg(design).toUtf8());
    }
    TForm1& w = h.open();
    h.answers = {Answer::Yes};  // continue the design (no port open: no firmware question)
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    // Activation comes from the window system; make sure there is one.
    w.FormActivate();
    QTRY_VERIFY(w.session().design().designReady);
    const std::string offer = "Continue razezog " + design.toStdString() + " ?";
    const auto texts = h.texts();
    QCOMPARE(std::count(texts.begin(), texts.end(), offer), 1);
    QCOMPARE(w.currentWeftBox()->text(), QString("20"));
    QCOMPARE(w.startWeftBox()->value(), 20);
    QCOMPARE(w.nextWeftBox()->value(), 20);
    QCOMPARE(w.endWeftBox()->value(), 64);
    QCOMPARE(w.bottomLabel()->text(), design);

    // A dialog closes and the window is activated again: nothing is offered.
    const size_t before = h.boxes.size();
    w.FormActivate();
    QEvent activate(QEvent::WindowActivate);
    QCoreApplication::sendEvent(&w, &activate);
    QCoreApplication::processEvents();
    QCOMPARE(h.boxes.size(), before);
}

void MainWindowTest::closeRules() {
    Harness h(kNoLoom + "[CurrentFile]\nweft_pos=3\nFileName=x\n");
    {
        TForm1& w = h.openShown();
        QVERIFY(h.load("twill8.dob"));
        h.boxes.clear();
        QVERIFY(w.close());  // pick 1: nothing asked
        QVERIFY(h.boxes.empty());
        QVERIFY(!h.iniText().contains("CurrentFile"));
        h.window.reset();
    }
    {
        TForm1& w = h.openShown();
        QVERIFY(h.load("twill8.dob"));
        w.session().design().currentPick = 12;
        h.boxes.clear();
        h.answers = {Answer::No};
        QVERIFY(w.close());
        QCOMPARE(h.texts(), std::vector<std::string>{"Save current weft position?"});
        QCOMPARE(h.boxes[0].kind, BoxKind::Information);
        QCOMPARE(h.boxes[0].buttons, Buttons::YesNo);
        QVERIFY(!h.iniText().contains("CurrentFile"));
        h.window.reset();
    }
    {
        TForm1& w = h.openShown();
        QVERIFY(h.load("twill8.dob"));
        w.session().design().currentPick = 12;
        h.answers = {Answer::Yes};
        w.ExitClick();
        QVERIFY(!w.isVisible());
        const QString ini = h.iniText();
        QVERIFY(ini.contains("[CurrentFile]"));
        QVERIFY(ini.contains("weft_pos=12"));
        QVERIFY(ini.contains("FileName=" + kExamples + "/twill8.dob"));
        QVERIFY(ini.contains("commPort=1"));
    }
}

void MainWindowTest::loggingDump() {
    Harness h(kNoLoom + "modulesDeep=1\ndensityX=1\ndensityY=1\nBlankHeadles=3,9\n");
    TForm1& w = h.openShown();
    w.action("Logging")->trigger();
    QVERIFY(w.action("Logging")->isChecked());
    const QString path = h.dir.filePath("loomdump.txt");
    QCOMPARE(w.bottomLabel()->text(), "Logging to " + path);
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(),
             QByteArray("modulesDeep=1  densityX=1  densityY=1\r\nBlankHeadles=3,9,\r\n"));
    w.action("Logging")->trigger();
    QVERIFY(!w.action("Logging")->isChecked());
    QVERIFY(!w.session().log().isOpen());
}

void MainWindowTest::gridGeometryAfterLoad() {
    Harness h(kNoLoom);
    TForm1& w = h.openShown();
    QVERIFY(h.load("twill8.dob"));
    GridView* g = w.designGrid();
    QCOMPARE(g->columnCount(), 48 + 2);
    QCOMPARE(g->rowCount(), 64 + 1);
    QCOMPARE(g->cellWidth(), 6);
    QCOMPARE(g->cellHeight(), 6);
    QCOMPARE(g->fixedColumnCount(), 2);
    QCOMPARE(g->fixedRowCount(), 1);
    QVERIFY(w.checkBox(Control::ShaftPlot)->isVisible());
    QVERIFY(w.checkBox(Control::ShaftPlot)->isEnabled());
    QVERIFY(w.checkBox(Control::InvertBox)->isEnabled());
    QCOMPARE(w.endWeftBox()->maximum(), 64);
    QCOMPARE(w.nextWeftBox()->maximum(), 64);
    QCOMPARE(w.bottomLabel()->text(), kExamples + "/twill8.dob");

    // Cells: warp colours on top, weft colours on the left, lifted ends in the
    // warp colour; pick 1 is the bottom row and warp end 1 the right column.
    const DesignModel& d = w.session().design();
    const int wefts = 64, warps = 48;
    QCOMPARE(pixelOf(g, 2, 0), ui::fromBgr(d.warpColours[warps - 1]));
    for (int pick : {1, 2, 3}) {
        const int row = wefts - pick + 1;
        if (row >= g->topRow() + g->visibleRowCount()) continue;
        QCOMPARE(pixelOf(g, 1, row), ui::fromBgr(d.weftColours[static_cast<size_t>(pick - 1)]));
        for (int end : {1, 2, 48}) {
            const QRgb want = d.liftAt(PickNo{pick}, end)
                                  ? ui::fromBgr(d.warpColours[static_cast<size_t>(end - 1)])
                                  : ui::fromBgr(d.weftColours[static_cast<size_t>(pick - 1)]);
            QCOMPARE(pixelOf(g, warps + 2 - end, row), want);
        }
    }
    // Pick 1 is in view and marked.
    QVERIFY(pickInView(w, 1));
    QCOMPARE(pixelOf(g, 0, wefts), ui::kMarkerColour);
}

void MainWindowTest::pickLabels() {
    Harness h(kNoLoom);
    TForm1& w = h.openShown();
    QVERIFY(h.load("twill8.dob"));
    GridView* g = w.designGrid();
    // The top-right design cell in view.
    const int right = g->leftColumn() + g->visibleColumnCount() - 1;
    QCOMPARE(right, 49);
    QVERIFY(click(g, right, g->topRow()));
    QCOMPARE(w.pickLabel()->text(), QString("Pick %1 Warp 1").arg(65 - g->topRow()));
    QVERIFY(click(g, 2, 64));
    QCOMPARE(w.pickLabel()->text(), QString("Pick 1 Warp 48"));

    // Shaft grids answer only with ShaftPlot on.
    QVERIFY(click(w.designGrid(), 10, 60));
    w.checkBox(Control::ShaftPlot)->click();
    QVERIFY(w.threadingGrid()->isVisible());
    QCoreApplication::processEvents();
    GridView* t = w.threadingGrid();
    QVERIFY(click(t, t->leftColumn(), 2));
    QCOMPARE(w.pickLabel()->text(), QString("Shaft 3 Warp %1").arg(50 - t->leftColumn()));
    GridView* tr = w.treadlingGrid();
    QVERIFY(click(tr, 4, 64));
    QCOMPARE(w.pickLabel()->text(), QString("Pick 1 Treadle 5"));
    // Right clicks on the shaft grids do nothing.
    QVERIFY(click(tr, 1, 64, Qt::RightButton));
    QCOMPARE(w.pickLabel()->text(), QString("Pick 1 Treadle 5"));
}

void MainWindowTest::rightClickInformation() {
    Harness h(kNoLoom);
    TForm1& w = h.openShown();
    QVERIFY(h.load("twill8.dob"));
    h.boxes.clear();
    QVERIFY(click(w.designGrid(), 5, 64, Qt::RightButton));
    QCOMPARE(w.pickLabel()->text(), QString("Pick 1 Warp 45"));
    QCOMPARE(h.texts(), std::vector<std::string>{
                            "File: twill8.dob\r\nNumber of Wefts: 64\r\nNumber of Warps: 48\r\n"
                            "Layout: Dobby"});
    QCOMPARE(h.boxes[0].kind, BoxKind::Information);
    QCOMPARE(h.boxes[0].buttons, Buttons::Ok);

    QVERIFY(h.load("rosepath.ctm"));
    h.boxes.clear();
    QVERIFY(click(w.designGrid(), 5, 48, Qt::RightButton));
    QCOMPARE(h.texts().back(), std::string("File: rosepath.ctm\r\nNumber of Wefts: 48\r\n"
                                           "Number of Warps: 40\r\nLayout: Countemarche"));
    QVERIFY(h.load("jacquard440.dob"));
    h.boxes.clear();
    QVERIFY(click(w.designGrid(), w.designGrid()->leftColumn(), 160, Qt::RightButton));
    QVERIFY(QString::fromStdString(h.texts().back()).endsWith("\r\n "));
    // The middle button does nothing in the plain view.
    h.boxes.clear();
    const QString label = w.pickLabel()->text();
    QVERIFY(click(w.designGrid(), w.designGrid()->leftColumn() + 1, 150, Qt::MiddleButton));
    QVERIFY(h.boxes.empty());
    QCOMPARE(w.pickLabel()->text(), label);
}

void MainWindowTest::rightClickEditsInFloatViews() {
    Harness h(kNoLoom);
    TForm1& w = h.openShown();
    QVERIFY(h.load("twill8.dob"));
    DesignModel& d = w.session().design();
    d.analysis.displayMode = 2;
    d.analysis.floatMap.assign(static_cast<size_t>(64 * 48), 0);
    const bool before = d.lift(RowNo{63}, 10);
    h.boxes.clear();
    QVERIFY(click(w.designGrid(), 12, 64, Qt::RightButton));
    QCOMPARE(d.lift(RowNo{63}, 10), !before);
    QCOMPARE(d.analysis.floatMap[static_cast<size_t>(63 * 48 + 10)], uint8_t{1});
    QVERIFY(h.boxes.empty());
    d.analysis.displayMode = 1;
    QVERIFY(click(w.designGrid(), 12, 64, Qt::MiddleButton));
    QCOMPARE(d.lift(RowNo{63}, 10), before);
    // Fixed cells are not the design.
    QVERIFY(click(w.designGrid(), 1, 64, Qt::RightButton));
    QVERIFY(click(w.designGrid(), 12, 0, Qt::RightButton));
    QCOMPARE(d.lift(RowNo{63}, 10), before);
}

void MainWindowTest::zoomKeepsWarpEndOneInView() {
    Harness h(kNoLoom + "controllerArrangement=440\n");
    TForm1& w = h.openShown();
    QVERIFY(h.load("jacquard440.dob"));
    GridView* g = w.designGrid();
    QCOMPARE(g->columnCount(), 442);
    QVERIFY(g->visibleColumnCount() < 440);
    QCOMPARE(g->leftColumn(), g->maxLeftColumn());
    QVERIFY(!g->cellRect(441, g->topRow()).isEmpty());
    for (int size : {12, 1, 6}) {
        w.gridSizeBox()->setValue(size);
        QCOMPARE(g->cellWidth(), size);
        QCOMPARE(g->cellHeight(), size);
        QCOMPARE(g->fixedColumnWidth(0), 12);
        QCOMPARE(g->fixedRowHeight(0), 12);
        QVERIFY2(!g->cellRect(441, g->topRow()).isEmpty(), qPrintable(QString::number(size)));
        if (g->visibleColumnCount() < 440) QCOMPARE(g->leftColumn(), g->maxLeftColumn());
    }
}

void MainWindowTest::scrollToPickFollowsTheRun() {
    Harness h(kNoLoom + "controllerArrangement=440\n");
    TForm1& w = h.openShown();
    QVERIFY(h.load("jacquard440.dob"));
    w.gridSizeBox()->setValue(12);
    GridView* g = w.designGrid();
    QVERIFY(g->visibleRowCount() < 100);
    // Forwards from pick 1: the pick stays in view as the rows move down.
    w.showPick(1);
    QVERIFY(pickInView(w, 1));
    QCOMPARE(g->topRow(), g->maxTopRow());
    for (int p = 1; p <= 160; ++p) {
        w.showPick(p);
        QVERIFY2(pickInView(w, p), qPrintable(QString("pick %1 top %2 visible %3")
                                                  .arg(p)
                                                  .arg(g->topRow())
                                                  .arg(g->visibleRowCount())));
    }
    QCOMPARE(g->topRow(), 1);
    // Backwards, with Reverse, from the last pick down to the first. The view
    // moves on by 5 rows once the pick has passed the last row in view by two,
    // and never goes back.
    w.checkBox(Control::ReverseBox)->click();
    int top = 1;
    for (int p = 160; p >= 1; --p) {
        w.showPick(p);
        const int row = 160 - p + 1;
        const int last = g->topRow() + g->visibleRowCount() - 1;
        QVERIFY2(row >= g->topRow() && row <= last + 2, qPrintable(QString::number(p)));
        QVERIFY(g->topRow() == top || g->topRow() == std::min(top + 5, g->maxTopRow()));
        top = g->topRow();
    }
    QCOMPARE(g->topRow(), g->maxTopRow());
    QVERIFY(pickInView(w, 1));
    // The shaft grids are not shown for this design; the colour box follows the pick.
    const DesignModel& d = w.session().design();
    QCOMPARE(w.colourBox()->palette().color(QPalette::Base).rgb(), ui::fromBgr(d.weftColours[0]));
}

void MainWindowTest::markerWithAndWithoutTabby() {
    Harness h(kNoLoom);
    TForm1& w = h.openShown();
    QVERIFY(h.load("twill8.dob"));
    GridView* g = w.designGrid();
    const QRgb blank = pixelOf(g, 0, 62);
    w.showPick(3);
    QCOMPARE(w.session().design().markerPick, 2);
    QCOMPARE(pixelOf(g, 0, 64 - 3 + 1), ui::kMarkerColour);
    QCOMPARE(pixelOf(g, 0, 64), blank);

    w.checkBox(Control::TabbyCheck)->click();
    QCOMPARE(w.button(Control::StartButton)->text(), QString("StartTabby"));
    QCOMPARE(w.button(Control::StopButton)->text(), QString("StopTabby"));
    QCOMPARE(w.button(Control::ResumeButton)->text(), QString("ResumeTabby"));
    w.showPick(7);
    QCOMPARE(w.session().design().markerPick, 2);
    QCOMPARE(pixelOf(g, 0, 64 - 3 + 1), ui::kMarkerColour);
    QCOMPARE(pixelOf(g, 0, 64 - 7 + 1), blank);

    w.checkBox(Control::TabbyCheck)->click();
    QCOMPARE(w.button(Control::StartButton)->text(), QString("Start"));
    w.showPick(7);
    QCOMPARE(pixelOf(g, 0, 64 - 7 + 1), ui::kMarkerColour);
    QCOMPARE(pixelOf(g, 0, 64 - 3 + 1), blank);
}

void MainWindowTest::shaftPlotLayout() {
    Harness h(kNoLoom);
    TForm1& w = h.openShown();
    // Without a design the box changes nothing.
    w.ShaftModeClick(true);
    QVERIFY(!w.shaftPanel()->isVisible());
    w.ShaftModeClick(false);
    QVERIFY(h.load("twill8.dob"));
    QVERIFY(!w.shaftPanel()->isVisible());
    w.checkBox(Control::ShaftPlot)->click();
    QCoreApplication::processEvents();
    QVERIFY(w.shaftPanel()->isVisible());
    QVERIFY(w.treadlingPanel()->isVisible());
    QVERIFY(w.splitter()->handle(1)->isVisible());
    QCOMPARE(w.shaftPanel()->height(), 68);

    // 8 shafts: 63 div 8 = 7, capped at 5.
    GridView* t = w.threadingGrid();
    QCOMPARE(t->columnCount(), 50);
    QCOMPARE(t->rowCount(), 8);
    QCOMPARE(t->cellHeight(), 5);
    QCOMPARE(t->cellWidth(), w.designGrid()->cellWidth());
    QCOMPARE(w.tieUpGrid()->columnCount(), 8);
    QCOMPARE(w.tieUpGrid()->cellWidth(), 5);
    QCOMPARE(w.tieUpGrid()->cellHeight(), 5);
    GridView* tr = w.treadlingGrid();
    QCOMPARE(tr->columnCount(), 8);
    QCOMPARE(tr->rowCount(), 65);
    QCOMPARE(tr->cellWidth(), 5);
    QCOMPARE(tr->cellHeight(), 6);

    // In step with the design grid, before and after zoom.
    QCOMPARE(t->leftColumn(), w.designGrid()->leftColumn());
    QCOMPARE(tr->topRow(), w.designGrid()->topRow());
    w.gridSizeBox()->setValue(12);
    QCOMPARE(t->cellWidth(), 12);
    QCOMPARE(t->cellHeight(), 5);
    QCOMPARE(tr->cellHeight(), 12);
    w.designGrid()->setTopRow(10);
    QCOMPARE(tr->topRow(), 10);
    w.designGrid()->setLeftColumn(5);
    QCOMPARE(t->leftColumn(), w.designGrid()->leftColumn());

    // Threading over the design grid, tie-up over the treadling panel.
    QTRY_COMPARE(t->x() + t->width(), w.designGrid()->width());
    GridView* dg = w.designGrid();
    QCOMPARE(
        t->viewport()->mapToGlobal(t->cellRect(t->leftColumn(), 0).topLeft()).x(),
        dg->viewport()->mapToGlobal(dg->cellRect(dg->leftColumn(), dg->topRow()).topLeft()).x());
    QCOMPARE(w.tieUpGrid()->x(), w.treadlingPanel()->x() + 1);
    QCOMPARE(w.tieUpGrid()->width(), w.treadlingPanel()->width() - 3);

    // Cells: threading entry, tie-up and treadling bits in black.
    const DesignModel& d = w.session().design();
    const int x = t->leftColumn() - 2;
    const int shaft = d.draft.threading[static_cast<size_t>(x)];
    QCOMPARE(pixelOf(t, t->leftColumn(), shaft), ui::kBlack);
    QCOMPARE(pixelOf(t, t->leftColumn(), (shaft + 1) % 8), ui::kWhite);
    QCOMPARE(pixelOf(w.tieUpGrid(), 0, 0), d.tieUpBit(0, 0) ? ui::kBlack : ui::kWhite);
    const int row = tr->topRow();
    QCOMPARE(pixelOf(tr, 2, row), d.treadlingBit(2, RowNo{row - 1}) ? ui::kBlack : ui::kWhite);

    // Off again: the design grid alone.
    w.checkBox(Control::ShaftPlot)->click();
    QVERIFY(!w.shaftPanel()->isVisible());
    QVERIFY(!w.treadlingPanel()->isVisible());

    // A design without shafts has no ShaftPlot.
    QVERIFY(h.load("jacquard440.dob"));
    QVERIFY(!w.checkBox(Control::ShaftPlot)->isVisible());
    QVERIFY(!w.shaftPanel()->isVisible());
}

void MainWindowTest::checkBoxesDriveTheRunPanel() {
    Harness h(kNoLoom);
    TForm1& w = h.openShown();
    QVERIFY(h.load("twill8.dob"));
    w.endWeftBox()->setValue(40);
    QCOMPARE(w.session().window().panel().endWeft, 40);
    w.session().design().currentPick = 1;
    w.checkBox(Control::ReverseBox)->click();
    QVERIFY(w.session().window().checked(Control::ReverseBox));
    QCOMPARE(w.nextWeftBox()->value(), 40);
    w.session().design().currentPick = 40;
    w.checkBox(Control::ReverseBox)->click();
    QCOMPARE(w.nextWeftBox()->value(), 1);

    w.checkBox(Control::LoopCheck)->click();
    QVERIFY(w.session().window().checked(Control::LoopCheck));

    // Invert twice restores the design; once shows it inverted.
    const DesignModel& d = w.session().design();
    const bool lifted = d.lift(RowNo{0}, 0);
    w.checkBox(Control::InvertBox)->click();
    QCOMPARE(d.lift(RowNo{0}, 0), !lifted);
    w.checkBox(Control::InvertBox)->click();
    QCOMPARE(d.lift(RowNo{0}, 0), lifted);
}

void MainWindowTest::helpOpensItsContext() {
    Harness h(kNoLoom);
    TForm1& w = h.openShown();
    w.action("Help")->trigger();
    QTest::keyClick(&w, Qt::Key_F1);
    QCOMPARE(h.urls.size(), size_t{2});
    for (const QUrl& u : h.urls) {
        QCOMPARE(u.fragment(), QString("10000"));
        QCOMPARE(u.toLocalFile(), QString("/nowhere/weavepilot.html"));
    }
    // The shipped help has every context.
    QFile help(QStringLiteral(WP_HELP_DIR) + "/weavepilot.html");
    QVERIFY(help.open(QIODevice::ReadOnly));
    const QString html = QString::fromUtf8(help.readAll());
    for (int ctx : {10000, 11000, 12000, 13000, 14000, 15000})
        QVERIFY2(html.contains(QString("id=\"%1\"").arg(ctx)), qPrintable(QString::number(ctx)));
}

void MainWindowTest::runFromStartOnSimulator() {
    sim::LoomSimOptions so;
    so.loom = sim::LoomType::Jx3;
    so.weaveDelay = std::chrono::milliseconds(30);
    sim::LoomSim loom(so);
    const sim::Status opened = loom.open();
    QVERIFY2(opened.ok, opened.error.c_str());
    std::thread simThread([&] { loom.run(); });
    struct Join {
        sim::LoomSim& s;
        std::thread& t;
        ~Join() {
            s.requestStop();
            t.join();
        }
    } join{loom, simThread};

    Harness h(QString("[Mirlo]\nLoomType=JX3\n[WeavePilot]\ncommPort=1\n[Ports]\nCOM1=%1\n")
                  .arg(QString::fromStdString(loom.devicePath())));
    TForm1& w = h.openShown(true);
    QVERIFY2(w.session().controllerAnswered(), h.texts().empty() ? "" : h.texts()[0].c_str());
    QVERIFY(h.load("twill8.dob"));
    QVERIFY(w.button(Control::StartButton)->isEnabled());
    w.startWeftBox()->setValue(2);
    w.endWeftBox()->setValue(6);

    // The weaver presses Stop once pick 6 is woven; the run is still inside Start.
    bool stopWasEnabled = false, menusWereDisabled = false;
    QTimer watch;
    watch.setInterval(10);
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (!w.running()) return;
        stopWasEnabled = w.button(Control::StopButton)->isEnabled();
        menusWereDisabled = !w.fileMenu()->menuAction()->isEnabled() &&
                            !w.controlMenu()->menuAction()->isEnabled() &&
                            !w.button(Control::StartButton)->isEnabled();
        if (loom.wovenPicks().size() >= 5 && w.currentWeftBox()->text() == "6")
            QTest::mouseClick(w.button(Control::StopButton), Qt::LeftButton);
    });
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [&] { w.StopButtonClick(); });
    watch.start();
    guard.start(20000);
    QTest::mouseClick(w.button(Control::StartButton), Qt::LeftButton);
    watch.stop();
    QVERIFY2(guard.isActive(), "the run did not stop on the Stop button");
    guard.stop();

    QVERIFY(stopWasEnabled);
    QVERIFY(menusWereDisabled);
    QCOMPARE(w.session().runState(), RunState::Idle);
    QVERIFY(!w.running());
    QVERIFY(w.button(Control::StartButton)->isEnabled());
    QVERIFY(!w.button(Control::StopButton)->isEnabled());
    QVERIFY(w.fileMenu()->menuAction()->isEnabled());
    QCOMPARE(w.currentWeftBox()->text(), QString("6"));
    QCOMPARE(w.session().design().markerPick, 5);

    // The loom lifted exactly the design's warp ends for picks 2 to 6.
    const DesignModel& d = w.session().design();
    const auto woven = loom.wovenPicks();
    QVERIFY(woven.size() >= 5);
    for (int i = 0; i < 5; ++i) {
        std::vector<int> want;
        for (int x = 0; x < 48; ++x)
            if (d.lift(d.rowOfPick(PickNo{i + 2}), x)) want.push_back(48 - x);  // hook = warp end
        std::sort(want.begin(), want.end());
        QCOMPARE(woven[static_cast<size_t>(i)].lifted, want);
    }
    QVERIFY(h.boxes.empty());
}

void MainWindowTest::screenshots() {
    const QString out = QStringLiteral(WP_SCREENSHOT_DIR);
    QVERIFY(QDir().mkpath(out));
    struct Shot {
        const char* design;
        bool shaftPlot;
        const char* file;
    };
    for (const Shot& s :
         {Shot{"twill8.dob", true, "twill8.png"}, Shot{"rosepath.ctm", true, "rosepath.png"},
          Shot{"jacquard440.dob", false, "jacquard440.png"}}) {
        Harness h(kNoLoom + "controllerArrangement=440\n");
        TForm1& w = h.openShown();
        w.resize(1100, 720);
        const QString design = neutralCopy(s.design);
        QVERIFY2(!design.isEmpty(), s.design);
        QVERIFY(h.loadPath(design));
        QCOMPARE(w.bottomLabel()->text(), design);
        if (s.shaftPlot) w.checkBox(Control::ShaftPlot)->click();
        w.showPick(1);
        QVERIFY(
            click(w.designGrid(), w.designGrid()->leftColumn() + 3, w.designGrid()->topRow() + 2));
        QCoreApplication::processEvents();
        const QImage shot = w.grab().toImage();
        QVERIFY(!shot.isNull());
        QVERIFY2(shot.save(out + "/" + s.file), s.file);
    }
}

QTEST_MAIN(MainWindowTest)
#include "test_mainwindow.moc"
