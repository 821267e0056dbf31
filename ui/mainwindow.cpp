#include "ui/mainwindow.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QShortcut>
#include <QSpinBox>
#include <QSplitter>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>
#include <filesystem>

#include "import/formats.h"
#include "import/load.h"

namespace wp::ui {

namespace {

constexpr int kFixedSize = 12;            // design grid columns 0, 1 and row 0
constexpr int kThreadingFixedWidth = 24;  // threading grid column 0
constexpr int kShaftArea = 63;            // tie-up grid side, treadling panel width
constexpr int kDefaultZoom = 6;

QString qs(const std::string& s) {
    return QString::fromStdString(s);
}

// "Dobby|*.DOB|Countermarche|*.CTM" as Qt writes it; file names on this system
// are case-sensitive, so both cases are offered.
QString qtFilter(const std::string& filter) {
    const QStringList parts = qs(filter).split('|');
    QStringList out;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        QStringList patterns;
        for (const QString& p : parts[i + 1].split(';', Qt::SkipEmptyParts)) {
            patterns << p.trimmed();
            if (p.trimmed().toLower() != p.trimmed()) patterns << p.trimmed().toLower();
        }
        out << parts[i] + " (" + patterns.join(' ') + ")";
    }
    return out.join(";;");
}

QSpinBox* spinBox(int lo, int hi, int value) {
    auto* box = new QSpinBox;
    box->setRange(lo, hi);
    box->setValue(value);
    box->setMinimumWidth(70);
    return box;
}

QWidget* labelled(const QString& caption, QWidget* field) {
    auto* w = new QWidget;
    auto* l = new QVBoxLayout(w);
    l->setContentsMargins(4, 2, 4, 2);
    l->setSpacing(2);
    l->addWidget(new QLabel(caption));
    l->addWidget(field);
    return w;
}

}  // namespace

TForm1::TForm1(WindowOptions options, QWidget* parent)
    : QMainWindow(parent),
      options_(std::move(options)),
      session_(*this, options_.settingsFile),
      run_(session_),
      life_(session_),
      designCells_(session_),
      tieUpCells_(session_) {
    setWindowTitle(kApplicationTitle);
    setFont(QFont("Sans Serif", 8, QFont::Bold));
    const QRgb face = palette().color(QPalette::Button).rgb();
    threadingCells_ = std::make_unique<ThreadingCells>(session_, face);
    treadlingCells_ = std::make_unique<TreadlingCells>(session_, face);

    buildMenus();
    buildPanels();
    widgetsReady_ = true;
    for (int i = 0; i < static_cast<int>(Control::Count); ++i)
        applyControl(static_cast<Control>(i));

    // Window creation: the shaft and analysis panels start hidden, and the
    // settings, driver and port come up.
    showShaftPanels(false);
    closeAnalysisPanel();
    life_.setHelpFile(options_.helpFile.empty() ? findHelpFile() : options_.helpFile);
    life_.logPath = options_.logPath.empty() ? defaultLogPath() : options_.logPath;
    session_.setSettingsChosen(options_.settingsChosen);
    life_.create(options_.openPort);
    run_.applyCaptions();
    resize(1000, 700);
}

TForm1::~TForm1() {
    life_.destroy();
}

std::string TForm1::findHelpFile() {
    const QString appDir = QCoreApplication::applicationDirPath();
    const QStringList candidates = {
        appDir + "/help/weavepilot.html",
        appDir + "/../share/weavepilot/help/weavepilot.html",
#ifdef WP_HELP_DIR
        QStringLiteral(WP_HELP_DIR) + "/weavepilot.html",
#endif
    };
    for (const QString& c : candidates)
        if (QFileInfo::exists(c)) return QFileInfo(c).absoluteFilePath().toStdString();
    return candidates.front().toStdString();
}

