// The pattern tools in the window, headless: the float analysis panel, the
// float chart, the colour dialog and the colours file at close and load.
#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QLineSeries>
#include <QLogValueAxis>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <QValueAxis>
#include <QtCharts/QChart>
#include <QtCharts/QChartView>

#include <algorithm>

#include "tests/ui/harness.h"
#include "tools/coloursfile.h"
#include "tools/floats.h"
#include "ui/dialogs/colourdialog.h"
#include "ui/dialogs/floatchart.h"

using namespace wp;
using wp::test::Harness;
using wp::test::kNoLoom;
using wp::test::pixelOf;
using wp::ui::GridView;
using wp::ui::TForm1;

namespace {

// Settings for the 440-end design (kNoLoom lives in another file: built on use).
QString wide() {
    return kNoLoom + "controllerArrangement=440\n";
}

QRgb rgbOf(uint32_t bgr) {
    return ui::fromBgr(bgr);
}

// A design cell in view whose float-map value passes the test, as (column, row).
std::optional<std::pair<int, int>> cellInView(TForm1& w,
                                              const std::function<bool(uint8_t, bool)>& pick) {
    const DesignModel& d = w.session().design();
    GridView* g = w.designGrid();
    for (int r = g->topRow(); r < g->topRow() + g->visibleRowCount(); ++r)
        for (int c = std::max(2, g->leftColumn()); c < g->leftColumn() + g->visibleColumnCount();
             ++c) {
            const int j = r - 1, x = c - 2;
            const size_t at = static_cast<size_t>(j) * static_cast<size_t>(d.header.warps()) +
                              static_cast<size_t>(x);
            if (at < d.analysis.floatMap.size() &&
                pick(d.analysis.floatMap[at], d.lift(RowNo{j}, x)))
                return std::pair{c, r};
        }
    return std::nullopt;
}

int cutMarks(const DesignModel& d) {
    return static_cast<int>(
        std::count(d.analysis.floatMap.begin(), d.analysis.floatMap.end(), kCutMark));
}

void press(ui::AnalysisPanel* p, const char* name) {
    QPushButton* b = p->button(name);
    if (!b)
        qWarning("no button %s", name);
    else
        QTest::mouseClick(b, Qt::LeftButton);
}

}  // namespace

class ToolWindowsTest : public QObject {
    Q_OBJECT
private slots:
    void analysisOpensOnlyWithADesign();
    void analyseCountsAndShowsTheChart();
    void marksCutsApplyAndBilevel();
    void doneAndNewDesignCloseTheAnalysis();
    void saveWritesWeftImageAndColoursFile();
    void repairByHandFollowsTheRun();
    void chartZoomAndScroll();
    void colourDialogAppliesALayout();
    void colourDialogResetCancelAndFaults();
    void coloursKeptAtCloseAndOfferedAtLoad();
    void unreadableColoursFileIsReported();
    void screenshots();
};

void ToolWindowsTest::analysisOpensOnlyWithADesign() {
    Harness h(kNoLoom);
    TForm1& w = h.openShown();
    w.action("Analyse")->trigger();
    QVERIFY(!w.analysisPanel()->isVisible());
    QVERIFY(!w.analysisPanel()->isEnabled());
    QCOMPARE(w.session().design().analysis.displayMode, kAnalysisClosed);

    QVERIFY(h.load("twill8.dob"));
    w.action("Analyse")->trigger();
    ui::AnalysisPanel* p = w.analysisPanel();
    QVERIFY(p->isVisible());
    QVERIFY(p->isEnabled());
    QCOMPARE(w.session().design().analysis.displayMode, kAnalysed);
    QCOMPARE(w.session().design().analysis.floatMap.size(), size_t{48 * 64});
    QVERIFY(p->chart() && !p->chart()->isVisible());
    // The controls and their captions.
    QCOMPARE(p->findChild<QLabel*>("Maxwarp")->text(), QString("Max.Warp float"));
    QCOMPARE(p->findChild<QLabel*>("Maxweft")->text(), QString("Max.weft float"));
    QCOMPARE(p->findChild<QLabel*>("Limit")->text(), QString("Limit"));
    QCOMPARE(p->button("WarpShow")->text(), QString("Show Warp"));
    QCOMPARE(p->button("WeftShow")->text(), QString("Show Weft"));
    QCOMPARE(p->button("TieUps")->text(), QString("Show TieUp"));
    QCOMPARE(p->button("ColorToggle")->text(), QString("BiLevel"));
    QCOMPARE(p->button("ColorToggle")->toolTip(), QString("Toggles color ON/OFF"));
    QCOMPARE(p->button("ApplyFloat")->text(), QString("Apply"));
    QCOMPARE(p->cutLimit()->minimum(), 0);
    QCOMPARE(p->cutLimit()->maximum(), 100);
    QCOMPARE(p->cutLimit()->value(), 0);

    // Open already: the menu does nothing more.
    press(p, "Analyse");
    p->cutLimit()->setValue(3);
    press(p, "WeftShow");
    w.action("Analyse")->trigger();
    QCOMPARE(w.session().design().analysis.displayMode, kWeftFloatsMarked);
}

