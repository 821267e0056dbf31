#include "ui/designgrids.h"

#include <QEvent>
#include <QSplitter>
#include <QVBoxLayout>

#include <algorithm>
#include <filesystem>

#include "tools/floats.h"

namespace wp::ui {

namespace {

constexpr int kFixedSize = 12;            // design grid columns 0, 1 and row 0
constexpr int kThreadingFixedWidth = 24;  // threading grid column 0
constexpr int kShaftArea = 63;            // tie-up grid side, treadling panel width
constexpr int kInitialZoom = 6;

}  // namespace

DesignGrids::DesignGrids(Session& s, QWidget* parent)
    : QWidget(parent), s_(s), designCells_(s), tieUpCells_(s) {
    const QRgb face = palette().color(QPalette::Button).rgb();
    threadingCells_ = std::make_unique<ThreadingCells>(s_, face);
    treadlingCells_ = std::make_unique<TreadlingCells>(s_, face);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

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
    designGrid_->setCellSize(kInitialZoom, kInitialZoom);
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
    connect(designGrid_, &GridView::cellPressed, this, &DesignGrids::designGridPressed);
    connect(threadingGrid_, &GridView::cellPressed, this, &DesignGrids::threadingGridPressed);
    connect(treadlingGrid_, &GridView::cellPressed, this, &DesignGrids::treadlingGridPressed);
    // The shaft panel follows the design grid and the treadling panel wherever
    // the layout or the splitter puts them.
    designGrid_->installEventFilter(this);
    treadlingPanel_->installEventFilter(this);
}

DesignGrids::~DesignGrids() {
    designGrid_->removeEventFilter(this);
    treadlingPanel_->removeEventFilter(this);
}

bool DesignGrids::eventFilter(QObject* watched, QEvent* event) {
    if ((watched == designGrid_ || watched == treadlingPanel_) &&
        (event->type() == QEvent::Resize || event->type() == QEvent::Move))
        layoutShaftPanel();
    return QWidget::eventFilter(watched, event);
}

void DesignGrids::showShaftPanels(bool on) {
    for (QWidget* w : {static_cast<QWidget*>(shaftPanel_), treadlingPanel_,
                       static_cast<QWidget*>(threadingGrid_), static_cast<QWidget*>(tieUpGrid_),
                       static_cast<QWidget*>(treadlingGrid_)}) {
        w->setVisible(on);
        w->setEnabled(on);
    }
    splitter_->handle(1)->setVisible(on);
    splitter_->handle(1)->setEnabled(on);
}

void DesignGrids::layoutShaftPanel() {
    // Threading over the design grid, its cells over the design's cells (the
    // design grid has a frame, the threading grid none), tie-up over the
    // treadling panel.
    const int inset = designGrid_->frameWidth() + 1;
    threadingGrid_->setGeometry(inset, 0, designGrid_->width() - inset, shaftPanel_->height());
    const int left = treadlingPanel_->x() + 1;
    tieUpGrid_->setGeometry(left, 0, std::max(1, treadlingPanel_->width() - 3), kShaftArea);
}

void DesignGrids::rebuild(int zoom, bool shaftPlot, bool reverse, bool tabby) {
    DesignModel& d = s_.design();
    const int wefts = d.header.wefts();
    const int warps = d.header.warps();
    d.markerPick = d.currentPick - 1;

    if (shaftPlot) {
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

    scrollToPick(d.currentPick, reverse);
    drawMarker(d.currentPick, tabby);
    if (designGrid_->visibleColumnCount() < designGrid_->columnCount() - 2)
        designGrid_->setLeftColumn(designGrid_->maxLeftColumn());
    syncShaftGrids();
    layoutShaftPanel();
    repaintAll();
}

void DesignGrids::syncShaftGrids() {
    threadingGrid_->setLeftColumn(designGrid_->leftColumn());
    treadlingGrid_->setTopRow(designGrid_->topRow());
}

void DesignGrids::repaintAll() {
    for (GridView* g : {designGrid_, threadingGrid_, tieUpGrid_, treadlingGrid_})
        if (g->isVisible()) g->viewport()->update();
}

void DesignGrids::repaintDesign() {
    designGrid_->viewport()->update();
}

void DesignGrids::scrollToPick(int pick, bool reverse) {
    GridView* g = designGrid_;
    const int t = s_.design().header.wefts() - pick;
    const int T = g->topRow();
    const int V = g->visibleRowCount();
    const int R = g->rowCount();
    if (reverse) {
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
}

void DesignGrids::updateMarkerCell(int row) {
    const QRect r = designGrid_->cellRect(0, row);
    if (!r.isEmpty()) designGrid_->viewport()->update(r);
}

void DesignGrids::drawMarker(int pick, bool tabby) {
    if (tabby) return;
    DesignModel& d = s_.design();
    const int wefts = d.header.wefts();
    const int old = wefts - d.markerPick;
    d.markerPick = pick - 1;
    updateMarkerCell(old);
    updateMarkerCell(wefts - pick + 1);
}

void DesignGrids::setZoom(int size, bool shaftPlot) {
    designGrid_->setVisible(false);
    designGrid_->setCellSize(size, size);
    designGrid_->setFixedColumns({kFixedSize, kFixedSize});
    designGrid_->setFixedRows({kFixedSize});
    if (designGrid_->visibleColumnCount() < designGrid_->columnCount() - 2)
        designGrid_->setLeftColumn(designGrid_->maxLeftColumn());
    designGrid_->setVisible(true);
    if (shaftPlot) {
        threadingGrid_->setCellSize(size, threadingGrid_->cellHeight());
        threadingGrid_->setFixedColumns({kThreadingFixedWidth});
        treadlingGrid_->setCellSize(treadlingGrid_->cellWidth(), size);
        treadlingGrid_->setFixedRows({kFixedSize});
        syncShaftGrids();
        treadlingGrid_->viewport()->update();
    }
}

// --- Mouse ---------------------------------------------------------------------

void DesignGrids::designGridPressed(int column, int row, Qt::MouseButton button) {
    DesignModel& d = s_.design();
    if (!d.designReady) return;
    const int wefts = d.header.wefts();
    const int warps = d.header.warps();
    const uint8_t mode = d.analysis.displayMode;
    const int c = designGrid_->currentColumn();
    const int r = designGrid_->currentRow();
    const auto label = [&] {
        if (c < 0 || r < 0) return;
        emit pickLabelChanged(QString("Pick %1 Warp %2").arg(wefts + 1 - r).arg(warps + 2 - c));
    };
    if (button == Qt::LeftButton) {
        label();
        return;
    }
    if (button == Qt::RightButton && mode == kAnalysisClosed) {
        label();
        const int loom = d.header.loom();
        const std::string layout = loom == kLoomDobby           ? "Layout: Dobby"
                                   : loom == kLoomCountermarche ? "Layout: Countemarche"
                                                                : " ";
        const std::string name = std::filesystem::path(d.designFileName).filename().string();
        emit informationRequested(
            "File: " + name + "\r\nNumber of Wefts: " + std::to_string(wefts) +
            "\r\nNumber of Warps: " + std::to_string(warps) + "\r\n" + layout);
        return;
    }
    // Float repair by hand: the cell under the mouse, design cells only.
    if (editable_ && (button == Qt::RightButton || button == Qt::MiddleButton) && column >= 2 &&
        row >= 1 && flipCellByHand(d, RowNo{row - 1}, column - 2))
        repaintDesign();
}

void DesignGrids::threadingGridPressed(int column, int row, Qt::MouseButton button) {
    const DesignModel& d = s_.design();
    if (!d.designReady || !s_.window().checked(Control::ShaftPlot) || button != Qt::LeftButton)
        return;
    if (column < 0 || row < 0) return;
    emit pickLabelChanged(
        QString("Shaft %1 Warp %2").arg(row + 1).arg(d.header.warps() + 2 - column));
}

void DesignGrids::treadlingGridPressed(int column, int row, Qt::MouseButton button) {
    const DesignModel& d = s_.design();
    if (!d.designReady || !s_.window().checked(Control::ShaftPlot) || button != Qt::LeftButton)
        return;
    if (column < 0 || row < 0) return;
    emit pickLabelChanged(
        QString("Pick %1 Treadle %2").arg(d.header.wefts() + 1 - row).arg(column + 1));
}

}  // namespace wp::ui