void TForm1::buildMenus() {
    auto add = [this](QMenu* menu, const QString& text, const QString& hint, auto slot) {
        QAction* a = menu->addAction(text);
        if (!hint.isEmpty()) a->setStatusTip(hint);
        connect(a, &QAction::triggered, this, slot);
        QString key = text;
        actions_[key.remove('&')] = a;
        return a;
    };
    fileMenu_ = menuBar()->addMenu("&File");
    add(fileMenu_, "&Open", "", [this] { openDesign(FileType::Native); });
    // Readers of these formats come later; their entries stay in place, disabled.
    add(fileMenu_, "Open &IMP", "", [this] { openDesign(FileType::Imp); });
    add(fileMenu_, "Open &DW", "", [this] { openDesign(FileType::Dw1); });
    add(fileMenu_, "Open &BMP", "bilevel BMP image", [this] {
        openDesign(FileType::Bmp);
    })->setEnabled(false);
    add(fileMenu_, "Open&JPEG", "bilevel JPEG image", [this] {
        openDesign(FileType::Jpeg);
    })->setEnabled(false);
    add(fileMenu_, "Open&TIFF", "bilevel TIFF image", [this] {
        openDesign(FileType::Tiff);
    })->setEnabled(false);
    add(fileMenu_, "Open&WIF", "WIF file", [this] { openDesign(FileType::Wif); });
    fileMenu_->addSeparator();
    add(fileMenu_, "Do&wnload", "", [] {})->setEnabled(false);
    fileMenu_->addSeparator();
    add(fileMenu_, "E&xit", "", [this] { ExitClick(); });

    controlMenu_ = menuBar()->addMenu("&Control");
    add(controlMenu_, "&Settings", "", [] {})->setEnabled(false);
    add(controlMenu_, "&Reset", "", [this] { ResetClick(); });
    add(controlMenu_, "&WarpColor", "Manual Warpcoloring", [] {})->setEnabled(false);
    add(controlMenu_, "W&eftcolor", "Adjust weft colors", [] {})->setEnabled(false);
    add(controlMenu_, "&Test", "", [] {})->setEnabled(false);
    loggingAction_ =
        add(controlMenu_, "&Logging", "Toggle logging to file", [this] { LoggingClick(); });
    loggingAction_->setCheckable(true);
    add(controlMenu_, "&Analyse", "", [] {})->setEnabled(false);

    QMenu* help = menuBar()->addMenu("&Help");
    add(help, "&Help", "", [this] { HelpClick(kHelpMainWindow); });
    add(help, "&About...", "", [this] { AboutClick(); });

    auto* f1 = new QShortcut(QKeySequence::HelpContents, this);
    connect(f1, &QShortcut::activated, this, [this] { HelpClick(kHelpMainWindow); });
    statusBar();
}

