#include "ui/filedialog.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QStringList>

namespace wp::ui {

QString qtFilter(const std::string& filter) {
    const QStringList parts = QString::fromStdString(filter).split('|');
    QStringList out;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        QStringList patterns;
        for (const QString& p : parts[i + 1].split(';', Qt::SkipEmptyParts)) {
            patterns << p.trimmed();
            if (p.trimmed().toLower() != p.trimmed()) patterns << p.trimmed().toLower();
        }
        out << parts[i] + " (" + patterns.join(' ') + ")";
    }
    return out.join(";;");
}

namespace {

QString folderOf(const std::string& near) {
    return near.empty() ? QString() : QFileInfo(QString::fromStdString(near)).absolutePath();
}

}  // namespace

std::optional<std::string> chooseOpenFile(QWidget* parent, const QString& title,
                                          const std::string& filter, const std::string& near) {
    const QString name =
        QFileDialog::getOpenFileName(parent, title, folderOf(near), qtFilter(filter));
    if (name.isEmpty()) return std::nullopt;
    return name.toStdString();
}

std::optional<std::string> chooseSaveFile(QWidget* parent, const QString& title,
                                          const std::string& filter, const std::string& near) {
    const QString name =
        QFileDialog::getSaveFileName(parent, title, folderOf(near), qtFilter(filter));
    if (name.isEmpty()) return std::nullopt;
    return name.toStdString();
}

}  // namespace wp::ui
