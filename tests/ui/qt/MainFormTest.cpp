// The main window, the tray menu and the program's start and end, over the fake notification
// area and a registry stand-in in a temporary XDG_CONFIG_HOME.
#include "FakeTray.h"
#include "forms/Application.h"
#include "forms/ErrorBox.h"
#include "forms/mainUnit.h"
#include "forms/setParamUnit.h"
#include "platform/CurrentUserRegistry.h"
#include "proxyconfig/ProxySwitch.h"
#include "proxyconfig/Settings.h"
#include "rules/CodePage.h"
#include "trayicon/NotifyIcon.h"
#include "ui/qt/QtFrontEnd.h"
#include "ui/qt/QtMainForm.h"
#include "ui/qt/QtSetParamForm.h"

#include <QAction>
#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>

#include <csignal>
#include <fstream>
#include <map>
#include <memory>

using namespace tarnwick;

namespace {

constexpr IconHandle BluePicture = 100; // ImageList1 image 0 in the fake
constexpr IconHandle GreyPicture = 101; // image 1

std::string ReadText(const char* key, const char* name) {
    auto registry = CurrentUserRegistry()();
    if (!registry->openKey(key, false))
        return "<no key>";
    return registry->readString(name);
}

std::int32_t ReadNumber(const char* key, const char* name) {
    auto registry = CurrentUserRegistry()();
    if (!registry->openKey(key, false))
        return -1;
    return registry->readInteger(name);
}

} // namespace

class MainFormTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> dir;
    std::unique_ptr<fake::FakeTrayPlatform> tray;
    std::unique_ptr<QtFrontEnd> frontEnd;
    std::unique_ptr<TApplication> app;
    std::map<QWidget*, WindowHandle> windows;
    QStringList errors;
    QList<QUrl> opened;

    std::string folder() const { return dir->path().toStdString() + "/app/"; }

    // Starts the program as the entry does, up to the message loop.
    QtMainForm* start() {
        QtServices services;
        services.tray.platform = tray.get();
        services.tray.window = [this](QWidget* widget) {
            auto found = windows.find(widget);
            if (found == windows.end())
                found = windows.emplace(widget, tray->CreateWindow()).first;
            return found->second;
        };
        services.tray.imageList = [](const std::vector<QIcon>& icons) {
            return std::make_unique<fake::FakeImageList>(static_cast<int>(icons.size()),
                                                         BluePicture);
        };
        services.tray.iconImage = [](const QIcon&) {
            return std::make_unique<fake::FakeIconImage>(7);
        };
        services.tray.registerMainForm = [this](QWidget* form) {
            tray->mainForm = services_window(form);
        };
        services.openUrl = [this](const QUrl& url) { opened << url; };
        frontEnd = std::make_unique<QtFrontEnd>(std::move(services));
        SetErrorPresenter([this](FormView*, const std::string& text) {
            errors << QString::fromStdString(Utf8FromGbk(text));
        });
        ApplicationServices machine;
        machine.tray = tray.get();
        machine.registry = CurrentUserRegistry();
        machine.executableFolder = folder();
        app = std::make_unique<TApplication>(*frontEnd, std::move(machine));
        app->SetHintPause(100);
        app->SetShowHint(true);
        app->Initialize();
        app->SetTitle("Tarnwick");
        QtMainForm* form = &WidgetOf(*app->CreateMainForm());
        app->CreateSetParamForm();
        app->ShowMainFormAtStart();
        return form;
    }

    TMainForm& behaviour() { return *app->MainForm(); }
    QtSetParamForm& editor() { return WidgetOf(*app->SetParamForm()); }

    WindowHandle services_window(QWidget* widget) { return windows.at(widget); }

    // The icon's image as the notification area shows it now.
    IconHandle shownPicture() {
        for (const auto& [key, record] : tray->icons)
            return record.hIcon;
        return 0;
    }

    // Runs body while the rule editor is open modally from the toolbar, then lets the
    // editor's modal run end (cancel, unless body ended it).
    void whileEditorOpen(QtMainForm* form, std::function<void()> body, bool viaMenu = false) {
        bool ran = false;
        QTimer::singleShot(0, [&] {
            QTRY_VERIFY(editor().isVisible());
            body();
            ran = true;
            app->SetParamForm()->Cancel();
        });
        if (viaMenu)
            form->MSetting->trigger();
        else
            form->ToolButtonSet->click();
        QVERIFY(ran);
    }

    void activate(QtMainForm* form) {
        form->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(form));
    }