void ToolWindowsTest::analyseCountsAndShowsTheChart() {
    Harness h(wide());
    TForm1& w = h.openShown();
    QVERIFY(h.load("jacquard440.dob"));
    w.action("Analyse")->trigger();
    ui::AnalysisPanel* p = w.analysisPanel();
    press(p, "Analyse");
    const AnalysisState& a = w.session().design().analysis;
    QCOMPARE(p->mxweft()->text().toStdString(), longestFloatText(a.weftHistogram));
    QCOMPARE(p->mxwarp()->text().toStdString(), longestFloatText(a.warpHistogram));
    QVERIFY(p->mxweft()->text() != "0");
    // Every cell belongs to one weft run of its row.
    long cells = 0;
    for (int k = 0; k < 99; ++k)
        cells += static_cast<long>(k + 1) * a.weftHistogram[static_cast<size_t>(k)];
    QCOMPARE(cells, 440L * 160L);

    ui::TFAnalyse* chart = p->chart();
    QVERIFY(chart && chart->isVisible());
    QCOMPARE(chart->windowTitle(), QString("FAnalyse"));
    QCOMPARE(chart->size(), QSize(550, 484));
    QCOMPARE(chart->chart()->title(), QString("Warps (red)  and  Wefts (blue)"));
    QCOMPARE(chart->bottomAxis()->titleText(), QString("Floatation Length"));
    QVERIFY(!chart->chart()->legend()->isVisible());
    const FloatChartData data = floatChartData(a);
    QCOMPARE(chart->series1()->count(), static_cast<int>(data.warp.size()));
    QCOMPARE(chart->series2()->count(), static_cast<int>(data.weft.size()));
    const auto drawn = [](int count) { return count > 0 ? count : 0.1; };
    for (int k = 0; k < chart->series1()->count(); ++k) {
        QCOMPARE(chart->series1()->at(k), QPointF(k, drawn(data.warp[static_cast<size_t>(k)])));
        QCOMPARE(chart->series2()->at(k), QPointF(k, drawn(data.weft[static_cast<size_t>(k)])));
    }
    QCOMPARE(chart->series1()->color(), QColor(Qt::red));
    QCOMPARE(chart->series2()->color(), QColor(Qt::blue));
    QCOMPARE(chart->leftAxis()->min(), 0.5);
    QCOMPARE(chart->longRowLabel()->text(), QString(" "));
    QCOMPARE(chart->longColLabel()->text(), QString(" "));

    // Closing the chart only hides it; the next Analyse shows the new counts.
    chart->close();
    QVERIFY(!chart->isVisible());
    QVERIFY(p->chart());
    // Nothing lifted: every pick is one float of 440 ends.
    LiftMatrix& m = w.session().design().matrix;
    for (int j = 0; j < 160; ++j) std::fill_n(m.row(RowNo{j}), m.rowBytes(), uint8_t{0});
    press(p, "Analyse");
    QCOMPARE(p->mxweft()->text(), QString(">254"));
    QCOMPARE(chart->series2()->count(), 100);
    QCOMPARE(chart->longRowLabel()->text(), QString("Number of weft pts in too long floats: 160"));
    QCOMPARE(chart->longColLabel()->text(), QString(" "));
}

