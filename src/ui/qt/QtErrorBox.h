#pragma once

#include <QString>

#include <exception>
#include <functional>
#include <string>

class QWidget;

namespace tarnwick {

// The application's title, the caption of its error box.
inline constexpr const char* ApplicationTitle = "Tarnwick";

// The text the error box shows for a message of GBK bytes: the message, with "." appended when
// the code of its last character is greater than that of ".".
QString ErrorBoxText(const std::string& gbkMessage);

// What shows the error box. The default is a modal message box (caption ApplicationTitle,
// error icon, OK button); tests install their own to read the text instead.
using ErrorPresenter = std::function<void(QWidget* parent, const QString& text)>;

// Installs presenter (an empty one restores the default) and returns the one it replaces.
ErrorPresenter SetErrorPresenter(ErrorPresenter presenter);

// Shows the error box for a message of GBK bytes.
void ShowErrorBox(const std::string& gbkMessage, QWidget* parent = nullptr);

// Shows the error box for the exception that is being handled (call it inside a catch block).
void ShowCurrentException(QWidget* parent = nullptr);

// The one guard every event handler runs through: a failure ends the handler and is shown in
// the error box; no exception ever reaches Qt's event loop.
template <typename Handler> void RunGuarded(QWidget* parent, Handler&& handler) noexcept {
    try {
        std::forward<Handler>(handler)();
    } catch (...) {
        ShowCurrentException(parent);
    }
}

} // namespace tarnwick
