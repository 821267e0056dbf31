#pragma once

#include <QDialog>

namespace wp::ui {

// The about box: caption "About Mirlo", the program's icon, product line and
// version, and an OK button. F1 asks for its help page.
class TAboutBox : public QDialog {
    Q_OBJECT
public:
    explicit TAboutBox(const QIcon& icon, QWidget* parent = nullptr);

signals:
    void helpRequested();
};

}  // namespace wp::ui