void ToolWindowsTest::marksCutsApplyAndBilevel() {
    Harness h(wide());
    TForm1& w = h.openShown();
    QVERIFY(h.load("jacquard440.dob"));
    w.gridSizeBox()->setValue(12);
    w.action("Analyse")->trigger();
    ui::AnalysisPanel* p = w.analysisPanel();
    p->setCutDraw(seededDraw(3));
    press(p, "Analyse");
    DesignModel& d = w.session().design();
    GridView* g = w.designGrid();

    // A limit of 2 marks nothing.
    p->cutLimit()->setValue(2);
    press(p, "WeftShow");
    QCOMPARE(d.analysis.displayMode, kAnalysed);
    QCOMPARE(d.analysis.floatCutLimit, 0);

    p->cutLimit()->setValue(3);
    press(p, "WeftShow");
    QCOMPARE(d.analysis.displayMode, kWeftFloatsMarked);
    QCOMPARE(d.analysis.floatCutLimit, 3);
    const auto longLifted =
        cellInView(w, [](uint8_t v, bool lifted) { return v > 3 && v < 255 && lifted; });
    const auto longSunk =
        cellInView(w, [](uint8_t v, bool lifted) { return v > 3 && v < 255 && !lifted; });
    const auto shortLifted = cellInView(w, [](uint8_t v, bool lifted) { return v <= 3 && lifted; });
    QVERIFY(longLifted && shortLifted);
    QCOMPARE(pixelOf(g, longLifted->first, longLifted->second), rgbOf(kLongWarpFloatColour));
    if (longSunk)
        QCOMPARE(pixelOf(g, longSunk->first, longSunk->second), rgbOf(kLongWeftFloatColour));
    const QRgb plain = pixelOf(g, shortLifted->first, shortLifted->second);
    QCOMPARE(plain, rgbOf(d.warpColours[static_cast<size_t>(440 - (shortLifted->first - 2) - 1)]));
    press(p, "ColorToggle");
    QCOMPARE(pixelOf(g, shortLifted->first, shortLifted->second), rgbOf(kBilevelLiftedColour));
    press(p, "ColorToggle");
    QCOMPARE(pixelOf(g, shortLifted->first, shortLifted->second), plain);

    // Show TieUp places the cuts, in black.
    press(p, "TieUps");
    QVERIFY(d.analysis.cutPreview);
    const int marks = cutMarks(d);
    QVERIFY(marks > 0);
    const auto cut = cellInView(w, [](uint8_t v, bool) { return v == kCutMark; });
    QVERIFY(cut);
    QCOMPARE(pixelOf(g, cut->first, cut->second), qRgb(0, 0, 0));
    const bool before = d.lift(RowNo{cut->second - 1}, cut->first - 2);

    // Apply does nothing while the shaft plot is on (this design has none: the
    // box is set as the window would).
    w.session().window().setChecked(Control::ShaftPlot, true);
    press(p, "ApplyFloat");
    QCOMPARE(d.lift(RowNo{cut->second - 1}, cut->first - 2), before);
    w.session().window().setChecked(Control::ShaftPlot, false);
    press(p, "ApplyFloat");
    QCOMPARE(d.lift(RowNo{cut->second - 1}, cut->first - 2), !before);
    QCOMPARE(cutMarks(d), marks);
    press(p, "ApplyFloat");
    QCOMPARE(d.lift(RowNo{cut->second - 1}, cut->first - 2), before);

    // A new limit takes the cuts away; Show TieUp places them for it.
    p->cutLimit()->setValue(6);
    QVERIFY(!d.analysis.cutPreview);
    QCOMPARE(cutMarks(d), 0);
    QCOMPARE(d.analysis.floatCutLimit, 6);
    press(p, "TieUps");
    QVERIFY(cutMarks(d) < marks);
    press(p, "TieUps");
    QCOMPARE(cutMarks(d), 0);

    // Warp floats.
    press(p, "WarpShow");
    QCOMPARE(d.analysis.displayMode, kWarpFloatsMarked);
    QVERIFY(!d.analysis.cutPreview);
}

