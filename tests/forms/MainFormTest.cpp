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
#include "trayicon/NotifyIcon.h"

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QMenu>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QUrl>

#include <csignal>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>

using namespace tarnwick;

namespace {

constexpr IconHandle BluePicture = 100; // ImageList1 image 0 in the fake
constexpr IconHandle GreyPicture = 101; // image 1

// A registry whose every write fails, for the switch's failure path.
class RefusingKey : public RegistryKey {
public:
    bool setValue(const std::string&, RegistryValueType, std::string_view) override {
        return false;
    }
    std::optional<RegistryDataInfo> queryValueInfo(const std::string&) override { return {}; }
    std::optional<RegistryValue> readValue(const std::string&) override { return {}; }
};
class RefusingRegistry : public RegistryBackend {
public:
    std::unique_ptr<RegistryKey> openKey(RegistryKey*, const std::string&, bool) override {
        return std::make_unique<RefusingKey>();
    }
};

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
    std::unique_ptr<TApplication> app;
    std::map<QWidget*, WindowHandle> windows;
    QStringList errors;
    QList<QUrl> opened;
    bool refuseWrites = false;

    std::string folder() const { return dir->path().toStdString() + "/app/"; }

    // Starts the program as the entry does, up to the message loop.
    TMainForm* start() {
        ApplicationServices services;
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
        services.registry = [this] {
            if (refuseWrites)
                return std::make_unique<RegistryAccessor>(std::make_unique<RefusingRegistry>());
            return CurrentUserRegistry()();
        };
        services.executableFolder = folder();
        services.openUrl = [this](const QUrl& url) { opened << url; };
        app = std::make_unique<TApplication>(std::move(services));
        app->SetHintPause(100);
        app->SetShowHint(true);
        app->Initialize();
        app->SetTitle(QStringLiteral("Tarnwick"));
        TMainForm* form = app->CreateMainForm();
        app->CreateSetParamForm();
        app->ShowMainFormAtStart();
        return form;
    }

    WindowHandle services_window(QWidget* widget) { return windows.at(widget); }

    // The icon's image as the notification area shows it now.
    IconHandle shownPicture() {
        for (const auto& [key, record] : tray->icons)
            return record.hIcon;
        return 0;
    }

    // Runs body while the rule editor is open modally from the toolbar, then lets the
    // editor's modal run end (cancel, unless body ended it).
    void whileEditorOpen(TMainForm* form, std::function<void()> body, bool viaMenu = false) {
        bool ran = false;
        QTimer::singleShot(0, [&] {
            QTRY_VERIFY(app->SetParamForm()->isVisible());
            body();
            ran = true;
            if (app->SetParamForm()->isVisible())
                app->SetParamForm()->cancel();
        });
        if (viaMenu)
            form->MSetting->trigger();
        else
            form->ToolButtonSet->click();
        QVERIFY(ran);
    }

    void activate(TMainForm* form) {
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
        refuseWrites = false;
        SetErrorPresenter([this](QWidget*, const QString& text) { errors << text; });
    }

    void cleanup() {
        app.reset();
        tray.reset();
        SetErrorPresenter({});
    }

    void startTurnsTheSwitchOnAndShowsTheWindow() {
        // A switch left off by another run is turned on by every start.
        ApplyProxySwitch(CurrentUserRegistry(), false, "", DesktopProxyStores());
        TMainForm* form = start();

        const std::string url = "file://" + folder() + "IETarnwick.pac";
        QCOMPARE(PacFilePath, folder() + "IETarnwick.pac");
        QCOMPARE(PacFileUrl, url);
        QCOMPARE(form->HelpFile, folder() + "Help/help.chm");
        QCOMPARE(ReadText(InternetSettingsKey, "AutoConfigURL"), url);
        QCOMPARE(ReadNumber(InternetSettingsKey, "EnableAutoProxyResultCache"), 0);
        QCOMPARE(ReadNumber(InternetSettingsPoliciesKey, "EnableAutoProxyResultCache"), 0);

        QVERIFY(!form->ToolButtonSwitch->isChecked());
        QCOMPARE(form->MSwitch->text(), QStringLiteral("禁用"));
        QCOMPARE(form->NotifyIcon1->IconIndex(), 0);
        QCOMPARE(shownPicture(), BluePicture);
        QCOMPARE(form->ProxyEnabled, 1);
        QCOMPARE(tray->IconCount(), std::size_t{1});
        QVERIFY(form->NotificationAreaAvailable());
        QVERIFY(form->isVisible());
        QVERIFY(!form->CheckBoxStartHidden->isChecked());
        QVERIFY(errors.isEmpty());
    }