private slots:
    void init() {
        dir = std::make_unique<QTemporaryDir>();
        QVERIFY(dir->isValid());
        QVERIFY(QDir(dir->path()).mkpath(QStringLiteral("app")));
        qputenv("XDG_CONFIG_HOME", (dir->path() + QStringLiteral("/config")).toLocal8Bit());
        tray = std::make_unique<fake::FakeTrayPlatform>();
        windows.clear();
        errors.clear();
        opened.clear();
    }

    void cleanup() {
        app.reset();
        frontEnd.reset();
        tray.reset();
        SetErrorPresenter({});
    }

    void layoutHasItsComponentsAndTexts() {
        QtMainForm* form = start();
        QCOMPARE(form->objectName(), QStringLiteral("MainForm"));
        QCOMPARE(form->windowTitle(), QStringLiteral("Tarnwick"));
        QVERIFY(!(form->windowFlags() & Qt::WindowMaximizeButtonHint));
        for (const char* name : {"ToolBar1", "ToolButtonSet", "ToolButtonSwitch", "ToolButtonHelp",
                                 "ToolButton2", "ToolButtonExit", "Label1", "CheckBoxStartHidden",
                                 "CheckBoxStartAtLogin", "PopupMenu1"})
            QVERIFY2(form->findChild<QObject*>(QLatin1String(name)), name);
        QCOMPARE(form->CheckBoxStartAtLogin->text(), QStringLiteral("登录时自动启动"));
        // The window grows to hold the boxes below the layout's own.
        for (QCheckBox* box : form->findChildren<QCheckBox*>())
            QVERIFY2(form->rect().contains(box->geometry()), qPrintable(box->objectName()));
        QCOMPARE(form->ToolButtonSwitch->toolTip(), QStringLiteral("禁用IETarnwick"));
        QVERIFY(form->ToolButtonSwitch->isCheckable());
        QStringList captions;
        for (QAction* item : form->PopupMenu1->actions())
            captions << (item->isSeparator() ? QStringLiteral("-") : item->text());
        QCOMPARE(captions, (QStringList{QStringLiteral("主界面"), QStringLiteral("设置"),
                                        QStringLiteral("-"), QStringLiteral("禁用"),
                                        QStringLiteral("-"), QStringLiteral("退出")}));
        QCOMPARE(form->N2->objectName(), QStringLiteral("N2"));
        QCOMPARE(form->ImageList2.size(), std::size_t{4});
        QCOMPARE(form->ImageList1Icons.size(), std::size_t{2});
        // Every picture at its size and at twice it: a picture the build did not draw would
        // leave a blank button or tray icon.
        for (const QIcon& picture : form->ImageList2)
            QCOMPARE(picture.availableSizes(), (QList<QSize>{{32, 32}, {64, 64}}));
        for (const QIcon& emblem : form->ImageList1Icons) {
            QCOMPARE(emblem.availableSizes().size(), 7);
            QVERIFY(emblem.availableSizes().contains(QSize(16, 16)));
            QVERIFY(emblem.availableSizes().contains(QSize(44, 44)));
        }
        QCOMPARE(form->font().pixelSize(), 11);

        // The toolbar spans the window, whatever its width.
        QCOMPARE(form->ToolBar1->width(), form->width());
        for (int width : {520, 250}) {
            form->resize(width, form->height());
            QCOMPARE(form->ToolBar1->width(), width);
        }
    }

    // Each component reaches its handler; what the handlers do is tested once, over the fake
    // front end.
    void componentsReachTheBehaviour() {
        QtMainForm* form = start();
        QVERIFY(form->isVisible());
        QCOMPARE(tray->IconCount(), std::size_t{1});
        QCOMPARE(shownPicture(), BluePicture);
        // Served by default: the switch points at the loopback server.
        const std::string url = ReadText(InternetSettingsKey, "AutoConfigURL");
        QVERIFY2(url.rfind("http://127.0.0.1:", 0) == 0, url.c_str());
        QVERIFY2(url.find("/IETarnwick.pac?v=") != std::string::npos, url.c_str());

        form->ToolButtonSwitch->click();
        QVERIFY(form->ToolButtonSwitch->isChecked());
        QCOMPARE(ReadText(InternetSettingsKey, "AutoConfigURL"), std::string());
        QCOMPARE(ReadNumber(InternetSettingsKey, "EnableAutoProxyResultCache"), 1);
        QCOMPARE(ReadNumber(InternetSettingsPoliciesKey, "EnableAutoProxyResultCache"), 1);
        QCOMPARE(shownPicture(), GreyPicture);
        QCOMPARE(form->MSwitch->text(), QStringLiteral("启用"));
        QCOMPARE(behaviour().ProxyEnabled, 0);

        form->ToolButtonSwitch->click();
        QVERIFY(!form->ToolButtonSwitch->isChecked());
        QCOMPARE(ReadText(InternetSettingsKey, "AutoConfigURL"), url);
        QCOMPARE(shownPicture(), BluePicture);
        QCOMPARE(form->MSwitch->text(), QStringLiteral("禁用"));
        QCOMPARE(behaviour().ProxyEnabled, 1);

        form->MSwitch->trigger();
        QVERIFY(form->ToolButtonSwitch->isChecked());
        QCOMPARE(ReadText(InternetSettingsKey, "AutoConfigURL"), std::string());

        // Start at login goes to the desktop's autostart folder (here the temporary one).
        const QString entry = dir->path() + QStringLiteral("/config/autostart/tarnwick.desktop");
        form->CheckBoxStartAtLogin->click();
        QVERIFY(QFile::exists(entry));
        form->CheckBoxStartAtLogin->click();
        QVERIFY(!QFile::exists(entry));

        form->CheckBoxStartHidden->click();
        form->ToolButtonExit->click();
        QVERIFY(app->Terminated());
        app->DestroyForms();
        QCOMPARE(ReadSetting(CurrentUserRegistry(), "startHidden"), std::string("true"));
        QVERIFY(errors.isEmpty());
    }

    void switchOffFromTrayBeforeFirstShowing() {
        WriteSetting(CurrentUserRegistry(), "startHidden", "true");
        QtMainForm* form = start();
        form->MSwitch->trigger();
        QCOMPARE(ReadText(InternetSettingsKey, "AutoConfigURL"), std::string());

        form->MMainInterface->trigger();
        QVERIFY(form->isVisible());
        activate(form);
        QCOMPARE(form->MSwitch->text(), QStringLiteral("启用"));
        QVERIFY(form->CheckBoxStartHidden->isChecked());
        form->MSwitch->trigger();
        QVERIFY(ReadText(InternetSettingsKey, "AutoConfigURL").rfind("http://127.0.0.1:", 0) == 0);
        QCOMPARE(behaviour().NotifyIcon().IconIndex(), 0);
    }

    // Coming back from another program's window, or showing the hidden window again, is no
    // change of the program's active window: FormActivate (which sets MSwitch's caption) does
    // not run again, as on Windows.
    void activationRunsOnlyWhenTheProgramsActiveWindowChanges() {
        QtMainForm* form = start();
        activate(form);
        QCOMPARE(form->MSwitch->text(), QStringLiteral("禁用"));
        const QString marker = QStringLiteral("marker");
        form->MSwitch->setText(marker);

        QWidget other;
        other.resize(200, 100);
        other.show();
        other.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&other));
        activate(form);
        QCOMPARE(form->MSwitch->text(), marker);
        QVERIFY(form->close() == false);
        form->MMainInterface->trigger();
        activate(form);
        QCOMPARE(form->MSwitch->text(), marker);
    }

    void closingHidesAndTheMenuShowsAgain() {
        QtMainForm* form = start();
        QVERIFY(form->close() == false);
        QVERIFY(!form->isVisible());
        QCOMPARE(tray->IconCount(), std::size_t{1});
        QVERIFY(!app->Terminated());
        form->MMainInterface->trigger();
        QVERIFY(form->isVisible());
    }

    void settingsWhileEditorOpenOpensNoSecond() {
        QtMainForm* form = start();
        whileEditorOpen(form, [&] {
            QtSetParamForm* editor = &this->editor();
            editor->showMaximized();
            QVERIFY(editor->isMaximized());
            // Returns at once: no second modal run, and the editor is back at normal size.
            form->MSetting->trigger();
            QVERIFY(editor->isVisible());
            QVERIFY(!editor->isMaximized());
            editor->showMaximized();
        });
        // Maximised when it was closed, normal at the next opening.
        whileEditorOpen(
            form, [&] { QVERIFY(!editor().isMaximized()); }, true);
        QVERIFY(errors.isEmpty());
    }

    void exitWithEditorOpenCancelsItAndEnds() {
        QtMainForm* form = start();
        const std::string pac = folder() + "IETarnwick.pac";
        whileEditorOpen(form, [&] {
            form->MExit->trigger();
            QVERIFY(!editor().isVisible());
        });
        QVERIFY(app->Terminated());
        QVERIFY(!std::ifstream(pac).good()); // no OK processing
        app->DestroyForms();
        QCOMPARE(tray->IconCount(), std::size_t{0});
        QCOMPARE(ReadSetting(CurrentUserRegistry(), "startHidden"), std::string("false"));
        // The switch is left as it was.
        QCOMPARE(ReadText(InternetSettingsKey, "AutoConfigURL"), "file://" + pac);
    }

    void terminationSignalEndsTheProgram_data() {
        QTest::addColumn<int>("signal");
        QTest::newRow("SIGTERM") << SIGTERM;
        QTest::newRow("SIGINT") << SIGINT;
        QTest::newRow("SIGHUP") << SIGHUP;
    }

    // Each signal on its own ends the running loop the way Exit does.
    void terminationSignalEndsTheProgram() {
        QFETCH(int, signal);
        start();
        QVERIFY(!app->Terminated());
        QTimer::singleShot(0, [signal] { std::raise(signal); });
        // A signal that is not handled would end the test program; one that is handled but
        // lost would leave the loop running until this.
        QObject bound;
        QTimer::singleShot(10000, &bound, [] { QCoreApplication::exit(1); });
        QCOMPARE(app->Run(), 0);
        QVERIFY(app->Terminated());
        QCOMPARE(tray->IconCount(), std::size_t{0});
        QCOMPARE(ReadSetting(CurrentUserRegistry(), "startHidden"), std::string("false"));
    }

    void endOfTheSessionEndsTheProgram() {
        QtMainForm* form = start();
        // The platform's request to quit: answered by ending, not by the hiding close.
        whileEditorOpen(form, [&] {
            QEvent quit(QEvent::Quit);
            QCoreApplication::sendEvent(qApp, &quit);
            QVERIFY(!editor().isVisible());
        });
        QVERIFY(app->Terminated());
        QVERIFY(form->isVisible());
    }

    void labelAndHelpOpenWithTheShell() {
        QtMainForm* form = start();
        QEvent enter(QEvent::Enter);
        QCoreApplication::sendEvent(form->Label1, &enter);
        QVERIFY(form->Label1->font().underline());
        QEvent leave(QEvent::Leave);
        QCoreApplication::sendEvent(form->Label1, &leave);
        QVERIFY(!form->Label1->font().underline());

        QTest::mouseClick(form->Label1, Qt::LeftButton);
        form->ToolButtonHelp->click();
        QCOMPARE(opened.size(), 2);
        QCOMPARE(opened[0].scheme(), QStringLiteral("mailto"));
        QCOMPARE(opened[1],
                 QUrl::fromLocalFile(QString::fromStdString(folder() + "Help/help.chm")));
        QVERIFY(errors.isEmpty()); // a missing help file reports nothing
    }
};

QTEST_MAIN(MainFormTest)
#include "MainFormTest.moc"