void ToolWindowsTest::doneAndNewDesignCloseTheAnalysis() {
    Harness h(wide());
    TForm1& w = h.openShown();
    QVERIFY(h.load("jacquard440.dob"));
    w.action("Analyse")->trigger();
    ui::AnalysisPanel* p = w.analysisPanel();
    press(p, "Analyse");
    p->cutLimit()->setValue(3);
    press(p, "WeftShow");
    press(p, "TieUps");
    QPointer<ui::TFAnalyse> chart = p->chart();
    press(p, "Done");
    const DesignModel& d = w.session().design();
    QVERIFY(!p->isVisible());
    QVERIFY(!p->isEnabled());
    QVERIFY(chart.isNull());
    QVERIFY(d.analysis.floatMap.empty());
    QVERIFY(d.analysis.weftHistogram.empty());
    QCOMPARE(d.analysis.displayMode, kAnalysisClosed);
    QCOMPARE(d.analysis.floatCutLimit, 0);
    QVERIFY(p->mxweft()->text().isEmpty());
    QVERIFY(p->mxwarp()->text().isEmpty());
    QCOMPARE(p->cutLimit()->value(), 0);
    // Plain colours again.
    GridView* g = w.designGrid();
    const int c = g->leftColumn(), r = g->topRow();
    const bool lifted = d.lift(RowNo{r - 1}, c - 2);
    QCOMPARE(pixelOf(g, c, r), lifted ? rgbOf(d.warpColours[static_cast<size_t>(440 - (c - 2) - 1)])
                                      : rgbOf(d.weftColours[static_cast<size_t>(160 - r)]));

    // Opening a design closes an open analysis first.
    w.action("Analyse")->trigger();
    press(p, "Analyse");
    QVERIFY(h.load("twill8.dob"));
    QVERIFY(!p->isVisible());
    QCOMPARE(d.analysis.displayMode, kAnalysisClosed);
    QVERIFY(!p->chart());
}

void ToolWindowsTest::saveWritesWeftImageAndColoursFile() {
    Harness h(kNoLoom);
    TForm1& w = h.openShown();
    QVERIFY(h.load("twill8.dob"));
    w.action("Analyse")->trigger();
    ui::AnalysisPanel* p = w.analysisPanel();
    const QString base = h.dir.filePath("weft");
    h.saveAs = base.toStdString();
    w.checkBox(Control::ShaftPlot)->click();
    press(p, "Save");
    QVERIFY(h.saveDialogs.empty());
    w.checkBox(Control::ShaftPlot)->click();
    h.boxes.clear();
    press(p, "Save");
    QCOMPARE(h.saveDialogs.size(), size_t{1});
    QCOMPARE(h.saveDialogs[0].first, std::string("BMPImage|*.BMP"));
    QCOMPARE(h.saveDialogs[0].second, std::string("Save Weft to BMP file"));
    const auto bytes = [](const QString& path) {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    };
    const auto weft = encodeWeftImage(w.session().design());
    const auto colours = encodeColoursFile(w.session().design());
    QCOMPARE(bytes(base + ".bmp"),
             QByteArray(reinterpret_cast<const char*>(weft.data()), static_cast<int>(weft.size())));
    QCOMPARE(bytes(base + "_colors.bmp"), QByteArray(reinterpret_cast<const char*>(colours.data()),
                                                     static_cast<int>(colours.size())));
    QVERIFY2(h.boxes.empty(), h.boxes.empty() ? "" : h.boxes[0].text.c_str());

    // A folder that is not there: the weaver is told.
    h.saveAs = h.dir.filePath("missing/weft").toStdString();
    press(p, "Save");
    QCOMPARE(h.boxes.size(), size_t{1});
    QCOMPARE(h.boxes[0].kind, BoxKind::Error);
    QVERIFY(QString::fromStdString(h.boxes[0].text).startsWith("Cannot save "));
}