    void layoutHasItsComponentsAndTexts() {
        TMainForm* form = start();
        QCOMPARE(form->objectName(), QStringLiteral("MainForm"));
        QCOMPARE(form->windowTitle(), QStringLiteral("Tarnwick"));
        QVERIFY(!(form->windowFlags() & Qt::WindowMaximizeButtonHint));
        for (const char* name :
             {"ToolBar1", "ToolButtonSet", "ToolButtonSwitch", "ToolButtonHelp", "ToolButton2",
              "ToolButtonExit", "Label1", "CheckBoxStartHidden", "PopupMenu1"})
            QVERIFY2(form->findChild<QObject*>(QLatin1String(name)), name);
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
        QCOMPARE(form->font().pixelSize(), 11);
    }

    void toolbarSwitchTwiceTurnsOffThenOn() {
        TMainForm* form = start();
        const std::string url = ReadText(InternetSettingsKey, "AutoConfigURL");

        form->ToolButtonSwitch->click();
        QVERIFY(form->ToolButtonSwitch->isChecked());
        QCOMPARE(ReadText(InternetSettingsKey, "AutoConfigURL"), std::string());
        QCOMPARE(ReadNumber(InternetSettingsKey, "EnableAutoProxyResultCache"), 1);
        QCOMPARE(ReadNumber(InternetSettingsPoliciesKey, "EnableAutoProxyResultCache"), 1);
        QCOMPARE(shownPicture(), GreyPicture);
        QCOMPARE(form->MSwitch->text(), QStringLiteral("启用"));
        QCOMPARE(form->ProxyEnabled, 0);

        form->ToolButtonSwitch->click();
        QVERIFY(!form->ToolButtonSwitch->isChecked());
        QCOMPARE(ReadText(InternetSettingsKey, "AutoConfigURL"), url);
        QCOMPARE(shownPicture(), BluePicture);
        QCOMPARE(form->MSwitch->text(), QStringLiteral("禁用"));
        QCOMPARE(form->ProxyEnabled, 1);
    }

    void menuSwitchItemFollowsItsCaption() {
        TMainForm* form = start();
        form->MSwitch->trigger();
        QCOMPARE(ReadText(InternetSettingsKey, "AutoConfigURL"), std::string());
        QVERIFY(form->ToolButtonSwitch->isChecked());
        QCOMPARE(form->NotifyIcon1->IconIndex(), 1);
        QCOMPARE(form->MSwitch->text(), QStringLiteral("启用"));

        // Only the caption's beginning counts: a suffix the menu adds does not disturb it.
        form->MSwitch->setText(QStringLiteral("启用(&E)"));
        form->MSwitch->trigger();
        QCOMPARE(ReadText(InternetSettingsKey, "AutoConfigURL"), PacFileUrl);
        QCOMPARE(form->NotifyIcon1->IconIndex(), 0);
        form->MSwitch->setText(QStringLiteral("禁用(&D)"));
        form->MSwitch->trigger();
        QCOMPARE(form->ProxyEnabled, 0);
    }

    void failedToolbarSwitchPutsTheButtonBack() {
        TMainForm* form = start();
        refuseWrites = true;
        form->ToolButtonSwitch->click();
        QCOMPARE(errors, QStringList{QStringLiteral("Failed to set data for 'AutoConfigURL'")});
        // All three indicators and the record agree with the switch, which is still on.
        QVERIFY(!form->ToolButtonSwitch->isChecked());
        QCOMPARE(form->MSwitch->text(), QStringLiteral("禁用"));
        QCOMPARE(form->NotifyIcon1->IconIndex(), 0);
        QCOMPARE(form->ProxyEnabled, 1);
        QCOMPARE(ReadText(InternetSettingsKey, "AutoConfigURL"), PacFileUrl);

        // The same from the off state.
        refuseWrites = false;
        form->ToolButtonSwitch->click();
        refuseWrites = true;
        form->ToolButtonSwitch->click();
        QVERIFY(form->ToolButtonSwitch->isChecked());
        QCOMPARE(form->ProxyEnabled, 0);
        QCOMPARE(form->NotifyIcon1->IconIndex(), 1);
    }

