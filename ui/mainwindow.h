#pragma once

#include <QMainWindow>
#include <QRgb>

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "app/lifecycle.h"
#include "app/session.h"
#include "app/run.h"
#include "ui/grids.h"
#include "ui/gridview.h"

class QAction;
class QCheckBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QSpinBox;
class QSplitter;
class QUrl;

namespace wp::ui {

// What the window asks the desktop for. Each hook, when set, replaces the real
// dialog, so that tests can answer the boxes and record their texts.
struct WindowHooks {
    std::function<Answer(BoxKind, const std::string& text, Buttons)> messageBox;
    std::function<std::optional<std::string>(const std::string& filter)> chooseFile;
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

// The main window: the design in four grids, the run panel and every command.
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
    GridView* designGrid() const { return designGrid_; }
    GridView* threadingGrid() const { return threadingGrid_; }
    GridView* tieUpGrid() const { return tieUpGrid_; }
    GridView* treadlingGrid() const { return treadlingGrid_; }
    QWidget* shaftPanel() const { return shaftPanel_; }
    QWidget* treadlingPanel() const { return treadlingPanel_; }
    QWidget* analysisPanel() const { return analysisPanel_; }
    QSplitter* splitter() const { return splitter_; }
    QLabel* pickLabel() const { return pickLabel_; }
    QLabel* bottomLabel() const { return bottomLabel_; }
    QLineEdit* colourBox() const { return colourBox_; }
    QLineEdit* currentWeftBox() const { return currentWeft_; }
    QSpinBox* gridSizeBox() const { return gridSize_; }
    QSpinBox* startWeftBox() const { return startWeft_; }
    QSpinBox* endWeftBox() const { return endWeft_; }
    QSpinBox* nextWeftBox() const { return nextWeft_; }
    QPushButton* button(Control c) const;
    QCheckBox* checkBox(Control c) const;
    QMenu* fileMenu() const { return fileMenu_; }
    QMenu* controlMenu() const { return controlMenu_; }
    // A menu entry by its text without the ampersands ("Open", "Logging", "About...").
    QAction* action(const QString& text) const;

    // Mouse actions on the grids, by cell.
    void designGridPressed(int column, int row, Qt::MouseButton button);
    void threadingGridPressed(int column, int row, Qt::MouseButton button);
    void treadlingGridPressed(int column, int row, Qt::MouseButton button);

protected:
    void closeEvent(QCloseEvent* event) override;
    bool event(QEvent* event) override;

private:
    void buildMenus();
    void buildPanels();
    void applyControl(Control c);
    void syncShaftGrids();
    void layoutShaftPanel();
    void showShaftPanels(bool on);
    void repaintGrids();
    void updateDesignCells(int row);
    static std::string findHelpFile();

    WindowOptions options_;
    Session session_;
    WeavingRun run_;
    Lifecycle life_;
    DesignCells designCells_;
    std::unique_ptr<ThreadingCells> threadingCells_;
    TieUpCells tieUpCells_;
    std::unique_ptr<TreadlingCells> treadlingCells_;

    QMenu* fileMenu_ = nullptr;
    QMenu* controlMenu_ = nullptr;
    QAction* loggingAction_ = nullptr;
    std::map<QString, QAction*> actions_;

    GridView* designGrid_ = nullptr;
    GridView* threadingGrid_ = nullptr;
    GridView* tieUpGrid_ = nullptr;
    GridView* treadlingGrid_ = nullptr;
    QWidget* shaftPanel_ = nullptr;
    QWidget* treadlingPanel_ = nullptr;
    QWidget* analysisPanel_ = nullptr;
    QSplitter* splitter_ = nullptr;

    QSpinBox* gridSize_ = nullptr;
    QSpinBox* startWeft_ = nullptr;
    QSpinBox* endWeft_ = nullptr;
    QSpinBox* nextWeft_ = nullptr;
    QLineEdit* colourBox_ = nullptr;
    QLineEdit* currentWeft_ = nullptr;
    QLabel* pickLabel_ = nullptr;
    QLabel* bottomLabel_ = nullptr;
    std::map<Control, QPushButton*> buttons_;
    std::map<Control, QCheckBox*> checks_;

    std::optional<std::string> pendingFile_;
    bool applyingPanel_ = false;
    bool busy_ = false;
    bool running_ = false;
    bool closeAfterRun_ = false;
    bool widgetsReady_ = false;
};

}  // namespace wp::ui