void ToolWindowsTest::repairByHandFollowsTheRun() {
    Harness h(kNoLoom);
    TForm1& w = h.openShown();
    QVERIFY(h.load("twill8.dob"));
    w.action("Analyse")->trigger();
    DesignModel& d = w.session().design();
    const int row = w.designGrid()->topRow() + 1;
    const bool before = d.lift(RowNo{row - 1}, 10);
    QVERIFY(test::click(w.designGrid(), 12, row, Qt::RightButton));
    QCOMPARE(d.lift(RowNo{row - 1}, 10), !before);
    // While the design is woven, clicks leave it alone.
    w.grids()->setEditable(false);
    QVERIFY(test::click(w.designGrid(), 12, row, Qt::MiddleButton));
    QCOMPARE(d.lift(RowNo{row - 1}, 10), !before);
    w.grids()->setEditable(true);
    QVERIFY(test::click(w.designGrid(), 12, row, Qt::MiddleButton));
    QCOMPARE(d.lift(RowNo{row - 1}, 10), before);
}

void ToolWindowsTest::chartZoomAndScroll() {
    Harness h(kNoLoom);
    TForm1& w = h.openShown();
    QVERIFY(h.load("twill8.dob"));
    w.action("Analyse")->trigger();
    press(w.analysisPanel(), "Analyse");
    ui::TFAnalyse* c = w.analysisPanel()->chart();
    QVERIFY(QTest::qWaitForWindowExposed(c));
    QLogValueAxis* left = c->leftAxis();
    QValueAxis* bottom = c->bottomAxis();
    const double l0 = left->min(), l1 = left->max(), b0 = bottom->min(), b1 = bottom->max();
    QCOMPARE(l0, 0.5);
    QVERIFY(b1 > b0);

    QTest::keyClick(c, Qt::Key_PageUp);
    QCOMPARE(left->min(), l0 + (l1 - l0) / 10);
    QCOMPARE(left->max(), l1 + (l1 - l0) / 10);
    QTest::keyClick(c, Qt::Key_Right);
    QCOMPARE(bottom->min(), b0 + (b1 - b0) / 100);
    QTest::keyClick(c, Qt::Key_Space);
    QCOMPARE(left->min(), l0);
    QCOMPARE(bottom->max(), b1);
    // Scrolling down past 0 is not possible on a logarithmic axis.
    QTest::keyClick(c, Qt::Key_PageDown);
    QCOMPARE(left->min(), l0);
    // Shift+Left zooms in by 10 % of each range at both ends.
    QTest::keyClick(c, Qt::Key_Left, Qt::ShiftModifier);
    QCOMPARE(bottom->min(), b0 + (b1 - b0) * 0.1);
    QCOMPARE(bottom->max(), b1 - (b1 - b0) * 0.1);
    QCOMPARE(left->min(), l0 + (l1 - l0) * 0.1);
    QTest::keyClick(c, Qt::Key_Space);

    // A left click on an axis zooms out by half, the counts from a half on;
    // a right click undoes it.
    const QRectF plot = c->chart()->plotArea();
    const QPoint onLeftAxis = c->view()->mapFromScene(
        c->chart()->mapToScene(QPointF(plot.left() - 8, plot.center().y())));
    QTest::mouseClick(c->view()->viewport(), Qt::LeftButton, {}, onLeftAxis);
    QCOMPARE(bottom->min(), b0 - (b1 - b0) / 4);
    QCOMPARE(bottom->max(), b1 + (b1 - b0) / 4);
    QCOMPARE(left->min(), 0.5);
    QCOMPARE(left->max(), l1 + (l1 - l0) / 4);
    // The axis's labels are wider now: the plot area has moved.
    const QRectF zoomed = c->chart()->plotArea();
    const QPoint stillOnLeftAxis = c->view()->mapFromScene(
        c->chart()->mapToScene(QPointF(zoomed.left() - 8, zoomed.center().y())));
    QTest::mouseClick(c->view()->viewport(), Qt::RightButton, {}, stillOnLeftAxis);
    QCOMPARE(bottom->min(), b0);
    QCOMPARE(left->max(), l1);

    // F1 asks for the analysis help.
    QTest::keyClick(c, Qt::Key_F1);
    QCOMPARE(h.urls.back().fragment(), QString("13000"));
}

