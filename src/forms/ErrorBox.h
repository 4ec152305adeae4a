#pragma once

#include <functional>
#include <string>
#include <utility>

namespace tarnwick {

class FormView;

// The application's title, the caption of its error box.
inline constexpr const char* ApplicationTitle = "Tarnwick";

// The text the error box shows for a message (GBK bytes in and out): the message, with "."
// appended when the code of its last character is greater than that of ".".
std::string ErrorBoxText(const std::string& message);

// What shows the error box: a modal message box with the caption ApplicationTitle, the error
// icon and an OK button, over parent (null: no parent), text as ErrorBoxText made it (GBK).
// Each front end installs its own at start; tests install one that records the texts. Without
// one the text goes to the standard error stream.
using ErrorPresenter = std::function<void(FormView* parent, const std::string& text)>;

// Installs presenter (an empty one restores the default) and returns the one it replaces.
ErrorPresenter SetErrorPresenter(ErrorPresenter presenter);

// Shows the error box for a message of GBK bytes. Never throws.
void ShowErrorBox(const std::string& message, FormView* parent = nullptr) noexcept;

// Shows the error box for the exception being handled (call it inside a catch block).
void ShowCurrentException(FormView* parent = nullptr) noexcept;

// The one guard every event handler runs through: a failure ends the handler and is shown in
// the error box; no exception ever reaches a message loop.
template <typename Handler> void RunGuarded(FormView* parent, Handler&& handler) noexcept {
    try {
        std::forward<Handler>(handler)();
    } catch (...) {
        ShowCurrentException(parent);
    }
}

} // namespace tarnwick
