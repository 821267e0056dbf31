#include "ui/messagebox.h"

#include <QMessageBox>

#include "app/lifecycle.h"

namespace wp::ui {

Answer showMessageBox(QWidget* parent, BoxKind kind, const std::string& text, Buttons buttons) {
    QMessageBox::Icon icon = QMessageBox::Information;
    switch (kind) {
        case BoxKind::Error:
            icon = QMessageBox::Critical;
            break;
        case BoxKind::Information:
            icon = QMessageBox::Information;
            break;
        case BoxKind::Confirmation:
            icon = QMessageBox::Question;
            break;
        case BoxKind::Warning:
            icon = QMessageBox::Warning;
            break;
    }
    QMessageBox::StandardButtons which = QMessageBox::Ok;
    if (buttons == Buttons::Yes) which = QMessageBox::Yes;
    if (buttons == Buttons::YesNo) which = QMessageBox::Yes | QMessageBox::No;
    QString shown = QString::fromStdString(text);
    shown.replace("\r\n", "\n");
    QMessageBox box(icon, kApplicationTitle, shown, which, parent);
    const int pressed = box.exec();
    if (pressed == QMessageBox::Yes) return Answer::Yes;
    if (pressed == QMessageBox::No) return Answer::No;
    return Answer::Ok;
}

}  // namespace wp::ui