void ToolWindowsTest::colourDialogAppliesALayout() {
    Harness h(kNoLoom);
    TForm1& w = h.openShown();
    QVERIFY(h.load("twill8.dob"));
    const std::vector<uint32_t> colours = {0x2020C0, 0x20C020, 0xC02020};
    h.colours.assign(colours.begin(), colours.end());
    QString caption;
    h.inDialog = [&](QDialog& dlg) {
        auto& f = static_cast<ui::TForm3&>(dlg);
        caption = f.windowTitle();
        f.spinEdit1()->setValue(3);
        for (int slot : {1, 2, 3}) QVERIFY(test::click(f.drawGrid1(), 0, slot - 1));
        f.edit1()->setText("1,(2,3)2");
        QTest::mouseClick(f.button("Button1"), Qt::LeftButton);
    };
    w.action("Weftcolor")->trigger();
    QCOMPARE(caption, QString("Weft colors"));
    const DesignModel& d = w.session().design();
    const std::vector<uint16_t> want = {1, 2, 3, 2, 3, 2, 3, 2, 3, 2};
    for (size_t i = 0; i < want.size(); ++i) {
        QCOMPARE(d.weftColourNumbers[i], want[i]);
        QCOMPARE(d.weftColours[i], colours[want[i] - 1u]);
    }
    QVERIFY(d.manualColours);
    QCOMPARE(w.palettes().weft.count, 3);
    QCOMPARE(w.palettes().weft.layout, std::string("1,(2,3)2"));
    // The grids show the new colours: pick 2 in the weft strip and the colour box.
    QVERIFY(test::pickInView(w, 2));
    QCOMPARE(pixelOf(w.designGrid(), 1, 64 - 2 + 1), rgbOf(colours[1]));
    QCOMPARE(w.colourBox()->text(), QString("1"));

    // The warp: two colours in turn, no layout.
    h.colours = {0x000000, 0xFFFF00};
    h.inDialog = [&](QDialog& dlg) {
        auto& f = static_cast<ui::TForm3&>(dlg);
        caption = f.windowTitle();
        QCOMPARE(f.spinEdit1()->value(), 0);
        f.spinEdit1()->setValue(2);
        QVERIFY(test::click(f.drawGrid1(), 0, 0));
        QVERIFY(test::click(f.drawGrid1(), 0, 1));
        QTest::mouseClick(f.button("Button1"), Qt::LeftButton);
    };
    w.action("WarpColor")->trigger();
    QCOMPARE(caption, QString("Warp colors"));
    QCOMPARE(d.warpColours[0], 0x000000u);
    QCOMPARE(d.warpColours[1], 0xFFFF00u);
    QCOMPARE(d.warpColours[47], 0xFFFF00u);

    // Shown again, the weft dialog starts from what was kept.
    h.inDialog = [&](QDialog& dlg) {
        auto& f = static_cast<ui::TForm3&>(dlg);
        QCOMPARE(f.spinEdit1()->value(), 3);
        QCOMPARE(f.edit1()->text(), QString("1,(2,3)2"));
        QCOMPARE(pixelOf(f.drawGrid1(), 0, 2), rgbOf(colours[2]));
        QTest::mouseClick(f.button("Button3"), Qt::LeftButton);
    };
    w.action("Weftcolor")->trigger();
}

