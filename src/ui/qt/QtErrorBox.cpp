#include "ui/qt/ErrorBox.h"

#include "ui/qt/GbkText.h"
#include "rules/Error.h"

#include <QMessageBox>

#include <new>
#include <utility>

namespace tarnwick {

namespace {

void ShowMessageBox(QWidget* parent, const QString& text) {
    QMessageBox box(QMessageBox::Critical, QString::fromLatin1(ApplicationTitle), text,
                    QMessageBox::Ok, parent);
    box.exec();
}

ErrorPresenter& Presenter() {
    static ErrorPresenter presenter = ShowMessageBox;
    return presenter;
}

} // namespace

QString ErrorBoxText(const std::string& gbkMessage) {
    std::string text = gbkMessage;
    // Compared as a byte of the code page, as the message is held.
    if (!text.empty() && static_cast<unsigned char>(text.back()) > static_cast<unsigned char>('.'))
        text += '.';
    return FromGbk(text);
}

ErrorPresenter SetErrorPresenter(ErrorPresenter presenter) {
    ErrorPresenter previous = std::exchange(Presenter(), std::move(presenter));
    if (!Presenter())
        Presenter() = ShowMessageBox;
    return previous;
}

void ShowErrorBox(const std::string& gbkMessage, QWidget* parent) {
    // Showing the box must not throw either: it runs inside the guard's catch block.
    try {
        const ErrorPresenter presenter = Presenter();
        presenter(parent, ErrorBoxText(gbkMessage));
    } catch (...) {
    }
}

void ShowCurrentException(QWidget* parent) {
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
