#include "forms/ErrorBox.h"
#include "rules/CodePage.h"
#include "rules/Error.h"
#include "ui/qt/QtErrorBox.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

using namespace tarnwick;

class ErrorBoxTest : public QObject {
    Q_OBJECT

private slots:
    void defaultBoxIsTheApplicationsErrorBox();
};

void ErrorBoxTest::defaultBoxIsTheApplicationsErrorBox() {
    InstallQtErrorBox();
    QString caption;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box)
            return;
        caption = box->windowTitle();
        text = box->text();
        icon = box->icon();
        buttons = box->standardButtons();
        box->button(QMessageBox::Ok)->click();
    });
    // A handler's failure, through the guard, shown with its GBK text converted.
    RunGuarded(nullptr, [] { throw Error(GbkFromUtf8("子网")); });
    QCOMPARE(caption, QStringLiteral("Tarnwick"));
    QCOMPARE(text, QStringLiteral("子网."));
    QCOMPARE(icon, QMessageBox::Critical);
    QCOMPARE(buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
}

QTEST_MAIN(ErrorBoxTest)
#include "ErrorBoxTest.moc"