void ToolWindowsTest::colourDialogResetCancelAndFaults() {
    Harness h(kNoLoom);
    TForm1& w = h.openShown();
    QVERIFY(h.load("twill8.dob"));
    const DesignModel& d = w.session().design();
    const std::vector<uint32_t> original = d.weftColours;

    // CANCEL changes nothing, even after the palette was edited.
    h.colours = {0x123456};
    h.inDialog = [&](QDialog& dlg) {
        auto& f = static_cast<ui::TForm3&>(dlg);
        f.spinEdit1()->setValue(1);
        QVERIFY(test::click(f.drawGrid1(), 0, 0));
        QTest::mouseClick(f.button("Button3"), Qt::LeftButton);
        QCOMPARE(f.result(), int(QDialog::Accepted));
    };
    w.action("Weftcolor")->trigger();
    QCOMPARE(d.weftColours, original);
    QVERIFY(!d.manualColours);

    // RESET: no colours, white slots, no layout; the spin box keeps its number.
    h.inDialog = [&](QDialog& dlg) {
        auto& f = static_cast<ui::TForm3&>(dlg);
        f.spinEdit1()->setValue(4);
        f.edit1()->setText("1,2");
        QTest::mouseClick(f.button("Button2"), Qt::LeftButton);
        QCOMPARE(f.spinEdit1()->value(), 4);
        QVERIFY(f.edit1()->text().isEmpty());
        QCOMPARE(f.editor().paletteSize(), 0);
        QCOMPARE(pixelOf(f.drawGrid1(), 0, 0), qRgb(255, 255, 255));
        QTest::mouseClick(f.button("Button1"), Qt::LeftButton);
    };
    w.action("Weftcolor")->trigger();
    for (size_t i = 0; i < 64; ++i) {
        QCOMPARE(d.weftColours[i], 0xFFFFFFu);
        QCOMPARE(d.weftColourNumbers[i], uint16_t{0});
    }

    // A faulty layout: its message once when the field is left and OK pressed,
    // then the palette in turn.
    h.boxes.clear();
    h.inDialog = [&](QDialog& dlg) {
        auto& f = static_cast<ui::TForm3&>(dlg);
        f.spinEdit1()->setValue(2);
        f.edit1()->setText("1,4");
        // The weaver tabs out of the field.
        QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
        QCoreApplication::sendEvent(f.edit1(), &out);
        QCOMPARE(h.texts(), std::vector<std::string>{"Invalid color 4 at position 4"});
        QTest::mouseClick(f.button("Button1"), Qt::LeftButton);
        QCOMPARE(h.texts(), std::vector<std::string>{"Invalid color 4 at position 4"});
    };
    w.action("Weftcolor")->trigger();
    QCOMPARE(h.texts(), std::vector<std::string>{"Invalid color 4 at position 4"});
    QCOMPARE(h.boxes[0].buttons, Buttons::Yes);
    QCOMPARE(d.weftColourNumbers[0], uint16_t{1});
    QCOMPARE(d.weftColourNumbers[1], uint16_t{2});
    QCOMPARE(d.weftColourNumbers[2], uint16_t{1});
}

void ToolWindowsTest::coloursKeptAtCloseAndOfferedAtLoad() {
    Harness h(kNoLoom, "twill8.dob");
    const QString design = h.dir.filePath("twill8.dob");
    {
        TForm1& w = h.openShown();
        QVERIFY(h.loadPath(design));
        h.colours = {0x0000FF, 0x00FFFF};
        h.inDialog = [&](QDialog& dlg) {
            auto& f = static_cast<ui::TForm3&>(dlg);
            f.spinEdit1()->setValue(2);
            QVERIFY(test::click(f.drawGrid1(), 0, 0));
            QVERIFY(test::click(f.drawGrid1(), 0, 1));
            f.edit1()->setText("(1)3,2");
            QTest::mouseClick(f.button("Button1"), Qt::LeftButton);
        };
        w.action("Weftcolor")->trigger();
        w.session().design().currentPick = 7;
        h.answers = {Answer::Yes};
        QVERIFY(w.close());
        h.window.reset();
    }
    QVERIFY(QFile::exists(h.dir.filePath("twill8_colors.bmp")));
    QVERIFY(h.iniText().contains("weft_pos=7"));

    // The next start offers the design, then its colours.
    h.boxes.clear();
    h.answers = {Answer::Yes, Answer::Yes};  // continue, read colours
    TForm1& w = h.open();
    w.FormActivate();
    QTRY_VERIFY(w.session().design().hasDesign());
    const std::vector<std::string> texts = h.texts();
    QCOMPARE(std::count(texts.begin(), texts.end(), std::string("Read the manual colors file?")),
             1);
    const DesignModel& d = w.session().design();
    QVERIFY(d.manualColours);
    QCOMPARE(d.weftColours[0], 0x0000FFu);
    QCOMPARE(d.weftColours[2], 0x0000FFu);
    QCOMPARE(d.weftColours[3], 0x00FFFFu);
    QCOMPARE(d.weftColours[63], 0x00FFFFu);
    QCOMPARE(d.weftColourNumbers[3], uint16_t{2});
    QCOMPARE(w.palettes().weft.count, 2);
    QCOMPARE(w.palettes().warp.count, 1);
}