    void failuresAtCreationAndExitAreShownAndTheRestGoesOn() {
        refuseWrites = true;
        TMainForm* form = start();
        QCOMPARE(errors, QStringList{QStringLiteral("Failed to set data for 'AutoConfigURL'")});
        QVERIFY(form->isVisible());
        QCOMPARE(tray->IconCount(), std::size_t{1});
        app->DestroyForms();
        QCOMPARE(errors.size(), 2);
        QCOMPARE(errors[1], QStringLiteral("Failed to set data for 'startHidden'"));
        QCOMPARE(tray->IconCount(), std::size_t{0});
    }

    void startHiddenShowsOnlyTheIcon() {
        WriteSetting(CurrentUserRegistry(), "startHidden", "true");
        TMainForm* form = start();
        QVERIFY(!form->isVisible());
        QVERIFY(!tray->showMainForm);
        QCOMPARE(tray->IconCount(), std::size_t{1});
        QCOMPARE(ReadText(InternetSettingsKey, "AutoConfigURL"), PacFileUrl);
        // The box shows the preference from the start, so an exit without ever showing the
        // window keeps it.
        QVERIFY(form->CheckBoxStartHidden->isChecked());
        app->DestroyForms();
        QCOMPARE(ReadSetting(CurrentUserRegistry(), "startHidden"), std::string("true"));
    }

    void startHiddenValueComparesExactly() {
        WriteSetting(CurrentUserRegistry(), "startHidden", "TRUE");
        TMainForm* form = start();
        QVERIFY(form->isVisible());
        activate(form);
        QVERIFY(!form->CheckBoxStartHidden->isChecked());
    }

    void switchOffFromTrayBeforeFirstShowing() {
        WriteSetting(CurrentUserRegistry(), "startHidden", "true");
        TMainForm* form = start();
        form->MSwitch->trigger();
        QCOMPARE(ReadText(InternetSettingsKey, "AutoConfigURL"), std::string());

        form->MMainInterface->trigger();
        QVERIFY(form->isVisible());
        activate(form);
        QCOMPARE(form->MSwitch->text(), QStringLiteral("启用"));
        QVERIFY(form->CheckBoxStartHidden->isChecked());
        form->MSwitch->trigger();
        QCOMPARE(ReadText(InternetSettingsKey, "AutoConfigURL"), PacFileUrl);
        QCOMPARE(form->NotifyIcon1->IconIndex(), 0);
    }

    void closingHidesAndTheMenuShowsAgain() {
        TMainForm* form = start();
        QVERIFY(form->close() == false);
        QVERIFY(!form->isVisible());
        QCOMPARE(tray->IconCount(), std::size_t{1});
        QVERIFY(!app->Terminated());
        form->MMainInterface->trigger();
        QVERIFY(form->isVisible());
    }

    void untickedBoxSurvivesHideShowAndEditor() {
        WriteSetting(CurrentUserRegistry(), "startHidden", "true");
        TMainForm* form = start();
        form->MMainInterface->trigger();
        activate(form);
        QVERIFY(form->CheckBoxStartHidden->isChecked());

        form->CheckBoxStartHidden->click();
        QVERIFY(!form->CheckBoxStartHidden->isChecked());
        form->close();
        form->MMainInterface->trigger();
        activate(form);
        whileEditorOpen(form, [] {});
        activate(form);
        QVERIFY(!form->CheckBoxStartHidden->isChecked());

        app->DestroyForms();
        QCOMPARE(ReadSetting(CurrentUserRegistry(), "startHidden"), std::string("false"));
    }