void TForm1::buildPanels() {
    auto* central = new QWidget;
    auto* column = new QVBoxLayout(central);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    // Top panel: zoom and the run panel's numbers.
    auto* top = new QWidget;
    top->setFixedHeight(65);
    auto* topRow = new QHBoxLayout(top);
    topRow->setContentsMargins(4, 0, 4, 0);
    gridSize_ = spinBox(1, 12, kDefaultZoom);
    startWeft_ = spinBox(1, 50, 1);
    endWeft_ = spinBox(1, 50, 1);
    nextWeft_ = spinBox(1, 220, 1);
    colourBox_ = new QLineEdit;
    colourBox_->setReadOnly(true);
    colourBox_->setFixedWidth(60);
    colourBox_->setAutoFillBackground(true);
    currentWeft_ = new QLineEdit;
    currentWeft_->setReadOnly(true);
    currentWeft_->setFixedWidth(80);
    topRow->addWidget(labelled("Grid size", gridSize_));
    topRow->addWidget(labelled("Start weft", startWeft_));
    topRow->addWidget(labelled("End weft", endWeft_));
    topRow->addWidget(labelled("Color", colourBox_));
    topRow->addWidget(labelled("Next weft on resume", nextWeft_));
    topRow->addWidget(labelled("Current weft", currentWeft_));
    topRow->addStretch(1);
    column->addWidget(top);

    connect(gridSize_, &QSpinBox::valueChanged, this, [this](int v) { setZoom(v); });
    connect(startWeft_, &QSpinBox::valueChanged, this, [this](int v) {
        if (!applyingPanel_) session_.window().setStartWeft(v);
    });
    connect(endWeft_, &QSpinBox::valueChanged, this, [this](int v) {
        if (!applyingPanel_) session_.window().setEndWeft(v);
    });
    connect(nextWeft_, &QSpinBox::valueChanged, this, [this](int v) {
        if (!applyingPanel_) session_.window().setNextWeft(v);
    });

    // Shaft panel: threading beside the tie-up, placed by hand so that they
    // line up with the design grid and the treadling panel below them.
    shaftPanel_ = new QWidget;
    shaftPanel_->setFixedHeight(68);
    threadingGrid_ = new GridView(shaftPanel_);
    threadingGrid_->setSource(threadingCells_.get());
    threadingGrid_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    threadingGrid_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    threadingGrid_->setFrameShape(QFrame::NoFrame);
    threadingGrid_->setFollower(true);
    threadingGrid_->setDimensions(50, 16);
    threadingGrid_->setFixedColumns({kThreadingFixedWidth});
    tieUpGrid_ = new GridView(shaftPanel_);
    tieUpGrid_->setSource(&tieUpCells_);
    tieUpGrid_->setFrameShape(QFrame::NoFrame);
    tieUpGrid_->setDimensions(16, 16);
    tieUpGrid_->setGeometry(0, 0, kShaftArea, kShaftArea);
    column->addWidget(shaftPanel_);

    splitter_ = new QSplitter(Qt::Horizontal);
    splitter_->setHandleWidth(10);
    splitter_->setChildrenCollapsible(false);
    designGrid_ = new GridView;
    designGrid_->setSource(&designCells_);
    // Always there, so that the rows and columns in view do not change when a
    // scroll bar comes or goes.
    designGrid_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    designGrid_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    designGrid_->setDimensions(50, 50);
    designGrid_->setFixedColumns({kFixedSize, kFixedSize});
    designGrid_->setFixedRows({kFixedSize});
    designGrid_->setCellSize(kDefaultZoom, kDefaultZoom);
    treadlingPanel_ = new QWidget;
    auto* tl = new QVBoxLayout(treadlingPanel_);
    tl->setContentsMargins(0, 0, 0, 0);
    treadlingGrid_ = new GridView;
    treadlingGrid_->setSource(treadlingCells_.get());
    treadlingGrid_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    treadlingGrid_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    treadlingGrid_->setFollower(true);
    treadlingGrid_->setDimensions(16, 50);
    treadlingGrid_->setFixedRows({kFixedSize});
    tl->addWidget(treadlingGrid_);
    splitter_->addWidget(designGrid_);
    splitter_->addWidget(treadlingPanel_);
    splitter_->setStretchFactor(0, 1);
    splitter_->setStretchFactor(1, 0);
    splitter_->setSizes({900, kShaftArea});
    column->addWidget(splitter_, 1);

    // Grids that scroll in step.
    connect(designGrid_, &GridView::topLeftChanged, this, [this] {
        treadlingGrid_->setTopRow(designGrid_->topRow());
        threadingGrid_->setLeftColumn(designGrid_->leftColumn());
    });
    connect(tieUpGrid_, &GridView::topLeftChanged, this,
            [this] { threadingGrid_->setTopRow(tieUpGrid_->topRow()); });
    connect(treadlingGrid_, &GridView::topLeftChanged, this,
            [this] { tieUpGrid_->setLeftColumn(treadlingGrid_->leftColumn()); });
    connect(splitter_, &QSplitter::splitterMoved, this, [this] { layoutShaftPanel(); });
    connect(designGrid_, &GridView::cellPressed, this, &TForm1::designGridPressed);
    connect(threadingGrid_, &GridView::cellPressed, this, &TForm1::threadingGridPressed);
    connect(treadlingGrid_, &GridView::cellPressed, this, &TForm1::treadlingGridPressed);

    // Bottom panel: pick label, run buttons, check boxes, bottom label.
    auto* bottom = new QWidget;
    bottom->setFixedHeight(103);
    auto* grid = new QGridLayout(bottom);
    grid->setContentsMargins(6, 4, 6, 4);
    pickLabel_ = new QLabel;
    pickLabel_->setMinimumWidth(200);
    bottomLabel_ = new QLabel;
    bottomLabel_->setVisible(false);
    bottomLabel_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    grid->addWidget(pickLabel_, 0, 0, 1, 3);
    int col = 0;
    for (Control c : {Control::StartButton, Control::StopButton, Control::ResumeButton}) {
        auto* b = new QPushButton(qs(session_.window().control(c).caption));
        b->setMinimumWidth(90);
        buttons_[c] = b;
        grid->addWidget(b, 1, col++);
    }
    connect(buttons_[Control::StartButton], &QPushButton::clicked, this,
            [this] { StartButtonClick(); });
    connect(buttons_[Control::StopButton], &QPushButton::clicked, this,
            [this] { StopButtonClick(); });
    connect(buttons_[Control::ResumeButton], &QPushButton::clicked, this,
            [this] { ResumeButtonClick(); });
    col = 3;
    const std::pair<Control, void (TForm1::*)(bool)> boxes[] = {
        {Control::TabbyCheck, &TForm1::TabbyCheckClick},
        {Control::ShaftPlot, &TForm1::ShaftModeClick},
        {Control::ReverseBox, &TForm1::ReverseBoxClick},
        {Control::InvertBox, &TForm1::InvertBoxClick},
        {Control::LoopCheck, &TForm1::CheckLoopClick},
    };
    for (const auto& [c, handler] : boxes) {
        auto* box = new QCheckBox(qs(session_.window().control(c).caption));
        checks_[c] = box;
        grid->addWidget(box, 1, col++);
        // clicked() comes from the weaver only, never from setChecked().
        connect(box, &QCheckBox::clicked, this, [this, h = handler](bool on) { (this->*h)(on); });
    }
    grid->addWidget(bottomLabel_, 2, 0, 1, col + 1);
    grid->setColumnStretch(col, 1);
    column->addWidget(bottom);

    analysisPanel_ = new QWidget;
    analysisPanel_->setFixedHeight(103);
    column->addWidget(analysisPanel_);

    setCentralWidget(central);
}

