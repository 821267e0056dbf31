#pragma once

#include <QWidget>

#include "model/design.h"

class QChart;
class QChartView;
class QLabel;
class QLineSeries;
class QLogValueAxis;
class QValueAxis;

namespace wp::ui {

class FloatChartView;

// The float chart: warp floats (red) and weft floats (blue) by float length,
// counts on a logarithmic axis (an empty bin is drawn at 0.1, below the
// axis's bottom of 0.5), with zoom and scroll by mouse and keys. A window of
// its own beside the main window; closing it only hides it.
class TFAnalyse : public QWidget {
    Q_OBJECT
public:
    explicit TFAnalyse(const AnalysisState& analysis, QWidget* parent = nullptr);

    // Activation: both series filled again from the histograms, zoom undone.
    void FormActivate();

    // Every axis range [min, max] becomes [min + d, max - d], d = (max - min) x
    // (percent - 100) / 100: above 100 zooms in.
    void zoomBy(double percent);
    void undoZoom();
    // A click on an axis: right undoes the zoom, left zooms out by half.
    void axisClicked(Qt::MouseButton button);

    QChart* chart() const { return chart_; }
    QChartView* view() const;
    QLineSeries* series1() const { return series1_; }  // warp floats
    QLineSeries* series2() const { return series2_; }  // weft floats
    QLogValueAxis* leftAxis() const { return left_; }
    QValueAxis* bottomAxis() const { return bottom_; }
    QLabel* longRowLabel() const { return longRow_; }
    QLabel* longColLabel() const { return longCol_; }

signals:
    void helpRequested();

protected:
    bool event(QEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;

private:
    void scrollLeft(double by);
    void scrollBottom(double by);

    const AnalysisState& analysis_;
    QChart* chart_ = nullptr;
    FloatChartView* view_ = nullptr;
    QLineSeries* series1_ = nullptr;
    QLineSeries* series2_ = nullptr;
    QLogValueAxis* left_ = nullptr;
    QValueAxis* bottom_ = nullptr;
    QLabel* longRow_ = nullptr;
    QLabel* longCol_ = nullptr;
    // The ranges of the last activation, for undoing the zoom.
    double leftMin_ = 0.5, leftMax_ = 10, bottomMin_ = 0, bottomMax_ = 1;
};

}  // namespace wp::ui