    void settingsWhileEditorOpenOpensNoSecond() {
        TMainForm* form = start();
        whileEditorOpen(form, [&] {
            TsetParamForm* editor = app->SetParamForm();
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
            form, [&] { QVERIFY(!app->SetParamForm()->isMaximized()); }, true);
        QVERIFY(errors.isEmpty());
    }

    void exitWithEditorOpenCancelsItAndEnds() {
        TMainForm* form = start();
        const std::string pac = folder() + "IETarnwick.pac";
        whileEditorOpen(form, [&] {
            form->MExit->trigger();
            QVERIFY(!app->SetParamForm()->isVisible());
        });
        QVERIFY(app->Terminated());
        QVERIFY(!std::ifstream(pac).good()); // no OK processing
        app->DestroyForms();
        QCOMPARE(tray->IconCount(), std::size_t{0});
        QCOMPARE(ReadSetting(CurrentUserRegistry(), "startHidden"), std::string("false"));
        // The switch is left as it was.
        QCOMPARE(ReadText(InternetSettingsKey, "AutoConfigURL"), "file://" + pac);
    }

    void exitLeavesASwitchThatIsOffOff() {
        TMainForm* form = start();
        form->ToolButtonSwitch->click();
        form->ToolButtonExit->click();
        QVERIFY(app->Terminated());
        app.reset();
        QCOMPARE(ReadText(InternetSettingsKey, "AutoConfigURL"), std::string());
        QCOMPARE(ReadNumber(InternetSettingsKey, "EnableAutoProxyResultCache"), 1);
    }

    void terminationSignalEndsTheProgram() {
        start();
        QVERIFY(!app->Terminated());
        std::raise(SIGTERM);
        QTRY_VERIFY(app->Terminated());
        std::raise(SIGHUP);
        QTest::qWait(10);
        QVERIFY(app->Terminated());
    }

    void endOfTheSessionEndsTheProgram() {
        TMainForm* form = start();
        // The platform's request to quit: answered by ending, not by the hiding close.
        whileEditorOpen(form, [&] {
            QEvent quit(QEvent::Quit);
            QCoreApplication::sendEvent(qApp, &quit);
            QVERIFY(!app->SetParamForm()->isVisible());
        });
        QVERIFY(app->Terminated());
        QVERIFY(form->isVisible());
    }

    void withoutNotificationAreaTheWindowStaysReachable() {
        tray->trayAvailable = false;
        WriteSetting(CurrentUserRegistry(), "startHidden", "true");
        TMainForm* form = start();
        QVERIFY(!form->NotificationAreaAvailable());
        QVERIFY(form->isVisible());
        QVERIFY(!form->NotifyIcon1->MinimizeToTray());
        form->close();
        QVERIFY(form->isVisible());
        QVERIFY(form->isMinimized());

        // A notification area that comes later takes the icon, and closing hides again.
        tray->trayAvailable = true;
        tray->BroadcastTaskbarCreated();
        QCOMPARE(tray->IconCount(), std::size_t{1});
        QVERIFY(form->NotificationAreaAvailable());
        QVERIFY(form->NotifyIcon1->MinimizeToTray());
        form->showNormal();
        form->close();
        QVERIFY(!form->isVisible());
        // The preference itself is kept.
        app->DestroyForms();
        QCOMPARE(ReadSetting(CurrentUserRegistry(), "startHidden"), std::string("true"));
    }

    void startHiddenOfWrongTypeShowsTheWindowAndTheError() {
        {
            auto registry = CurrentUserRegistry()();
            QVERIFY(registry->openKey(SettingsKey, true));
            registry->writeInteger("startHidden", 1);
        }
        TMainForm* form = start();
        QVERIFY(form->isVisible());
        QVERIFY(errors.isEmpty()); // not while the window is being created
        // The box adds no full stop after a quote, whose code is below that of ".".
        QTRY_COMPARE(errors, QStringList{QStringLiteral("Invalid data type for 'startHidden'")});
        QCOMPARE(ReadText(InternetSettingsKey, "AutoConfigURL"), PacFileUrl);
        // Once, not again at the first activation.
        activate(form);
        QTest::qWait(20);
        QCOMPARE(errors.size(), 1);
        QVERIFY(!form->CheckBoxStartHidden->isChecked());
    }

    void labelAndHelpOpenWithTheShell() {
        TMainForm* form = start();
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