QPushButton* TForm1::button(Control c) const {
    const auto it = buttons_.find(c);
    return it == buttons_.end() ? nullptr : it->second;
}

QCheckBox* TForm1::checkBox(Control c) const {
    const auto it = checks_.find(c);
    return it == checks_.end() ? nullptr : it->second;
}

QAction* TForm1::action(const QString& text) const {
    const auto it = actions_.find(text);
    return it == actions_.end() ? nullptr : it->second;
}

// --- The core's view of the weaver -------------------------------------------

Answer TForm1::messageBox(BoxKind kind, const std::string& text, Buttons buttons) {
    if (options_.hooks.messageBox) return options_.hooks.messageBox(kind, text, buttons);
    QMessageBox::Icon icon = QMessageBox::Information;
    switch (kind) {
        case BoxKind::Error:
            icon = QMessageBox::Critical;
            break;
        case BoxKind::Information:
            icon = QMessageBox::Information;
            break;
        case BoxKind::Confirmation:
            icon = QMessageBox::Question;
            break;
        case BoxKind::Warning:
            icon = QMessageBox::Warning;
            break;
    }
    QMessageBox::StandardButtons which = QMessageBox::Ok;
    if (buttons == Buttons::Yes) which = QMessageBox::Yes;
    if (buttons == Buttons::YesNo) which = QMessageBox::Yes | QMessageBox::No;
    QString shown = qs(text);
    shown.replace("\r\n", "\n");
    QMessageBox box(icon, kApplicationTitle, shown, which, isVisible() ? this : nullptr);
    // The hourglass must not hide the arrow the weaver needs to answer.
    const bool wasBusy = busy_;
    if (wasBusy) setBusy(false);
    const int pressed = box.exec();
    if (wasBusy) setBusy(true);
    if (pressed == QMessageBox::Yes) return Answer::Yes;
    if (pressed == QMessageBox::No) return Answer::No;
    return Answer::Ok;
}

void TForm1::setStatus(const std::string& text) {
    bottomLabel_->setText(qs(text));
    if (!text.empty()) bottomLabel_->setVisible(true);
}

void TForm1::showFileName(const std::string& path) {
    bottomLabel_->setText(qs(path));
    bottomLabel_->setVisible(true);
}

void TForm1::clearPickLabel() {
    pickLabel_->clear();
}

void TForm1::clearColourBox() {
    colourBox_->setPalette(QPalette());
    colourBox_->clear();
}

void TForm1::showPick(int pick) {
    scrollToPick(pick);
    drawMarker(pick);
}

void TForm1::moveMarker(int pick) {
    drawMarker(pick);
}

