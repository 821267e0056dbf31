#include "ui/gridview.h"

#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>

#include <algorithm>
#include <cstring>

namespace wp::ui {

GridView::GridView(QWidget* parent) : QAbstractScrollArea(parent) {
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    viewport()->setAttribute(Qt::WA_NoSystemBackground);
    setFrameShape(QFrame::StyledPanel);
}

void GridView::setSource(const CellSource* source) {
    source_ = source;
    viewport()->update();
}

void GridView::setDimensions(int columns, int rows) {
    columns_ = std::max(0, columns);
    rows_ = std::max(0, rows);
    updateScrollBars();
}

void GridView::setFixedColumns(std::vector<int> widths) {
    fixedWidths_ = std::move(widths);
    updateScrollBars();
}

void GridView::setFixedRows(std::vector<int> heights) {
    fixedHeights_ = std::move(heights);
    updateScrollBars();
}

void GridView::setCellSize(int width, int height) {
    cellW_ = std::max(1, width);
    cellH_ = std::max(1, height);
    updateScrollBars();
}

void GridView::setColours(QRgb background, QRgb fixedBackground, QRgb lines) {
    background_ = background;
    fixedBackground_ = fixedBackground;
    lines_ = lines;
    viewport()->update();
}

int GridView::fixedWidthTotal() const {
    int w = 0;
    for (int f : fixedWidths_) w += f + 1;
    return w;
}

int GridView::fixedHeightTotal() const {
    int h = 0;
    for (int f : fixedHeights_) h += f + 1;
    return h;
}

int GridView::visibleColumnCount() const {
    // A column counts when its cell fits; its closing line may fall outside.
    const int room = viewport()->width() - fixedWidthTotal() + 1;
    const int n = std::max(0, room / (cellW_ + 1));
    return std::min(n, std::max(0, columns_ - fixedColumnCount()));
}

int GridView::visibleRowCount() const {
    const int room = viewport()->height() - fixedHeightTotal() + 1;
    const int n = std::max(0, room / (cellH_ + 1));
    return std::min(n, std::max(0, rows_ - fixedRowCount()));
}

int GridView::maxLeftColumn() const {
    return std::max(fixedColumnCount(), columns_ - visibleColumnCount());
}

int GridView::maxTopRow() const {
    return std::max(fixedRowCount(), rows_ - visibleRowCount());
}

int GridView::leftLimit() const {
    return follower_ ? std::max(fixedColumnCount(), columns_ - 1) : maxLeftColumn();
}

int GridView::topLimit() const {
    return follower_ ? std::max(fixedRowCount(), rows_ - 1) : maxTopRow();
}

int GridView::gridWidth() const {
    return fixedWidthTotal() + std::max(0, columns_ - fixedColumnCount()) * (cellW_ + 1);
}

int GridView::gridHeight() const {
    return fixedHeightTotal() + std::max(0, rows_ - fixedRowCount()) * (cellH_ + 1);
}

void GridView::setLeftColumn(int c) {
    c = std::clamp(c, fixedColumnCount(), leftLimit());
    if (c == left_) return;
    left_ = c;
    syncing_ = true;
    horizontalScrollBar()->setValue(left_ - fixedColumnCount());
    syncing_ = false;
    viewport()->update();
    emit topLeftChanged();
}

void GridView::setTopRow(int r) {
    r = std::clamp(r, fixedRowCount(), topLimit());
    if (r == top_) return;
    top_ = r;
    syncing_ = true;
    verticalScrollBar()->setValue(top_ - fixedRowCount());
    syncing_ = false;
    viewport()->update();
    emit topLeftChanged();
}

void GridView::updateScrollBars() {
    const int fc = fixedColumnCount();
    const int fr = fixedRowCount();
    const int oldLeft = left_;
    const int oldTop = top_;
    left_ = std::clamp(left_, fc, leftLimit());
    top_ = std::clamp(top_, fr, topLimit());
    syncing_ = true;
    horizontalScrollBar()->setRange(0, maxLeftColumn() - fc);
    horizontalScrollBar()->setPageStep(std::max(1, visibleColumnCount()));
    horizontalScrollBar()->setValue(left_ - fc);
    verticalScrollBar()->setRange(0, maxTopRow() - fr);
    verticalScrollBar()->setPageStep(std::max(1, visibleRowCount()));
    verticalScrollBar()->setValue(top_ - fr);
    syncing_ = false;
    viewport()->update();
    if (oldLeft != left_ || oldTop != top_) emit topLeftChanged();
}

void GridView::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    updateScrollBars();
}

void GridView::scrollContentsBy(int, int) {
    if (syncing_) return;
    const int left = fixedColumnCount() + horizontalScrollBar()->value();
    const int top = fixedRowCount() + verticalScrollBar()->value();
    if (left == left_ && top == top_) return;
    left_ = left;
    top_ = top;
    viewport()->update();
    emit topLeftChanged();
}

bool GridView::cellAt(QPoint pos, int& column, int& row) const {
    column = row = -1;
    if (pos.x() < 0 || pos.y() < 0) return false;
    auto locate = [](int p, const std::vector<int>& fixed, int fixedTotal, int first, int size,
                     int count) {
        if (p < fixedTotal) {
            int edge = 0;
            for (size_t i = 0; i < fixed.size(); ++i) {
                edge += fixed[i] + 1;
                if (p < edge) return static_cast<int>(i);
            }
        }
        const int i = first + (p - fixedTotal) / (size + 1);
        return i < count ? i : -1;
    };
    const int c = locate(pos.x(), fixedWidths_, fixedWidthTotal(), left_, cellW_, columns_);
    const int r = locate(pos.y(), fixedHeights_, fixedHeightTotal(), top_, cellH_, rows_);
    if (c < 0 || r < 0) return false;
    column = c;
    row = r;
    return true;
}

