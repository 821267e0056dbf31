#pragma once

#include <QAbstractScrollArea>
#include <QImage>
#include <QRgb>

#include <vector>

namespace wp::ui {

// Says what colour each cell of a grid has. Rows are filled a stretch at a time so
// that a source can walk its data once per row.
class CellSource {
public:
    virtual ~CellSource() = default;
    // Unpainted cells show the grid's background.
    static constexpr QRgb kUnpainted = 0;
    // Fills out[0 .. c1 - c0) with the colours of columns c0 .. c1 - 1 of row r.
    virtual void fillRow(int r, int c0, int c1, QRgb* out) const = 0;
};

// An owner-drawn grid of cells with fixed leading columns and rows and a line
// between cells. Only the visible cells are asked for, one row at a time, and
// rendered into a viewport-sized image, so the size of the grid does not matter.
// The scroll bars count cells.
class GridView : public QAbstractScrollArea {
    Q_OBJECT
public:
    explicit GridView(QWidget* parent = nullptr);

    void setSource(const CellSource* source);

    void setDimensions(int columns, int rows);
    int columnCount() const { return columns_; }
    int rowCount() const { return rows_; }

    // Fixed leading columns and rows, with their own sizes.
    void setFixedColumns(std::vector<int> widths);
    void setFixedRows(std::vector<int> heights);
    int fixedColumnCount() const { return static_cast<int>(fixedWidths_.size()); }
    int fixedRowCount() const { return static_cast<int>(fixedHeights_.size()); }
    int fixedColumnWidth(int c) const { return fixedWidths_.at(static_cast<size_t>(c)); }
    int fixedRowHeight(int r) const { return fixedHeights_.at(static_cast<size_t>(r)); }

    // Size of every other cell.
    void setCellSize(int width, int height);
    int cellWidth() const { return cellW_; }
    int cellHeight() const { return cellH_; }

    // The first scrollable column and row in view.
    int leftColumn() const { return left_; }
    int topRow() const { return top_; }
    void setLeftColumn(int c);
    void setTopRow(int r);
    // Scrollable columns and rows that fit whole into the viewport.
    int visibleColumnCount() const;
    int visibleRowCount() const;
    // The largest left column and top row.
    int maxLeftColumn() const;
    int maxTopRow() const;
    // A grid that follows another may scroll as far as the last cell, so that
    // it can stay in step with a grid of a different size.
    void setFollower(bool on) { follower_ = on; }

    // Cell under a viewport point; false outside the cells.
    bool cellAt(QPoint pos, int& column, int& row) const;
    // A cell's rectangle in viewport coordinates (empty when out of view).
    QRect cellRect(int column, int row) const;
    // Total width and height of the grid in pixels.
    int gridWidth() const;
    int gridHeight() const;

    // The current cell: the one last clicked.
    int currentColumn() const { return curCol_; }
    int currentRow() const { return curRow_; }

    // Colours of unpainted cells and lines.
    void setColours(QRgb background, QRgb fixedBackground, QRgb lines);

    // Renders the viewport now, as a paint would (benchmarks, tests).
    const QImage& render();

signals:
    void topLeftChanged();
    void cellPressed(int column, int row, Qt::MouseButton button);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    void updateScrollBars();
    void renderRows(int y0, int y1);
    // x of a column's left edge, or the column under x; for the columns in view.
    int fixedWidthTotal() const;
    int fixedHeightTotal() const;
    int leftLimit() const;
    int topLimit() const;

    const CellSource* source_ = nullptr;
    int columns_ = 0;
    int rows_ = 0;
    std::vector<int> fixedWidths_;
    std::vector<int> fixedHeights_;
    int cellW_ = 6;
    int cellH_ = 6;
    int left_ = 0;
    int top_ = 0;
    int curCol_ = -1;
    int curRow_ = -1;
    bool syncing_ = false;
    bool follower_ = false;
    QRgb background_ = 0xFFFFFFFF;
    QRgb fixedBackground_ = 0xFFF0F0F0;
    QRgb lines_ = 0xFFC0C0C0;

    QImage frame_;
    // Scratch buffers, kept between frames.
    std::vector<QRgb> cells_;
    std::vector<int> cellX_;   // left pixel of each column in view
    std::vector<int> cellCW_;  // its width, clipped to the viewport
    std::vector<QRgb> line_;
};

}  // namespace wp::ui