void TForm1::processEvents() {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

std::optional<std::string> TForm1::chooseFile(const std::string& filter) {
    if (pendingFile_) {
        auto file = std::move(pendingFile_);
        pendingFile_.reset();
        return file;
    }
    if (options_.hooks.chooseFile) return options_.hooks.chooseFile(filter);
    const QString dir = session_.design().designFileName.empty()
                            ? QString()
                            : QFileInfo(qs(session_.design().designFileName)).absolutePath();
    const QString name = QFileDialog::getOpenFileName(this, "Open", dir, qtFilter(filter));
    if (name.isEmpty()) return std::nullopt;
    return name.toStdString();
}

void TForm1::setBusy(bool busy) {
    if (busy == busy_) return;
    busy_ = busy;
    if (busy)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QApplication::restoreOverrideCursor();
}

void TForm1::controlChanged(Control c, const ControlState&) {
    if (widgetsReady_) applyControl(c);
}

void TForm1::applyControl(Control c) {
    const ControlState& st = session_.window().control(c);
    if (c == Control::FileMenu || c == Control::ControlMenu) {
        QMenu* menu = c == Control::FileMenu ? fileMenu_ : controlMenu_;
        menu->menuAction()->setEnabled(st.enabled);
        menu->menuAction()->setVisible(st.visible);
        return;
    }
    if (QPushButton* b = button(c)) {
        b->setEnabled(st.enabled);
        b->setVisible(st.visible);
        b->setText(qs(st.caption));
        return;
    }
    if (QCheckBox* box = checkBox(c)) {
        box->setEnabled(st.enabled);
        box->setVisible(st.visible);
        box->setChecked(st.checked);
        box->setText(qs(st.caption));
    }
}

void TForm1::panelChanged(const RunPanel& panel) {
    applyingPanel_ = true;
    startWeft_->setValue(panel.startWeft);
    endWeft_->setValue(panel.endWeft);
    nextWeft_->setValue(panel.nextWeft);
    currentWeft_->setText(qs(panel.currentWeft));
    applyingPanel_ = false;
    // A spin box keeps to its range; the run reads what the weaver sees.
    if (startWeft_->value() != panel.startWeft || endWeft_->value() != panel.endWeft ||
        nextWeft_->value() != panel.nextWeft) {
        RunPanel kept = panel;
        kept.startWeft = startWeft_->value();
        kept.endWeft = endWeft_->value();
        kept.nextWeft = nextWeft_->value();
        session_.window().setPanel(kept);
    }
}

void TForm1::closeAnalysisPanel() {
    analysisPanel_->setVisible(false);
    analysisPanel_->setEnabled(false);
}

// --- Grids --------------------------------------------------------------------

void TForm1::showShaftPanels(bool on) {
    for (QWidget* w : {static_cast<QWidget*>(shaftPanel_), treadlingPanel_,
                       static_cast<QWidget*>(threadingGrid_), static_cast<QWidget*>(tieUpGrid_),
                       static_cast<QWidget*>(treadlingGrid_)}) {
        w->setVisible(on);
        w->setEnabled(on);
    }
    splitter_->handle(1)->setVisible(on);
    splitter_->handle(1)->setEnabled(on);
}

void TForm1::layoutShaftPanel() {
    // Threading over the design grid, its cells over the design's cells (the
    // design grid has a frame, the threading grid none), tie-up over the
    // treadling panel.
    const int inset = designGrid_->frameWidth() + 1;
    threadingGrid_->setGeometry(inset, 0, designGrid_->width() - inset, shaftPanel_->height());
    const int left = treadlingPanel_->x() + 1;
    tieUpGrid_->setGeometry(left, 0, std::max(1, treadlingPanel_->width() - 3), kShaftArea);
}

void TForm1::designChanged() {
    rebuildGrids();
}

void TForm1::rebuildGrids() {
    DesignModel& d = session_.design();
    const int wefts = d.header.wefts();
    const int warps = d.header.warps();
    const int zoom = gridSize_->value();

    applyingPanel_ = true;
    startWeft_->setMaximum(std::max(1, wefts));
    endWeft_->setMaximum(std::max(1, wefts));
    nextWeft_->setMaximum(std::max(1, wefts));
    applyingPanel_ = false;
    session_.window().setPanel(
        RunPanel{d.currentPick, wefts, d.currentPick, std::to_string(d.currentPick)});
    d.markerPick = d.currentPick - 1;

    if (session_.window().checked(Control::ShaftPlot)) {
        const int shafts = std::max(1, d.header.shafts());
        const int h = std::clamp(kShaftArea / shafts, 1, 5);
        threadingGrid_->setDimensions(warps + 2, d.header.shafts());
        threadingGrid_->setFixedColumns({kThreadingFixedWidth});
        threadingGrid_->setCellSize(designGrid_->cellWidth(), h);
        tieUpGrid_->setDimensions(d.header.treadles(), d.header.shafts());
        tieUpGrid_->setCellSize(h, h);
        treadlingGrid_->setDimensions(d.header.treadles(), wefts + 1);
        treadlingGrid_->setFixedRows({kFixedSize});
        treadlingGrid_->setCellSize(h, designGrid_->cellHeight());
        showShaftPanels(true);
        QList<int> sizes = splitter_->sizes();
        if (sizes.size() == 2 && sizes[1] < kShaftArea) {
            const int total = sizes[0] + sizes[1];
            splitter_->setSizes({total - kShaftArea, kShaftArea});
        }
    } else {
        showShaftPanels(false);
    }

    designGrid_->setDimensions(warps + 2, wefts + 1);
    designGrid_->setFixedColumns({kFixedSize, kFixedSize});
    designGrid_->setFixedRows({kFixedSize});
    designGrid_->setCellSize(zoom, zoom);
    designGrid_->setVisible(true);

    scrollToPick(d.currentPick);
    drawMarker(d.currentPick);
    if (designGrid_->visibleColumnCount() < designGrid_->columnCount() - 2)
        designGrid_->setLeftColumn(designGrid_->maxLeftColumn());
    syncShaftGrids();
    layoutShaftPanel();
    repaintGrids();
}

void TForm1::syncShaftGrids() {
    threadingGrid_->setLeftColumn(designGrid_->leftColumn());
    treadlingGrid_->setTopRow(designGrid_->topRow());
}

void TForm1::repaintGrids() {
    for (GridView* g : {designGrid_, threadingGrid_, tieUpGrid_, treadlingGrid_})
        if (g->isVisible()) g->viewport()->update();
}

void TForm1::scrollToPick(int pick) {
    const DesignModel& d = session_.design();
    GridView* g = designGrid_;
    const int t = d.header.wefts() - pick;
    const int T = g->topRow();
    const int V = g->visibleRowCount();
    const int R = g->rowCount();
    if (session_.window().checked(Control::ReverseBox)) {
        if (t > T + V)
            g->setTopRow(T + V + 5 > R ? R - V : T + 5);
        else if (t < T)
            g->setTopRow(t);
    } else {
        if (t < T + 5)
            g->setTopRow(T > 5 ? T - 5 : g->fixedRowCount());
        else if (t > T + V)
            g->setTopRow(R - V);
    }

    if (pick < 1 || pick > static_cast<int>(d.weftColours.size())) return;
    const size_t i = static_cast<size_t>(pick - 1);
    QPalette pal = colourBox_->palette();
    const QRgb colour = fromBgr(d.weftColours[i]);
    pal.setColor(QPalette::Base, QColor::fromRgb(colour));
    // The colour number stays readable on dark wefts.
    pal.setColor(QPalette::Text, qGray(colour) < 128 ? Qt::white : Qt::black);
    colourBox_->setPalette(pal);
    if (i < d.weftColourNumbers.size() && d.weftColourNumbers[i] != 0)
        colourBox_->setText(QString::number(d.weftColourNumbers[i]));
}

void TForm1::updateDesignCells(int row) {
    const QRect r = designGrid_->cellRect(0, row);
    if (!r.isEmpty()) designGrid_->viewport()->update(r);
}

void TForm1::drawMarker(int pick) {
    DesignModel& d = session_.design();
    if (session_.window().checked(Control::TabbyCheck)) return;
    const int wefts = d.header.wefts();
    const int old = wefts - d.markerPick;
    d.markerPick = pick - 1;
    updateDesignCells(old);
    updateDesignCells(wefts - pick + 1);
}

void TForm1::setZoom(int size) {
    designGrid_->setVisible(false);
    designGrid_->setCellSize(size, size);
    designGrid_->setFixedColumns({kFixedSize, kFixedSize});
    designGrid_->setFixedRows({kFixedSize});
    if (designGrid_->visibleColumnCount() < designGrid_->columnCount() - 2)
        designGrid_->setLeftColumn(designGrid_->maxLeftColumn());
    designGrid_->setVisible(true);
    if (session_.window().checked(Control::ShaftPlot)) {
        threadingGrid_->setCellSize(size, threadingGrid_->cellHeight());
        threadingGrid_->setFixedColumns({kThreadingFixedWidth});
        treadlingGrid_->setCellSize(treadlingGrid_->cellWidth(), size);
        treadlingGrid_->setFixedRows({kFixedSize});
        syncShaftGrids();
        treadlingGrid_->viewport()->update();
    }
}

// --- Mouse ---------------------------------------------------------------------

void TForm1::designGridPressed(int column, int row, Qt::MouseButton button) {
    DesignModel& d = session_.design();
    if (!d.designReady) return;
    const int wefts = d.header.wefts();
    const int warps = d.header.warps();
    const uint8_t mode = d.analysis.displayMode;
    const int c = designGrid_->currentColumn();
    const int r = designGrid_->currentRow();
    const auto label = [&] {
        if (c < 0 || r < 0) return;
        pickLabel_->setText(QString("Pick %1 Warp %2").arg(wefts + 1 - r).arg(warps + 2 - c));
    };
    if (button == Qt::LeftButton) {
        label();
        return;
    }
    if (button == Qt::RightButton && mode == 0) {
        label();
        const int loom = d.header.loom();
        const std::string layout = loom == kLoomDobby           ? "Layout: Dobby"
                                   : loom == kLoomCountermarche ? "Layout: Countemarche"
                                                                : " ";
        const std::string name = std::filesystem::path(d.designFileName).filename().string();
        messageBox(BoxKind::Information,
                   "File: " + name + "\r\nNumber of Wefts: " + std::to_string(wefts) +
                       "\r\nNumber of Warps: " + std::to_string(warps) + "\r\n" + layout,
                   Buttons::Ok);
        return;
    }
    if ((button == Qt::RightButton || button == Qt::MiddleButton) && mode >= 1 && mode <= 3) {
        // Float repair by hand: the cell under the mouse, design cells only.
        if (column < 2 || row < 1) return;
        const RowNo j{row - 1};
        const int x = column - 2;
        if (x >= warps || j.value >= wefts) return;
        d.setLift(j, x, !d.lift(j, x));
        if (mode >= 2) {
            const size_t at =
                static_cast<size_t>(j.value) * static_cast<size_t>(warps) + static_cast<size_t>(x);
            if (at < d.analysis.floatMap.size()) d.analysis.floatMap[at] = 1;
        }
        designGrid_->viewport()->update();
    }
}

void TForm1::threadingGridPressed(int column, int row, Qt::MouseButton button) {
    const DesignModel& d = session_.design();
    if (!d.designReady || !session_.window().checked(Control::ShaftPlot) || button != Qt::LeftButton) return;
    if (column < 0 || row < 0) return;
    pickLabel_->setText(
        QString("Shaft %1 Warp %2").arg(row + 1).arg(d.header.warps() + 2 - column));
}

void TForm1::treadlingGridPressed(int column, int row, Qt::MouseButton button) {
    const DesignModel& d = session_.design();
    if (!d.designReady || !session_.window().checked(Control::ShaftPlot) || button != Qt::LeftButton) return;
    if (column < 0 || row < 0) return;
    pickLabel_->setText(
        QString("Pick %1 Treadle %2").arg(d.header.wefts() + 1 - row).arg(column + 1));
}

// --- Check boxes -------------------------------------------------------------------

void TForm1::TabbyCheckClick(bool checked) {
    session_.window().setChecked(Control::TabbyCheck, checked);
    if (session_.design().hw.loomType == LoomType::JX3) run_.applyCaptions();
}

void TForm1::ReverseBoxClick(bool checked) {
    session_.window().setChecked(Control::ReverseBox, checked);
    DesignModel& d = session_.design();
    const int end = session_.window().panel().endWeft;
    int next;
    if (checked) {
        if (d.currentPick < 1) d.currentPick = end;
        next = d.currentPick == 1 ? end : d.currentPick - 1;
    } else {
        next = d.currentPick == end ? 1 : d.currentPick + 1;
    }
    session_.window().setNextWeft(next);
}

void TForm1::InvertBoxClick(bool checked) {
    session_.window().setChecked(Control::InvertBox, checked);
    DesignModel& d = session_.design();
    if (!d.designReady) return;
    d.invertDesign();
    scrollToPick(d.currentPick);
    designGrid_->viewport()->update();
    if (session_.window().checked(Control::ShaftPlot)) {
        if (d.header.loom() == kLoomDobby) treadlingGrid_->viewport()->update();
        if (d.header.loom() == kLoomCountermarche) tieUpGrid_->viewport()->update();
    }
}

void TForm1::ShaftModeClick(bool checked) {
    session_.window().setChecked(Control::ShaftPlot, checked);
    const DesignModel& d = session_.design();
    if (d.designReady && d.shaftDraftAvailable) rebuildGrids();
}

void TForm1::CheckLoopClick(bool checked) {
    session_.window().setChecked(Control::LoopCheck, checked);
}

// --- Commands ----------------------------------------------------------------------

bool TForm1::openDesign(FileType type) {
    DesignLoader loader(session_);
    return loader.openCommand(type);
}

bool TForm1::openDesignFile(const std::string& path) {
    pendingFile_ = path;
    const bool ok = openDesign(designTypeOfPath(path).value_or(FileType::Native));
    pendingFile_.reset();
    return ok;
}

void TForm1::StartButtonClick() {
    running_ = true;
    run_.StartButtonClick();
    running_ = false;
    if (closeAfterRun_) QTimer::singleShot(0, this, &QWidget::close);
}

void TForm1::ResumeButtonClick() {
    running_ = true;
    run_.ResumeButtonClick();
    running_ = false;
    if (closeAfterRun_) QTimer::singleShot(0, this, &QWidget::close);
}

void TForm1::StopButtonClick() {
    run_.StopButtonClick();
}

void TForm1::FormActivate() {
    life_.FormActivate();
}

void TForm1::ExitClick() {
    life_.ExitClick();
    loggingAction_->setChecked(false);
    close();
}

void TForm1::ResetClick() {
    life_.ResetClick();
}

void TForm1::LoggingClick() {
    const bool on = life_.LoggingClick();
    loggingAction_->setChecked(on);
    if (on) setStatus("Logging to " + life_.logPath);
}

void TForm1::HelpClick(int context) {
    QUrl url = QUrl::fromLocalFile(qs(life_.helpFile()));
    url.setFragment(QString::number(context));
    if (options_.hooks.openUrl) {
        options_.hooks.openUrl(url);
        return;
    }
    if (!QFileInfo::exists(qs(life_.helpFile()))) {
        setStatus("Help file not found: " + life_.helpFile());
        return;
    }
    QDesktopServices::openUrl(url);
}

void TForm1::AboutClick() {
    QDialog about(this);
    about.setWindowTitle(kAboutCaption);
    auto* layout = new QVBoxLayout(&about);
    auto* row = new QHBoxLayout;
    auto* icon = new QLabel;
    const QIcon appIcon =
        windowIcon().isNull() ? style()->standardIcon(QStyle::SP_ComputerIcon) : windowIcon();
    icon->setPixmap(appIcon.pixmap(48, 48));
    row->addWidget(icon);
    auto* texts = new QVBoxLayout;
    texts->addWidget(new QLabel(kAboutProduct));
    texts->addWidget(new QLabel(kAboutVersion));
    row->addLayout(texts);
    layout->addLayout(row);
    auto* ok = new QDialogButtonBox(QDialogButtonBox::Ok);
    connect(ok, &QDialogButtonBox::accepted, &about, &QDialog::accept);
    layout->addWidget(ok);
    auto* f1 = new QShortcut(QKeySequence::HelpContents, &about);
    connect(f1, &QShortcut::activated, this, [this] { HelpClick(kHelpAbout); });
    about.exec();
}

// --- Window events -------------------------------------------------------------------

bool TForm1::event(QEvent* event) {
    if (event->type() == QEvent::WindowActivate && session_.design().firstActivation)
        QTimer::singleShot(0, this, [this] { FormActivate(); });
    // The splitter has placed its panes only after the window's layout has run.
    if (event->type() == QEvent::Resize)
        QTimer::singleShot(0, this, [this] { layoutShaftPanel(); });
    return QMainWindow::event(event);
}

void TForm1::closeEvent(QCloseEvent* event) {
    if (running_) {
        // The run is a loop further down this stack: stop it, close when it ends.
        closeAfterRun_ = true;
        run_.StopButtonClick();
        event->ignore();
        return;
    }
    life_.FormClose();
    event->accept();
}

}  // namespace wp::ui
