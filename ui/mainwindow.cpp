#include "ui/mainwindow.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QFileInfo>
#include <QLabel>
#include <QMenuBar>
#include <QShortcut>
#include <QSpinBox>
#include <QStatusBar>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

#include "import/formats.h"
#include "import/load.h"
#include "tools/coloursfile.h"
#include "tools/transforms.h"
#include "ui/dialogs/aboutbox.h"
#include "ui/dialogs/colourdialog.h"
#include "ui/filedialog.h"
#include "ui/maintenancecommands.h"
#include "ui/messagebox.h"

namespace wp::ui {

namespace {

QString qs(const std::string& s) {
    return QString::fromStdString(s);
}

}  // namespace

TForm1::TForm1(WindowOptions options, QWidget* parent)
    : QMainWindow(parent),
      options_(std::move(options)),
      session_(*this, options_.settingsFile),
      run_(session_),
      life_(session_) {
    setWindowTitle(kApplicationTitle);
    setFont(QFont("Sans Serif", 8, QFont::Bold));

    buildMenus();
    buildPanels();
    connectTools();
    widgetsReady_ = true;
    for (int i = 0; i < static_cast<int>(Control::Count); ++i)
        applyControl(static_cast<Control>(i));

    // Window creation: the shaft and analysis panels start hidden, and the
    // settings, driver and port come up.
    grids_->showShaftPanels(false);
    closeAnalysisPanel();
    life_.setHelpFile(options_.helpFile.empty() ? findHelpFile() : options_.helpFile);
    life_.logPath = options_.logPath.empty() ? defaultLogPath() : options_.logPath;
    maintenance_ = new MaintenanceCommands(*this);
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
    add(fileMenu_, "Open &IMP", "", [this] { openDesign(FileType::Imp); });
    add(fileMenu_, "Open &DW", "", [this] { openDesign(FileType::Dw1); });
    add(fileMenu_, "Open &BMP", "bilevel BMP image", [this] { openDesign(FileType::Bmp); });
    add(fileMenu_, "Open&JPEG", "bilevel JPEG image", [this] { openDesign(FileType::Jpeg); });
    add(fileMenu_, "Open&TIFF", "bilevel TIFF image", [this] { openDesign(FileType::Tiff); });
    add(fileMenu_, "Open&WIF", "WIF file", [this] { openDesign(FileType::Wif); });
    fileMenu_->addSeparator();
    add(fileMenu_, "Do&wnload", "", [] {})->setEnabled(false);
    fileMenu_->addSeparator();
    add(fileMenu_, "E&xit", "", [this] { ExitClick(); });

    controlMenu_ = menuBar()->addMenu("&Control");
    add(controlMenu_, "&Settings", "", [] {})->setEnabled(false);
    add(controlMenu_, "&Reset", "", [this] { ResetClick(); });
    add(controlMenu_, "&WarpColor", "Manual Warpcoloring",
        [this] { ColourClick(ColourTarget::Warp); });
    add(controlMenu_, "W&eftcolor", "Adjust weft colors",
        [this] { ColourClick(ColourTarget::Weft); });
    add(controlMenu_, "&Test", "", [] {})->setEnabled(false);
    loggingAction_ =
        add(controlMenu_, "&Logging", "Toggle logging to file", [this] { LoggingClick(); });
    loggingAction_->setCheckable(true);
    add(controlMenu_, "&Analyse", "", [this] { analysis_->open(); });

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

    runPanel_ = new RunPanelView;
    column->addWidget(runPanel_);
    connect(runPanel_, &RunPanelView::zoomChanged, this, [this](int v) { setZoom(v); });
    connect(runPanel_, &RunPanelView::startWeftEdited, this,
            [this](int v) { session_.window().setStartWeft(v); });
    connect(runPanel_, &RunPanelView::endWeftEdited, this,
            [this](int v) { session_.window().setEndWeft(v); });
    connect(runPanel_, &RunPanelView::nextWeftEdited, this,
            [this](int v) { session_.window().setNextWeft(v); });

    grids_ = new DesignGrids(session_);
    column->addWidget(grids_, 1);
    controls_ = new ControlBar(session_.window());
    column->addWidget(controls_);
    connect(controls_, &ControlBar::buttonClicked, this, [this](Control c) {
        if (c == Control::StartButton) StartButtonClick();
        if (c == Control::StopButton) StopButtonClick();
        if (c == Control::ResumeButton) ResumeButtonClick();
    });
    connect(controls_, &ControlBar::boxClicked, this, &TForm1::boxClicked);
    connect(grids_, &DesignGrids::pickLabelChanged, pickLabel(), &QLabel::setText);
    connect(grids_, &DesignGrids::informationRequested, this, [this](const std::string& text) {
        messageBox(BoxKind::Information, text, Buttons::Ok);
    });

    analysis_ = new AnalysisPanel(session_);
    column->addWidget(analysis_);

    setCentralWidget(central);
}

QAction* TForm1::action(const QString& text) const {
    const auto it = actions_.find(text);
    return it == actions_.end() ? nullptr : it->second;
}

// --- The core's view of the weaver -------------------------------------------

Answer TForm1::messageBox(BoxKind kind, const std::string& text, Buttons buttons) {
    if (options_.hooks.messageBox) return options_.hooks.messageBox(kind, text, buttons);
    // The hourglass must not hide the arrow the weaver needs to answer.
    const bool wasBusy = busy_;
    if (wasBusy) setBusy(false);
    const Answer a = showMessageBox(isVisible() ? this : nullptr, kind, text, buttons);
    if (wasBusy) setBusy(true);
    return a;
}

void TForm1::setStatus(const std::string& text) {
    bottomLabel()->setText(qs(text));
    if (!text.empty()) bottomLabel()->setVisible(true);
}

void TForm1::showFileName(const std::string& path) {
    bottomLabel()->setText(qs(path));
    bottomLabel()->setVisible(true);
}

void TForm1::clearPickLabel() {
    pickLabel()->clear();
}

void TForm1::clearColourBox() {
    runPanel_->clearColour();
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
    return chooseOpenFile(this, "Open", filter, session_.design().designFileName);
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
    controls_->apply(c, st);
}

void TForm1::panelChanged(const RunPanel& panel) {
    const RunPanel kept = runPanel_->show(panel);
    if (kept.startWeft != panel.startWeft || kept.endWeft != panel.endWeft ||
        kept.nextWeft != panel.nextWeft)
        session_.window().setPanel(kept);
}

void TForm1::showProgress(int percent) {
    maintenance_->showProgress(percent);
}

void TForm1::closeAnalysisPanel() {
    if (session_.design().analysis.displayMode != kAnalysisClosed) return analysis_->DoneClick();
    analysis_->setVisible(false);
    analysis_->setEnabled(false);
}

void TForm1::resetColourPattern() {
    palettes_.newPattern();
}

// The tools' files, dialogs and repaints.
void TForm1::connectTools() {
    session_.setColoursFileReader([this](const std::string& path) {
        const ColoursFileResult r = readColoursFile(path, session_.design(), palettes_);
        if (r.status == ColoursFileStatus::Unreadable)
            errorBox("Cannot read the colours file " + path + ": " + r.error + ".");
        return r.ok();
    });
    analysis_->chooseSaveFile = [this](const std::string& filter, const std::string& title) {
        if (options_.hooks.chooseSaveFile) return options_.hooks.chooseSaveFile(filter, title);
        return chooseSaveFile(this, qs(title), filter, session_.design().designFileName);
    };
    connect(analysis_, &AnalysisPanel::designEdited, grids_, &DesignGrids::repaintDesign);
    connect(analysis_, &AnalysisPanel::helpRequested, this,
            [this] { HelpClick(kHelpFloatAnalysis); });
}

int TForm1::runDialog(QDialog& dialog) {
    if (!options_.hooks.runDialog) return dialog.exec();
    dialog.show();
    options_.hooks.runDialog(dialog);
    if (dialog.isVisible()) dialog.reject();
    return dialog.result();
}

void TForm1::ColourClick(ColourTarget target) {
    TForm3 dialog(target, session_, palettes_, this);
    dialog.chooseColour = options_.hooks.chooseColour;
    connect(&dialog, &TForm3::helpRequested, this, [this] { HelpClick(kHelpColours); });
    if (runDialog(dialog) == QDialog::Accepted) rebuildGrids();
}

// --- Grids --------------------------------------------------------------------

void TForm1::designChanged() {
    rebuildGrids();
}

void TForm1::rebuildGrids() {
    DesignModel& d = session_.design();
    runPanel_->setMaxima(d.header.wefts());
    session_.window().setPanel(
        RunPanel{d.currentPick, d.header.wefts(), d.currentPick, std::to_string(d.currentPick)});
    grids_->rebuild(gridSizeBox()->value(), checked(Control::ShaftPlot),
                    checked(Control::ReverseBox), checked(Control::TabbyCheck));
    showPickColour(d.currentPick);
}

void TForm1::scrollToPick(int pick) {
    grids_->scrollToPick(pick, checked(Control::ReverseBox));
    showPickColour(pick);
}

void TForm1::showPickColour(int pick) {
    const DesignModel& d = session_.design();
    if (pick < 1 || pick > static_cast<int>(d.weftColours.size())) return;
    const size_t i = static_cast<size_t>(pick - 1);
    runPanel_->showWeftColour(d.weftColours[i],
                              i < d.weftColourNumbers.size() ? d.weftColourNumbers[i] : 0);
}

void TForm1::drawMarker(int pick) {
    grids_->drawMarker(pick, checked(Control::TabbyCheck));
}

void TForm1::setZoom(int size) {
    grids_->setZoom(size, checked(Control::ShaftPlot));
}

// --- Check boxes -------------------------------------------------------------------

void TForm1::boxClicked(Control c, bool on) {
    switch (c) {
        case Control::TabbyCheck:
            return TabbyCheckClick(on);
        case Control::ShaftPlot:
            return ShaftModeClick(on);
        case Control::ReverseBox:
            return ReverseBoxClick(on);
        case Control::InvertBox:
            return InvertBoxClick(on);
        case Control::LoopCheck:
            return CheckLoopClick(on);
        default:
            return;
    }
}

void TForm1::TabbyCheckClick(bool on) {
    session_.window().setChecked(Control::TabbyCheck, on);
    if (session_.design().hw.loomType == LoomType::JX3) run_.applyCaptions();
}

void TForm1::ReverseBoxClick(bool on) {
    session_.window().setChecked(Control::ReverseBox, on);
    const int end = session_.window().panel().endWeft;
    session_.window().setNextWeft(reverseNextWeft(session_.design(), on, end));
}

void TForm1::InvertBoxClick(bool on) {
    session_.window().setChecked(Control::InvertBox, on);
    DesignModel& d = session_.design();
    if (!d.designReady) return;
    d.invertDesign();
    scrollToPick(d.currentPick);
    grids_->repaintDesign();
    if (checked(Control::ShaftPlot)) {
        if (d.header.loom() == kLoomDobby) treadlingGrid()->viewport()->update();
        if (d.header.loom() == kLoomCountermarche) tieUpGrid()->viewport()->update();
    }
}

void TForm1::ShaftModeClick(bool on) {
    session_.window().setChecked(Control::ShaftPlot, on);
    const DesignModel& d = session_.design();
    if (d.designReady && d.shaftDraftAvailable) rebuildGrids();
}

void TForm1::CheckLoopClick(bool on) {
    session_.window().setChecked(Control::LoopCheck, on);
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
    run(&WeavingRun::StartButtonClick);
}

void TForm1::ResumeButtonClick() {
    run(&WeavingRun::ResumeButtonClick);
}

void TForm1::run(void (WeavingRun::*command)()) {
    // The float tools change the design: not while it is woven.
    const bool analysisEnabled = analysis_->isEnabled();
    analysis_->setEnabled(false);
    grids_->setEditable(false);
    running_ = true;
    (run_.*command)();
    running_ = false;
    grids_->setEditable(true);
    analysis_->setEnabled(analysisEnabled);
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
    TAboutBox about(windowIcon(), this);
    connect(&about, &TAboutBox::helpRequested, this, [this] { HelpClick(kHelpAbout); });
    about.exec();
}

// --- Window events -------------------------------------------------------------------

bool TForm1::event(QEvent* event) {
    if (event->type() == QEvent::WindowActivate && session_.design().firstActivation)
        QTimer::singleShot(0, this, [this] { FormActivate(); });
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
