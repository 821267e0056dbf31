#pragma once

#include <QString>

#include <optional>
#include <string>

#include "model/design.h"

class QWidget;

namespace wp::ui {

// A filter such as "Dobby|*.DOB|Countermarche|*.CTM" as Qt writes it. File
// names on this system are case-sensitive, so both cases are offered.
QString qtFilter(const std::string& filter);

// The open dialog, starting in the folder of `near` (a file) when it is given.
std::optional<std::string> chooseOpenFile(QWidget* parent, const QString& title,
                                          const std::string& filter, const std::string& near);
// The save dialog, likewise.
std::optional<std::string> chooseSaveFile(QWidget* parent, const QString& title,
                                          const std::string& filter, const std::string& near);

}  // namespace wp::ui
