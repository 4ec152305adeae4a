#pragma once

#include <string>

class QWidget;

namespace tarnwick {

// The application's error box on Qt: a modal message box over parent with the caption
// "Tarnwick", the error icon, an OK button and text (GBK bytes, ready to show).
void ShowQtErrorBox(QWidget* parent, const std::string& text);

// Makes ShowQtErrorBox the error box of every handler's guard.
void InstallQtErrorBox();

} // namespace tarnwick