QRect GridView::cellRect(int column, int row) const {
    auto place = [](int i, const std::vector<int>& fixed, int fixedTotal, int first, int size,
                    int& at, int& extent) {
        const int nf = static_cast<int>(fixed.size());
        if (i < nf) {
            at = 0;
            for (int k = 0; k < i; ++k) at += fixed[static_cast<size_t>(k)] + 1;
            extent = fixed[static_cast<size_t>(i)];
            return true;
        }
        if (i < first) return false;
        at = fixedTotal + (i - first) * (size + 1);
        extent = size;
        return true;
    };
    if (column < 0 || row < 0 || column >= columns_ || row >= rows_) return {};
    int x, w, y, h;
    if (!place(column, fixedWidths_, fixedWidthTotal(), left_, cellW_, x, w)) return {};
    if (!place(row, fixedHeights_, fixedHeightTotal(), top_, cellH_, y, h)) return {};
    const QRect r(x, y, w, h);
    return r.intersects(viewport()->rect()) ? r : QRect();
}

void GridView::mousePressEvent(QMouseEvent* event) {
    int c, r;
    if (cellAt(event->position().toPoint(), c, r)) {
        curCol_ = c;
        curRow_ = r;
    }
    emit cellPressed(c, r, event->button());
}

const QImage& GridView::render() {
    renderRows(0, viewport()->height());
    return frame_;
}

void GridView::renderRows(int y0, int y1) {
    const QSize size = viewport()->size();
    if (frame_.size() != size) frame_ = QImage(size, QImage::Format_RGB32);
    const int W = size.width();
    const int H = size.height();
    if (W <= 0 || H <= 0) return;
    y0 = std::max(0, y0);
    y1 = std::min(H, y1);

    // The columns in view: the fixed ones, then from the left column on.
    cellX_.clear();
    cellCW_.clear();
    int x = 0;
    int nFixed = 0;
    for (int w : fixedWidths_) {
        if (x >= W) break;
        cellX_.push_back(x);
        cellCW_.push_back(std::min(w, W - x));
        x += w + 1;
        ++nFixed;
    }
    for (int c = left_; c < columns_ && x < W; ++c) {
        cellX_.push_back(x);
        cellCW_.push_back(std::min(cellW_, W - x));
        x += cellW_ + 1;
    }
    const int gridEnd = std::min(W, x);
    const int nCols = static_cast<int>(cellX_.size());
    const int nScroll = nCols - nFixed;
    cells_.resize(static_cast<size_t>(nCols));
    line_.resize(static_cast<size_t>(W));

    // The line between rows: lines across the grid, background beyond it.
    auto fillLineRow = [&](int y) {
        auto* out = reinterpret_cast<QRgb*>(frame_.scanLine(y));
        std::fill(out, out + gridEnd, lines_);
        std::fill(out + gridEnd, out + W, background_);
    };

    auto band = [&](int r, int h, int y, bool fixedRow) {
        const int top = y;
        const int bottom = std::min(H, y + h);
        if (bottom > y0 && top < y1) {
            std::fill(cells_.begin(), cells_.end(), CellSource::kUnpainted);
            if (source_) {
                if (nFixed > 0) source_->fillRow(r, 0, nFixed, cells_.data());
                if (nScroll > 0)
                    source_->fillRow(r, left_, left_ + nScroll, cells_.data() + nFixed);
            }
            std::fill(line_.begin(), line_.begin() + gridEnd, lines_);
            std::fill(line_.begin() + gridEnd, line_.end(), background_);
            for (int i = 0; i < nCols; ++i) {
                QRgb v = cells_[static_cast<size_t>(i)];
                if (v == CellSource::kUnpainted)
                    v = fixedRow || i < nFixed ? fixedBackground_ : background_;
                QRgb* p = line_.data() + cellX_[static_cast<size_t>(i)];
                const int n = cellCW_[static_cast<size_t>(i)];
                if (n == 1)
                    *p = v;
                else
                    std::fill(p, p + n, v);
            }
            for (int yy = std::max(top, y0); yy < std::min(bottom, y1); ++yy)
                std::memcpy(frame_.scanLine(yy), line_.data(),
                            static_cast<size_t>(W) * sizeof(QRgb));
        }
        const int lineY = y + h;
        if (lineY >= y0 && lineY < y1) fillLineRow(lineY);
        return y + h + 1;
    };

    int y = 0;
    for (size_t i = 0; i < fixedHeights_.size() && y < H; ++i)
        y = band(static_cast<int>(i), fixedHeights_[i], y, true);
    for (int r = top_; r < rows_ && y < H; ++r) y = band(r, cellH_, y, false);
    for (int yy = std::max(y, y0); yy < y1; ++yy) {
        auto* out = reinterpret_cast<QRgb*>(frame_.scanLine(yy));
        std::fill(out, out + W, background_);
    }
}

void GridView::paintEvent(QPaintEvent* event) {
    const QRect exposed = event->rect();
    renderRows(exposed.top(), exposed.bottom() + 1);
    QPainter painter(viewport());
    painter.drawImage(exposed, frame_, exposed);
}

}  // namespace wp::ui
