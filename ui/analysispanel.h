#pragma once

#include <QPointer>
#include <QWidget>

#include <functional>
#include <optional>
#include <string>

#include "app/session.h"
#include "tools/floats.h"
#include "ui/dialogs/floatchart.h"

class QLineEdit;
class QPushButton;
class QSpinBox;

namespace wp::ui {

// The float analysis panel at the bottom of the main window: measures the
// floats, marks them against a limit, previews and applies the cuts and saves
// the weft image. It owns the float chart window while the analysis is open.
class AnalysisPanel : public QWidget {
    Q_OBJECT
public:
    explicit AnalysisPanel(Session& s, QWidget* parent = nullptr);
    ~AnalysisPanel() override;

    // The Save button's file dialog: a name, or nothing when cancelled.
    std::function<std::optional<std::string>(const std::string& filter, const std::string& title)>
        chooseSaveFile;
    // Where even remainders of too-long runs are cut; seeded from the clock.
    void setCutDraw(CutDraw draw) { draw_ = std::move(draw); }

    // Menu "Analyse": shows the panel and creates the chart window (hidden).
    void open();
    // Button handlers.
    void AnalyseClick();
    void WeftShowClick();
    void WarpShowClick();
    void TieUpsClick();
    void ColorToggleClick();
    void ApplyFloatClick();
    void SaveClick();
    void DoneClick();
    void CutLimitChange();

    QLineEdit* mxwarp() const { return mxwarp_; }
    QLineEdit* mxweft() const { return mxweft_; }
    QSpinBox* cutLimit() const { return cutLimit_; }
    // A button by its name: Analyse, WarpShow, WeftShow, TieUps, ColorToggle,
    // ApplyFloat, Save, Done.
    QPushButton* button(const char* name) const;
    TFAnalyse* chart() const { return chart_; }

signals:
    // The design or its marks changed: the design grid is to be repainted.
    void designEdited();
    // F1 in the chart window.
    void helpRequested();

private:
    std::optional<int> limitValue() const;

    Session& s_;
    CutDraw draw_;
    QLineEdit* mxwarp_ = nullptr;
    QLineEdit* mxweft_ = nullptr;
    QSpinBox* cutLimit_ = nullptr;
    QPointer<TFAnalyse> chart_;
    bool clearing_ = false;
};

}  // namespace wp::ui
