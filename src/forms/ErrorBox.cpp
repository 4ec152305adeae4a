#include "forms/ErrorBox.h"

#include "rules/Error.h"

#include <cstdio>
#include <exception>
#include <new>

namespace tarnwick {

namespace {

void WriteToStandardError(FormView*, const std::string& text) {
    std::fprintf(stderr, "%s: %s\n", ApplicationTitle, text.c_str());
}

ErrorPresenter& Presenter() {
    static ErrorPresenter presenter = WriteToStandardError;
    return presenter;
}

} // namespace

std::string ErrorBoxText(const std::string& message) {
    std::string text = message;
    // Compared as a byte of the code page, as the message is held.
    if (!text.empty() && static_cast<unsigned char>(text.back()) > static_cast<unsigned char>('.'))
        text += '.';
    return text;
}

ErrorPresenter SetErrorPresenter(ErrorPresenter presenter) {
    ErrorPresenter previous = std::exchange(Presenter(), std::move(presenter));
    if (!Presenter())
        Presenter() = WriteToStandardError;
    return previous;
}

void ShowErrorBox(const std::string& message, FormView* parent) noexcept {
    // Showing the box must not throw either: it runs inside the guard's catch block.
    try {
        const ErrorPresenter presenter = Presenter();
        presenter(parent, ErrorBoxText(message));
    } catch (...) {
    }
}

void ShowCurrentException(FormView* parent) noexcept {
    try {
        throw;
    } catch (const Error& error) {
        ShowErrorBox(error.what(), parent);
    } catch (const std::bad_alloc&) {
        ShowErrorBox("Out of memory", parent);
    } catch (const std::exception& error) {
        ShowErrorBox(error.what(), parent);
    } catch (...) {
        ShowErrorBox("Unknown error", parent);
    }
}

} // namespace tarnwick
