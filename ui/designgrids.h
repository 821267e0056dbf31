#pragma once

#include <QWidget>

#include <memory>
#include <string>

#include "app/session.h"
#include "ui/grids.h"
#include "ui/gridview.h"

class QSplitter;

namespace wp::ui {

// The four grids of the main window: the design grid, and beside it, when the
// shaft plot is on, threading (above), tie-up (top right) and treadling
// (right), sized for the loaded design and scrolled in step with the design grid.
class DesignGrids : public QWidget {
    Q_OBJECT
public:
    explicit DesignGrids(Session& s, QWidget* parent = nullptr);
    ~DesignGrids() override;

    GridView* designGrid() const { return designGrid_; }
    GridView* threadingGrid() const { return threadingGrid_; }
    GridView* tieUpGrid() const { return tieUpGrid_; }
    GridView* treadlingGrid() const { return treadlingGrid_; }
    QWidget* shaftPanel() const { return shaftPanel_; }
    QWidget* treadlingPanel() const { return treadlingPanel_; }
    QSplitter* splitter() const { return splitter_; }

    // Sizes the grids for the loaded design at cell size `zoom` (the shaft
    // grids only with the shaft plot on, hidden otherwise), scrolls to the
    // current pick, draws the marker, brings warp end 1 into view and repaints.
    void rebuild(int zoom, bool shaftPlot, bool reverse, bool tabby);
    void showShaftPanels(bool on);

    // Scrolls the design grid so that pick p stays in view in the weaving direction.
    void scrollToPick(int pick, bool reverse);
    // Moves the red current-pick marker to pick p (not while weaving tabby).
    void drawMarker(int pick, bool tabby);
    // New cell size for the design grid and, with the shaft plot, the rows and
    // columns of the shaft grids that follow it.
    void setZoom(int size, bool shaftPlot);

    void repaintAll();
    void repaintDesign();

    // Whether right and middle clicks may repair floats by hand (not while
    // the design is woven).
    void setEditable(bool on) { editable_ = on; }

    // Mouse actions, by cell.
    void designGridPressed(int column, int row, Qt::MouseButton button);
    void threadingGridPressed(int column, int row, Qt::MouseButton button);
    void treadlingGridPressed(int column, int row, Qt::MouseButton button);

signals:
    // The pick label's text for a clicked cell.
    void pickLabelChanged(const QString& text);
    // The design's information box.
    void informationRequested(const std::string& text);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void syncShaftGrids();
    void layoutShaftPanel();
    void updateMarkerCell(int row);

    Session& s_;
    DesignCells designCells_;
    std::unique_ptr<ThreadingCells> threadingCells_;
    TieUpCells tieUpCells_;
    std::unique_ptr<TreadlingCells> treadlingCells_;

    GridView* designGrid_ = nullptr;
    GridView* threadingGrid_ = nullptr;
    GridView* tieUpGrid_ = nullptr;
    GridView* treadlingGrid_ = nullptr;
    QWidget* shaftPanel_ = nullptr;
    QWidget* treadlingPanel_ = nullptr;
    QSplitter* splitter_ = nullptr;
    bool editable_ = true;
};

}  // namespace wp::ui
