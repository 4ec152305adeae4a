#include "ui/qt/QtErrorBox.h"

#include "forms/ErrorBox.h"
#include "forms/FormViews.h"
#include "ui/qt/GbkText.h"

#include <QMessageBox>

namespace tarnwick {

void ShowQtErrorBox(QWidget* parent, const std::string& text) {
    QMessageBox box(QMessageBox::Critical, QString::fromLatin1(ApplicationTitle), FromGbk(text),
                    QMessageBox::Ok, parent);
    box.exec();
}

void InstallQtErrorBox() {
    SetErrorPresenter([](FormView* parent, const std::string& text) {
        // Every view of this front end is a widget.
        ShowQtErrorBox(dynamic_cast<QWidget*>(parent), text);
    });
}

} // namespace tarnwick
