#include "ui/dialogs/aboutbox.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QShortcut>
#include <QStyle>
#include <QVBoxLayout>

#include "app/lifecycle.h"

namespace wp::ui {

TAboutBox::TAboutBox(const QIcon& icon, QWidget* parent) : QDialog(parent) {
    setWindowTitle(kAboutCaption);
    auto* layout = new QVBoxLayout(this);
    auto* row = new QHBoxLayout;
    auto* picture = new QLabel;
    const QIcon shown = icon.isNull() ? style()->standardIcon(QStyle::SP_ComputerIcon) : icon;
    picture->setPixmap(shown.pixmap(48, 48));
    row->addWidget(picture);
    auto* texts = new QVBoxLayout;
    texts->addWidget(new QLabel(kAboutProduct));
    texts->addWidget(new QLabel(kAboutVersion));
    row->addLayout(texts);
    layout->addLayout(row);
    auto* ok = new QDialogButtonBox(QDialogButtonBox::Ok);
    connect(ok, &QDialogButtonBox::accepted, this, &QDialog::accept);
    layout->addWidget(ok);
    auto* f1 = new QShortcut(QKeySequence::HelpContents, this);
    connect(f1, &QShortcut::activated, this, &TAboutBox::helpRequested);
}

}  // namespace wp::ui
