#include "ui/analysispanel.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>

#include "app/lifecycle.h"
#include "import/load.h"
#include "tools/coloursfile.h"
#include "ui/dialogs/floatchart.h"

namespace wp::ui {

AnalysisPanel::AnalysisPanel(Session& s, QWidget* parent)
    : QWidget(parent), s_(s), draw_(clockSeededDraw()) {
    setObjectName("Analysis");
    setFixedHeight(103);
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(6, 4, 6, 4);
    const auto edit = [](const char* name) {
        auto* e = new QLineEdit;
        e->setObjectName(name);
        e->setReadOnly(true);
        e->setFixedWidth(60);
        return e;
    };
    const auto label = [](const char* name, const char* caption) {
        auto* l = new QLabel(caption);
        l->setObjectName(name);
        return l;
    };
    mxwarp_ = edit("mxwarp");
    mxweft_ = edit("mxweft");
    cutLimit_ = new QSpinBox;
    cutLimit_->setObjectName("CutLimit");
    cutLimit_->setRange(0, kCutLimitMax);
    cutLimit_->setValue(0);
    grid->addWidget(label("Maxwarp", "Max.Warp float"), 0, 0);
    grid->addWidget(mxwarp_, 0, 1);
    grid->addWidget(label("Maxweft", "Max.weft float"), 1, 0);
    grid->addWidget(mxweft_, 1, 1);
    grid->addWidget(label("Limit", "Limit"), 0, 3);
    grid->addWidget(cutLimit_, 1, 3);

    const struct {
        const char* name;
        const char* caption;
        void (AnalysisPanel::*handler)();
        int row, column;
    } buttons[] = {
        {"Analyse", "Analyse", &AnalysisPanel::AnalyseClick, 0, 2},
        {"WarpShow", "Show Warp", &AnalysisPanel::WarpShowClick, 0, 4},
        {"WeftShow", "Show Weft", &AnalysisPanel::WeftShowClick, 1, 4},
        {"TieUps", "Show TieUp", &AnalysisPanel::TieUpsClick, 0, 5},
        {"ColorToggle", "BiLevel", &AnalysisPanel::ColorToggleClick, 1, 5},
        {"ApplyFloat", "Apply", &AnalysisPanel::ApplyFloatClick, 0, 6},
        {"Save", "Save", &AnalysisPanel::SaveClick, 1, 6},
        {"Done", "Done", &AnalysisPanel::DoneClick, 0, 7},
    };
    for (const auto& b : buttons) {
        auto* button = new QPushButton(b.caption);
        button->setObjectName(b.name);
        grid->addWidget(button, b.row, b.column);
        connect(button, &QPushButton::clicked, this, [this, h = b.handler] { (this->*h)(); });
    }
    this->button("ColorToggle")->setToolTip("Toggles color ON/OFF");
    grid->setColumnStretch(8, 1);
    connect(cutLimit_, &QSpinBox::valueChanged, this, [this] {
        if (!clearing_) CutLimitChange();
    });
}

AnalysisPanel::~AnalysisPanel() {
    delete chart_;
}

QPushButton* AnalysisPanel::button(const char* name) const {
    return findChild<QPushButton*>(name);
}

std::optional<int> AnalysisPanel::limitValue() const {
    if (cutLimit_->cleanText().isEmpty()) return std::nullopt;
    return cutLimit_->value();
}

void AnalysisPanel::open() {
    DesignModel& d = s_.design();
    setEnabled(d.designReady);
    if (!d.designReady || isVisible()) return;
    if (!openFloatAnalysis(d)) {
        s_.ui().messageBox(BoxKind::Information, kInsufficientMemory, Buttons::Yes);
        return;
    }
    if (!chart_) {
        chart_ = new TFAnalyse(d.analysis, window());
        connect(chart_, &TFAnalyse::helpRequested, this, &AnalysisPanel::helpRequested);
    }
    setVisible(true);
}

void AnalysisPanel::AnalyseClick() {
    DesignModel& d = s_.design();
    if (d.analysis.displayMode == kAnalysisClosed) return;
    setEnabled(true);
    analyseFloats(d);
    mxwarp_->setText(QString::fromStdString(longestFloatText(d.analysis.warpHistogram)));
    mxweft_->setText(QString::fromStdString(longestFloatText(d.analysis.weftHistogram)));
    if (chart_) {
        chart_->show();
        chart_->FormActivate();
    }
    // Marks shown before are gone from the view too.
    emit designEdited();
}

void AnalysisPanel::WeftShowClick() {
    if (s_.design().analysis.displayMode == kAnalysisClosed) return;
    if (showFloats(s_.design(), FloatLine::Picks, limitValue())) emit designEdited();
}

void AnalysisPanel::WarpShowClick() {
    if (s_.design().analysis.displayMode == kAnalysisClosed) return;
    if (showFloats(s_.design(), FloatLine::WarpEnds, limitValue())) emit designEdited();
}

void AnalysisPanel::CutLimitChange() {
    if (changeCutLimit(s_.design(), limitValue())) emit designEdited();
}

void AnalysisPanel::TieUpsClick() {
    if (toggleCutPreview(s_.design(), draw_)) emit designEdited();
}

void AnalysisPanel::ColorToggleClick() {
    AnalysisState& a = s_.design().analysis;
    if (a.displayMode == kAnalysisClosed) return;
    a.bilevelView = !a.bilevelView;
    emit designEdited();
}

void AnalysisPanel::ApplyFloatClick() {
    if (s_.window().checked(Control::ShaftPlot) ||
        s_.design().analysis.displayMode == kAnalysisClosed)
        return;
    if (applyCuts(s_.design()) > 0) emit designEdited();
}

void AnalysisPanel::SaveClick() {
    if (s_.window().checked(Control::ShaftPlot) || !chooseSaveFile) return;
    const auto chosen = chooseSaveFile("BMPImage|*.BMP", "Save Weft to BMP file");
    if (!chosen) return;
    const std::string weft = weftImageName(*chosen);
    const std::string colours = coloursFileName(weft);
    std::string error;
    if (!writeWeftImage(weft, s_.design(), error) || !writeColoursFile(colours, s_.design(), error))
        s_.ui().errorBox("Cannot save " + error);
}

void AnalysisPanel::DoneClick() {
    setVisible(false);
    setEnabled(false);
    delete chart_;
    closeFloatAnalysis(s_.design());
    mxweft_->clear();
    mxwarp_->clear();
    clearing_ = true;
    cutLimit_->setValue(0);
    clearing_ = false;
    emit designEdited();
}

}  // namespace wp::ui
