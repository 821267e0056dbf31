#pragma once

#include <QMainWindow>

#include <functional>
#include <map>
#include <optional>
#include <string>

#include "app/lifecycle.h"
#include "app/run.h"
#include "app/session.h"
#include "tools/colours.h"
#include "ui/analysispanel.h"
#include "ui/controlbar.h"
#include "ui/designgrids.h"
#include "ui/gridview.h"
#include "ui/runpanel.h"

class QAction;
class QCheckBox;
class QDialog;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QSpinBox;
class QSplitter;
class QUrl;

namespace wp::ui {
class MaintenanceCommands;
}

namespace wp::ui {

// What the window asks the desktop for. Each hook, when set, replaces the real
// dialog, so that tests can answer the boxes and record their texts.
struct WindowHooks {
    std::function<Answer(BoxKind, const std::string& text, Buttons)> messageBox;
    std::function<std::optional<std::string>(const std::string& filter)> chooseFile;
    std::function<std::optional<std::string>(const std::string& filter, const std::string& title)>
        chooseSaveFile;
    std::function<std::optional<uint32_t>(uint32_t initial)> chooseColour;
    // A modal dialog, shown: acts on it and closes it, instead of its own loop.
    std::function<void(QDialog&)> runDialog;
    std::function<void(const QUrl&)> openUrl;
};

struct WindowOptions {
    std::string settingsFile;
    // The weaver named the settings file (--settings or the environment).
    bool settingsChosen = false;
    bool openPort = true;
    // Empty: found beside the program or in the source tree.
    std::string helpFile;
    // Empty: loomdump.txt in the home folder.
    std::string logPath;
    WindowHooks hooks;
};

// The main window: composes the run panel, the grids and the control bar, and
// routes the menus, buttons, boxes and mouse to the core.
class TForm1 : public QMainWindow, public UserInterface {
    Q_OBJECT
public:
    explicit TForm1(WindowOptions options, QWidget* parent = nullptr);
    ~TForm1() override;

    Session& session() { return session_; }
    WeavingRun& weavingRun() { return run_; }
    Lifecycle& lifecycle() { return life_; }

    // UserInterface.
    Answer messageBox(BoxKind kind, const std::string& text, Buttons buttons) override;
    void setStatus(const std::string& text) override;
    void showPick(int pick) override;
    void processEvents() override;
    std::optional<std::string> chooseFile(const std::string& filter) override;
    void controlChanged(Control c, const ControlState& state) override;
    void panelChanged(const RunPanel& panel) override;
    void moveMarker(int pick) override;
    void setBusy(bool busy) override;
    void showFileName(const std::string& path) override;
    void clearPickLabel() override;
    void clearColourBox() override;
    void designChanged() override;
    void closeAnalysisPanel() override;
    void showProgress(int percent) override;
    void resetColourPattern() override;

    // Commands.
    void FormActivate();
    bool openDesign(FileType type);
    // Opens a design as if it had been chosen in the open dialog.
    bool openDesignFile(const std::string& path);
    void StartButtonClick();
    void StopButtonClick();
    void ResumeButtonClick();
    void ExitClick();
    void ResetClick();
    void LoggingClick();
    void HelpClick(int context = kHelpMainWindow);
    void AboutClick();
    // Menus "WarpColor" and "Weftcolor": the colour dialog for that target.
    void ColourClick(ColourTarget target);
    ColourPalettes& palettes() { return palettes_; }

    // Grid handling.
    void rebuildGrids();
    void scrollToPick(int pick);
    void drawMarker(int pick);
    void setZoom(int size);
    bool running() const { return running_; }

    // Check box handlers, as a click calls them.
    void TabbyCheckClick(bool checked);
    void ReverseBoxClick(bool checked);
    void InvertBoxClick(bool checked);
    void ShaftModeClick(bool checked);
    void CheckLoopClick(bool checked);

    // Widgets, for the tests.
    DesignGrids* grids() const { return grids_; }
    GridView* designGrid() const { return grids_->designGrid(); }
    GridView* threadingGrid() const { return grids_->threadingGrid(); }
    GridView* tieUpGrid() const { return grids_->tieUpGrid(); }
    GridView* treadlingGrid() const { return grids_->treadlingGrid(); }
    QWidget* shaftPanel() const { return grids_->shaftPanel(); }
    QWidget* treadlingPanel() const { return grids_->treadlingPanel(); }
    QSplitter* splitter() const { return grids_->splitter(); }
    AnalysisPanel* analysisPanel() const { return analysis_; }
    QLabel* pickLabel() const { return controls_->pickLabel(); }
    QLabel* bottomLabel() const { return controls_->bottomLabel(); }
    QLineEdit* colourBox() const { return runPanel_->colourBox(); }
    QLineEdit* currentWeftBox() const { return runPanel_->currentWeft(); }
    QSpinBox* gridSizeBox() const { return runPanel_->gridSize(); }
    QSpinBox* startWeftBox() const { return runPanel_->startWeft(); }
    QSpinBox* endWeftBox() const { return runPanel_->endWeft(); }
    QSpinBox* nextWeftBox() const { return runPanel_->nextWeft(); }
    QPushButton* button(Control c) const { return controls_->button(c); }
    QCheckBox* checkBox(Control c) const { return controls_->checkBox(c); }
    QMenu* fileMenu() const { return fileMenu_; }
    QMenu* controlMenu() const { return controlMenu_; }
    // A menu entry by its text without the ampersands ("Open", "Logging", "About...").
    QAction* action(const QString& text) const;
    MaintenanceCommands* maintenance() const { return maintenance_; }

protected:
    void closeEvent(QCloseEvent* event) override;
    bool event(QEvent* event) override;

private:
    void buildMenus();
    void buildPanels();
    void applyControl(Control c);
    void connectTools();
    int runDialog(QDialog& dialog);
    void run(void (WeavingRun::*command)());
    void boxClicked(Control c, bool checked);
    // The colour box: the pick's weft colour and colour number.
    void showPickColour(int pick);
    bool checked(Control c) const { return session_.window().checked(c); }
    static std::string findHelpFile();

    WindowOptions options_;
    Session session_;
    WeavingRun run_;
    Lifecycle life_;

    QMenu* fileMenu_ = nullptr;
    QMenu* controlMenu_ = nullptr;
    QAction* loggingAction_ = nullptr;
    std::map<QString, QAction*> actions_;

    RunPanelView* runPanel_ = nullptr;
    DesignGrids* grids_ = nullptr;
    ControlBar* controls_ = nullptr;
    AnalysisPanel* analysis_ = nullptr;
    ColourPalettes palettes_;

    std::optional<std::string> pendingFile_;
    bool busy_ = false;
    bool running_ = false;
    bool closeAfterRun_ = false;
    bool widgetsReady_ = false;
    MaintenanceCommands* maintenance_ = nullptr;
};

}  // namespace wp::ui
