#pragma once

#include <QDialog>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include "app/session.h"
#include "tools/colours.h"

class QLineEdit;
class QPushButton;
class QSpinBox;

namespace wp::ui {

class GridView;
class PaletteCells;

// The colour dialog: a palette of up to 16 colours and a layout expression,
// applied to the weft or the warp on OK. Works on copies until then.
class TForm3 : public QDialog {
    Q_OBJECT
public:
    TForm3(ColourTarget target, Session& s, ColourPalettes& palettes, QWidget* parent = nullptr);
    ~TForm3() override;

    // The colour picker: the colour chosen (0x00BBGGRR), or nothing when cancelled.
    std::function<std::optional<uint32_t>(uint32_t initial)> chooseColour;

    // Button and field handlers.
    void Button1Click();  // OK
    void Button2Click();  // RESET
    void Button3Click();  // CANCEL
    void Edit1Exit();     // focus leaves the layout field
    void DrawGrid1Click(int slot);

    const ColourLayoutEditor& editor() const { return editor_; }
    QSpinBox* spinEdit1() const { return spin_; }
    QLineEdit* edit1() const { return edit_; }
    GridView* drawGrid1() const { return grid_; }
    QPushButton* button(const char* name) const;

signals:
    void helpRequested();

protected:
    void showEvent(QShowEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    Session& s_;
    ColourPalettes& palettes_;
    ColourLayoutEditor editor_;
    std::unique_ptr<PaletteCells> cells_;
    QSpinBox* spin_ = nullptr;
    QLineEdit* edit_ = nullptr;
    GridView* grid_ = nullptr;
};

}  // namespace wp::ui
