#include "forms/ErrorBox.h"
#include "rules/CodePage.h"
#include "rules/Error.h"
#include "ui/qt/QtErrorBox.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include <stdexcept>

using namespace tarnwick;

class ErrorBoxTest : public QObject {
    Q_OBJECT

private slots:
    void fullStopFollowsTheLastCharacter_data();
    void fullStopFollowsTheLastCharacter();
    void guardShowsEveryKindOfFailure();
    void defaultBoxIsTheApplicationsErrorBox();
};

void ErrorBoxTest::fullStopFollowsTheLastCharacter_data() {
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("shown");
    QTest::newRow("ends in a full stop") << "unkown valTypes."
                                         << "unkown valTypes.";
    QTest::newRow("ends in a letter") << "File access denied"
                                      << "File access denied.";
    QTest::newRow("ends in a digit") << "I/O error 28"
                                     << "I/O error 28.";
    QTest::newRow("ends below the full stop") << "Stop!"
                                              << "Stop!";
    QTest::newRow("ends in a hyphen") << "a-"
                                      << "a-";
    QTest::newRow("ends in a slash") << "a/"
                                     << "a/.";
    QTest::newRow("Chinese") << QStringLiteral("子网") << QStringLiteral("子网.");
    QTest::newRow("empty") << ""
                           << "";
}

void ErrorBoxTest::fullStopFollowsTheLastCharacter() {
    QFETCH(QString, message);
    QFETCH(QString, shown);
    QCOMPARE(QString::fromStdString(Utf8FromGbk(ErrorBoxText(GbkFromUtf8(message.toStdString())))),
             shown);
}

void ErrorBoxTest::guardShowsEveryKindOfFailure() {
    QStringList shown;
    const ErrorPresenter previous = SetErrorPresenter([&](FormView*, const std::string& text) {
        shown << QString::fromStdString(Utf8FromGbk(text));
    });

    RunGuarded(nullptr, [] {});
    RunGuarded(nullptr, [] { throw IoError(5); });
    RunGuarded(nullptr, [] { throw Error("unkown valTypes."); });
    RunGuarded(nullptr, [] { throw std::runtime_error("broken"); });
    RunGuarded(nullptr, [] { throw 42; });
    // The failing step ends the handler: what follows it does not run.
    bool after = false;
    RunGuarded(nullptr, [&] {
        throw IoError(101);
        after = true;
    });

    SetErrorPresenter(previous);
    QCOMPARE(shown, (QStringList{"File access denied.", "unkown valTypes.", "broken.",
                                 "Unknown error.", "Disk full."}));
    QVERIFY(!after);
}

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
    ShowErrorBox("File access denied");
    QCOMPARE(caption, QStringLiteral("Tarnwick"));
    QCOMPARE(text, QStringLiteral("File access denied."));
    QCOMPARE(icon, QMessageBox::Critical);
    QCOMPARE(buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
}

QTEST_MAIN(ErrorBoxTest)
#include "ErrorBoxTest.moc"
