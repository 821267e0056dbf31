#pragma once

#include <string>

#include "model/userio.h"

class QWidget;

namespace wp::ui {

// The weaver's message box: kind, fixed text and buttons as the core asks. CR LF
// line breaks are shown as line breaks.
Answer showMessageBox(QWidget* parent, BoxKind kind, const std::string& text, Buttons buttons);

}  // namespace wp::ui
