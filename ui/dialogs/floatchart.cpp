#include "ui/dialogs/floatchart.h"

#include <QChart>
#include <QChartView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineSeries>
#include <QLogValueAxis>
#include <QMouseEvent>
#include <QVBoxLayout>
#include <QValueAxis>

#include <algorithm>

#include "tools/floats.h"

namespace wp::ui {

namespace {

constexpr double kLeftMinimum = 0.5;
// A logarithmic axis has no place for 0: empty bins are drawn below its bottom.
constexpr double kNoFloats = 0.1;

double drawn(int count) {
    return count > 0 ? count : kNoFloats;
}

}  // namespace

// The chart view: clicks beside the plot area, on an axis, are the window's.
class FloatChartView : public QChartView {
public:
    FloatChartView(QChart* chart, TFAnalyse* window) : QChartView(chart), window_(window) {
        setRubberBand(QChartView::RectangleRubberBand);
        setFocusPolicy(Qt::NoFocus);
    }

protected:
    void mousePressEvent(QMouseEvent* e) override {
        const QPointF p = chart()->mapFromScene(mapToScene(e->position().toPoint()));
        const QRectF plot = chart()->plotArea();
        const bool onLeft = p.x() < plot.left() && p.y() >= plot.top() && p.y() <= plot.bottom();
        const bool onBottom =
            p.y() > plot.bottom() && p.x() >= plot.left() && p.x() <= plot.right();
        axisPress_ = onLeft || onBottom;
        if (axisPress_) {
            window_->axisClicked(e->button());
            e->accept();
            return;
        }
        // The middle button pans.
        if (e->button() == Qt::MiddleButton) {
            panFrom_ = e->position();
            e->accept();
            return;
        }
        QChartView::mousePressEvent(e);
    }
    void mouseMoveEvent(QMouseEvent* e) override {
        if (e->buttons() & Qt::MiddleButton) {
            const QPointF d = e->position() - panFrom_;
            chart()->scroll(-d.x(), d.y());
            panFrom_ = e->position();
            e->accept();
            return;
        }
        QChartView::mouseMoveEvent(e);
    }
    void mouseReleaseEvent(QMouseEvent* e) override {
        // The view's own right-button release would zoom out again.
        if (axisPress_ || e->button() == Qt::MiddleButton) {
            axisPress_ = false;
            e->accept();
            return;
        }
        QChartView::mouseReleaseEvent(e);
    }

private:
    bool axisPress_ = false;
    TFAnalyse* window_;
    QPointF panFrom_;
};

TFAnalyse::TFAnalyse(const AnalysisState& analysis, QWidget* parent)
    : QWidget(parent, Qt::Window), analysis_(analysis) {
    setWindowTitle("FAnalyse");
    resize(550, 484);
    chart_ = new QChart;
    chart_->setTitle("Warps (red)  and  Wefts (blue)");
    chart_->legend()->hide();
    chart_->setAnimationOptions(QChart::GridAxisAnimations);
    chart_->setPlotAreaBackgroundBrush(Qt::white);
    chart_->setPlotAreaBackgroundVisible(true);
    series1_ = new QLineSeries;
    series1_->setColor(Qt::red);
    series2_ = new QLineSeries;
    series2_->setColor(Qt::blue);
    chart_->addSeries(series1_);
    chart_->addSeries(series2_);
    bottom_ = new QValueAxis;
    bottom_->setTitleText("Floatation Length");
    bottom_->setLabelFormat("%d");
    left_ = new QLogValueAxis;
    left_->setBase(10);
    left_->setLabelFormat("%g");
    chart_->addAxis(bottom_, Qt::AlignBottom);
    chart_->addAxis(left_, Qt::AlignLeft);
    for (QLineSeries* s : {series1_, series2_}) {
        s->attachAxis(bottom_);
        s->attachAxis(left_);
    }
    view_ = new FloatChartView(chart_, this);
    view_->setRenderHint(QPainter::Antialiasing);

    QFont bold = font();
    bold.setBold(true);
    longRow_ = new QLabel(" ");
    longRow_->setObjectName("LongRowLabel");
    longRow_->setFont(bold);
    longCol_ = new QLabel(" ");
    longCol_->setObjectName("LongColLabel");
    longCol_->setFont(bold);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(view_, 1);
    layout->addWidget(longRow_);
    layout->addWidget(longCol_);
    setFocusPolicy(Qt::StrongFocus);
}

QChartView* TFAnalyse::view() const {
    return view_;
}

bool TFAnalyse::event(QEvent* e) {
    if (e->type() == QEvent::WindowActivate) FormActivate();
    return QWidget::event(e);
}

void TFAnalyse::FormActivate() {
    const FloatChartData points = floatChartData(analysis_);
    QList<QPointF> warp, weft;
    int highest = 0;
    for (size_t k = 0; k < points.warp.size(); ++k) {
        warp.append(QPointF(static_cast<double>(k), drawn(points.warp[k])));
        weft.append(QPointF(static_cast<double>(k), drawn(points.weft[k])));
        highest = std::max({highest, points.warp[k], points.weft[k]});
    }
    series1_->replace(warp);
    series2_->replace(weft);
    // Counts from a half upwards, the bottom axis over every point.
    leftMin_ = kLeftMinimum;
    leftMax_ = std::max(10.0, highest * 1.5);
    bottomMin_ = 0;
    bottomMax_ = std::max(1.0, static_cast<double>(points.warp.size()) - 1);
    undoZoom();
    longColLabel()->setText(QString::fromStdString(points.warpLabel));
    longRowLabel()->setText(QString::fromStdString(points.weftLabel));
}

void TFAnalyse::undoZoom() {
    left_->setRange(leftMin_, leftMax_);
    bottom_->setRange(bottomMin_, bottomMax_);
}

void TFAnalyse::zoomBy(double percent) {
    const auto zoomed = [percent](double lo, double hi) {
        const double d = (hi - lo) * (percent - 100) / 100;
        return std::pair{lo + d, hi - d};
    };
    const auto [bl, bh] = zoomed(bottom_->min(), bottom_->max());
    if (bl < bh) bottom_->setRange(bl, bh);
    auto [ll, lh] = zoomed(left_->min(), left_->max());
    // A logarithmic axis stays above 0: its bottom stays where it was.
    if (ll <= 0) ll = left_->min();
    if (ll < lh) left_->setRange(ll, lh);
}

void TFAnalyse::axisClicked(Qt::MouseButton button) {
    if (button == Qt::RightButton) {
        undoZoom();
    } else if (button == Qt::LeftButton) {
        zoomBy(75);
        left_->setMin(kLeftMinimum);
    }
}

void TFAnalyse::scrollLeft(double by) {
    // A logarithmic axis cannot reach 0 or below.
    if (left_->min() + by > 0) left_->setRange(left_->min() + by, left_->max() + by);
}

void TFAnalyse::scrollBottom(double by) {
    bottom_->setRange(bottom_->min() + by, bottom_->max() + by);
}

void TFAnalyse::keyPressEvent(QKeyEvent* e) {
    const int key = e->key();
    if (key == Qt::Key_F1) {
        emit helpRequested();
        return;
    }
    if (e->modifiers() & Qt::ShiftModifier) {
        if (key == Qt::Key_Left || key == Qt::Key_Up) zoomBy(110);
        if (key == Qt::Key_Right || key == Qt::Key_Down) zoomBy(90);
        return;
    }
    const double rl = left_->max() - left_->min();
    const double rb = bottom_->max() - bottom_->min();
    switch (key) {
        case Qt::Key_Space:
            undoZoom();
            break;
        case Qt::Key_PageUp:
            scrollLeft(rl / 10);
            break;
        case Qt::Key_PageDown:
            scrollLeft(-rl / 10);
            break;
        case Qt::Key_Up:
            scrollLeft(rl / 100);
            break;
        case Qt::Key_Down:
            scrollLeft(-rl / 100);
            break;
        case Qt::Key_Left:
            scrollBottom(-rb / 100);
            break;
        case Qt::Key_Right:
            scrollBottom(rb / 100);
            break;
        default:
            QWidget::keyPressEvent(e);
            break;
    }
}

}  // namespace wp::ui
