#pragma once

#include <QWidget>

#include <cstdint>

#include "model/userio.h"

class QLineEdit;
class QSpinBox;

namespace wp::ui {

// The top panel: "Grid size", the run panel's numbers (Start weft, End weft,
// Next weft on resume, Current weft) and the colour box of the current pick.
class RunPanelView : public QWidget {
    Q_OBJECT
public:
    explicit RunPanelView(QWidget* parent = nullptr);

    QSpinBox* gridSize() const { return gridSize_; }
    QSpinBox* startWeft() const { return startWeft_; }
    QSpinBox* endWeft() const { return endWeft_; }
    QSpinBox* nextWeft() const { return nextWeft_; }
    QLineEdit* colourBox() const { return colourBox_; }
    QLineEdit* currentWeft() const { return currentWeft_; }

    // Shows the core's numbers and returns them as the spin boxes hold them:
    // a spin box keeps to its range, and the run reads what the weaver sees.
    RunPanel show(const RunPanel& panel);
    // Start weft, End weft and Next weft on resume reach at most `wefts`.
    void setMaxima(int wefts);

    // A weft colour (0x00BBGGRR) as the box's background; a colour number of 0
    // leaves the text as it is.
    void showWeftColour(uint32_t colour, uint16_t number);
    void clearColour();

signals:
    void zoomChanged(int size);
    // The weaver changed a number (not emitted while the core's numbers are shown).
    void startWeftEdited(int pick);
    void endWeftEdited(int pick);
    void nextWeftEdited(int pick);

private:
    QSpinBox* gridSize_ = nullptr;
    QSpinBox* startWeft_ = nullptr;
    QSpinBox* endWeft_ = nullptr;
    QSpinBox* nextWeft_ = nullptr;
    QLineEdit* colourBox_ = nullptr;
    QLineEdit* currentWeft_ = nullptr;
    bool applying_ = false;
};

}  // namespace wp::ui