void ToolWindowsTest::unreadableColoursFileIsReported() {
    Harness h(kNoLoom, "twill8.dob");
    {
        QFile f(h.dir.filePath("twill8_colors.bmp"));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("not a picture");
    }
    TForm1& w = h.openShown();
    h.boxes.clear();
    h.answers = {Answer::Yes};  // read the colours; then no firmware download
    QVERIFY(h.loadPath(h.dir.filePath("twill8.dob")));
    // The question, then what was wrong with the file.
    const std::vector<std::string> texts = h.texts();
    const auto read = std::find(texts.begin(), texts.end(), "Read the manual colors file?");
    const size_t at = static_cast<size_t>(std::distance(texts.begin(), read));
    QVERIFY(at + 1 < h.boxes.size());
    QCOMPARE(h.boxes[at + 1].kind, BoxKind::Error);
    QCOMPARE(h.boxes[at + 1].text, "Cannot read the colours file " +
                                       h.dir.filePath("twill8_colors.bmp").toStdString() +
                                       ": not a BMP picture.");
    QVERIFY(!w.session().design().manualColours);
    QVERIFY(w.session().design().designReady);
}

void ToolWindowsTest::screenshots() {
    const QString out = QStringLiteral(WP_SCREENSHOT_DIR);
    QVERIFY(QDir().mkpath(out));
    Harness h(wide());
    TForm1& w = h.openShown();
    w.resize(1100, 720);
    const QString design = test::neutralCopy("jacquard440.dob");
    QVERIFY(h.loadPath(design));
    w.gridSizeBox()->setValue(8);
    w.action("Analyse")->trigger();
    ui::AnalysisPanel* p = w.analysisPanel();
    p->setCutDraw(seededDraw(1));
    press(p, "Analyse");
    p->cutLimit()->setValue(3);
    press(p, "WeftShow");
    press(p, "TieUps");
    QCoreApplication::processEvents();
    QVERIFY(w.grab().toImage().save(out + "/analysis.png"));

    ui::TFAnalyse* chart = p->chart();
    // The picture is taken at once, not half-way through an animation.
    chart->chart()->setAnimationOptions(QChart::NoAnimation);
    QVERIFY(QTest::qWaitForWindowExposed(chart));
    chart->FormActivate();
    // The chart lays out its axes from the event loop.
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    QVERIFY(chart->grab().toImage().save(out + "/floatchart.png"));

    h.colours = {0x3C14B4, 0x3CC8F0, 0x963C14};
    h.inDialog = [&](QDialog& dlg) {
        auto& f = static_cast<ui::TForm3&>(dlg);
        f.spinEdit1()->setValue(3);
        for (int slot : {1, 2, 3}) QVERIFY(test::click(f.drawGrid1(), 0, slot - 1));
        f.edit1()->setText("(1)20,(2)20,(3)20");
        QCoreApplication::processEvents();
        QVERIFY(f.grab().toImage().save(out + "/colours.png"));
        QTest::mouseClick(f.button("Button3"), Qt::LeftButton);
    };
    w.action("WarpColor")->trigger();
}

QTEST_MAIN(ToolWindowsTest)
#include "test_toolwindows.moc"
