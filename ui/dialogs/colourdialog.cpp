#include "ui/dialogs/colourdialog.h"

#include <QColorDialog>
#include <QEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>
#include <QSpinBox>
#include <QVBoxLayout>

#include <algorithm>

#include "ui/grids.h"
#include "ui/gridview.h"

namespace wp::ui {

// The palette grid: one column, row k - 1 shows slot k.
class PaletteCells : public CellSource {
public:
    explicit PaletteCells(const ColourLayoutEditor& e) : e_(e) {}
    void fillRow(int r, int c0, int c1, QRgb* out) const override {
        std::fill(out, out + (c1 - c0), fromBgr(e_.slot(std::clamp(r + 1, 1, kPaletteSlots))));
    }

private:
    const ColourLayoutEditor& e_;
};

namespace {

constexpr int kSlotHeight = 18;

}  // namespace

TForm3::TForm3(ColourTarget target, Session& s, ColourPalettes& palettes, QWidget* parent)
    : QDialog(parent), s_(s), palettes_(palettes), editor_(target) {
    setObjectName("Form3");
    cells_ = std::make_unique<PaletteCells>(editor_);
    auto* top = new QVBoxLayout(this);

    auto* sizeRow = new QHBoxLayout;
    auto* label1 = new QLabel("Number of threads in pattern");
    label1->setObjectName("Label1");
    spin_ = new QSpinBox;
    spin_->setObjectName("SpinEdit1");
    spin_->setRange(0, kPaletteSlots);
    sizeRow->addWidget(label1);
    sizeRow->addWidget(spin_);
    sizeRow->addStretch(1);
    top->addLayout(sizeRow);

    // Slot numbers beside the palette grid, under their column heads.
    auto* palette = new QGridLayout;
    palette->setVerticalSpacing(0);
    auto* no = new QLabel("No");
    no->setObjectName("Label2");
    auto* colour = new QLabel("Color");
    colour->setObjectName("Label3");
    palette->addWidget(no, 0, 0);
    palette->addWidget(colour, 0, 1);
    auto* numbers = new QVBoxLayout;
    numbers->setSpacing(0);
    for (int k = 1; k <= kPaletteSlots; ++k) {
        auto* t = new QLabel(QString::number(k));
        t->setObjectName(QString("Text%1").arg(k + 1));
        t->setFixedHeight(kSlotHeight);
        numbers->addWidget(t);
    }
    palette->addLayout(numbers, 1, 0);
    grid_ = new GridView;
    grid_->setObjectName("DrawGrid1");
    grid_->setSource(cells_.get());
    grid_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    grid_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    grid_->setFrameShape(QFrame::NoFrame);
    grid_->setDimensions(1, kPaletteSlots);
    grid_->setCellSize(80, kSlotHeight - 1);
    grid_->setFixedSize(81, kPaletteSlots * kSlotHeight);
    palette->addWidget(grid_, 1, 1, Qt::AlignTop);
    palette->setColumnStretch(2, 1);
    top->addLayout(palette);

    auto* layoutRow = new QHBoxLayout;
    auto* text18 = new QLabel("Layout");
    text18->setObjectName("Text18");
    edit_ = new QLineEdit;
    edit_->setObjectName("Edit1");
    edit_->installEventFilter(this);
    layoutRow->addWidget(text18);
    layoutRow->addWidget(edit_, 1);
    top->addLayout(layoutRow);

    auto* buttons = new QHBoxLayout;
    const struct {
        const char* name;
        const char* caption;
        void (TForm3::*handler)();
    } list[] = {{"Button1", "OK", &TForm3::Button1Click},
                {"Button2", "RESET", &TForm3::Button2Click},
                {"Button3", "CANCEL", &TForm3::Button3Click}};
    for (const auto& b : list) {
        auto* button = new QPushButton(b.caption);
        button->setObjectName(b.name);
        button->setAutoDefault(false);
        buttons->addWidget(button);
        connect(button, &QPushButton::clicked, this, [this, h = b.handler] { (this->*h)(); });
    }
    top->addLayout(buttons);

    connect(spin_, &QSpinBox::valueChanged, this, [this](int v) {
        if (!spin_->cleanText().isEmpty()) editor_.setPaletteSize(v);
    });
    connect(grid_, &GridView::cellPressed, this, [this](int, int row, Qt::MouseButton b) {
        if (b == Qt::LeftButton) DrawGrid1Click(row + 1);
    });
    setWindowTitle(editor_.caption());
    auto* f1 = new QShortcut(QKeySequence::HelpContents, this);
    connect(f1, &QShortcut::activated, this, &TForm3::helpRequested);
}

TForm3::~TForm3() {
    edit_->removeEventFilter(this);
}

QPushButton* TForm3::button(const char* name) const {
    return findChild<QPushButton*>(name);
}

void TForm3::showEvent(QShowEvent* e) {
    editor_.load(palettes_);
    spin_->setValue(editor_.paletteSize());
    edit_->setText(QString::fromStdString(editor_.layoutText()));
    grid_->viewport()->update();
    QDialog::showEvent(e);
}

bool TForm3::eventFilter(QObject* watched, QEvent* e) {
    if (watched == edit_ && e->type() == QEvent::FocusOut) Edit1Exit();
    return QDialog::eventFilter(watched, e);
}

void TForm3::Edit1Exit() {
    editor_.setLayoutText(edit_->text().toStdString());
    editor_.translate(s_.design(), s_.ui());
}

void TForm3::DrawGrid1Click(int slot) {
    if (slot < 1 || slot > kPaletteSlots) return;
    std::optional<uint32_t> picked;
    if (chooseColour) {
        picked = chooseColour(editor_.slot(slot));
    } else {
        const QColor c = QColorDialog::getColor(QColor::fromRgb(fromBgr(editor_.slot(slot))), this);
        if (c.isValid())
            picked = static_cast<uint32_t>(c.red()) | static_cast<uint32_t>(c.green()) << 8 |
                     static_cast<uint32_t>(c.blue()) << 16;
    }
    if (!picked) return;
    editor_.setSlot(slot, *picked);
    grid_->viewport()->update();
}

void TForm3::Button1Click() {
    editor_.setLayoutText(edit_->text().toStdString());
    if (editor_.apply(s_.design(), palettes_, s_.ui()))
        accept();
    else
        reject();
}

void TForm3::Button2Click() {
    editor_.reset();
    edit_->clear();
    grid_->viewport()->update();
}

void TForm3::Button3Click() {
    // Closes as OK, leaving everything as it was.
    accept();
}

}  // namespace wp::ui
