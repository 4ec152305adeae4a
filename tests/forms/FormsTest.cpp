// The windows' behaviour, once, over the fake front end: the main window, the program's start
// and end, the rule editor and the error guard. The front ends' own tests cover their wiring.
#include "FakeForms.h"
#include "FakePacServer.h"
#include "FakeRegistry.h"
#include "TestFiles.h"
#include "forms/Application.h"
#include "forms/ErrorBox.h"
#include "forms/FormLayouts.h"
#include "forms/mainUnit.h"
#include "forms/setParamUnit.h"
#include "pacserver/PacHttp.h"
#include "platform/StartAtLogin.h"
#include "proxyconfig/ProxySwitch.h"
#include "proxyconfig/Settings.h"
#include "rules/CodePage.h"
#include "rules/Error.h"
#include "rules/FileSystem.h"
#include "rules/PacScript.h"
#include "rules/RuleFile.h"
#include "trayicon/NotifyIcon.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

using namespace tarnwick;
using tarnwick::fake::FakeFrontEnd;
using tarnwick::fake::FakeMainForm;
using tarnwick::fake::FakeSetParamForm;
using tarnwick::fake::FakeTrayPlatform;
using Focus = FakeSetParamForm::Focus;

namespace {

constexpr IconHandle BluePicture = 100; // ImageList1 image 0 in the fake
constexpr IconHandle GreyPicture = 101; // image 1

#ifdef _WIN32
constexpr char Separator = '\\';
#else
constexpr char Separator = '/';
#endif

std::string Gbk(const char* utf8) {
    return GbkFromUtf8(utf8);
}

// Records the error box's texts (UTF-8) for the life of the object.
class ErrorRecorder {
public:
    ErrorRecorder() {
        previous_ = SetErrorPresenter(
            [this](FormView*, const std::string& text) { texts.push_back(Utf8FromGbk(text)); });
    }
    ~ErrorRecorder() { SetErrorPresenter(previous_); }
    std::vector<std::string> texts;

private:
    ErrorPresenter previous_;
};

// The desktop's start-at-login record, in memory; a failing one refuses every change.
class FakeStartAtLogin : public StartAtLogin {
public:
    bool IsOn() override { return on; }
    void SetOn(bool value) override {
        if (fail)
            throw IoError(5);
        on = value;
        ++changes;
    }
    bool on = false;
    bool fail = false;
    int changes = 0;
};

// ---------------------------------------------------------------------------------------
// The main window and the program's start and end

class MainForm : public ::testing::Test {
protected:
    std::string folder() const { return dir.path().string() + Separator; }

    // Starts the program as the entry does, up to the message loop.
    TMainForm& start() {
        ApplicationServices services;
        services.tray = &tray;
        services.registry = test::FakeRegistry(hive);
        services.executableFolder = folder();
        services.startAtLogin = login;
        services.desktopProxy = [] { return DesktopProxyStores(); };
        services.pacServer = [this](PacScriptSource) {
            return std::make_unique<test::FakePacServer>(ports);
        };
        app = std::make_unique<TApplication>(frontEnd, std::move(services));
        app->SetHintPause(100);
        app->SetShowHint(true);
        app->Initialize();
        app->SetTitle("Tarnwick");
        TMainForm& form = *app->CreateMainForm();
        app->CreateSetParamForm();
        app->ShowMainFormAtStart();
        return form;
    }

    FakeMainForm& view() { return *frontEnd.mainForm; }
    FakeSetParamForm& editor() { return *frontEnd.setParamForm; }
    std::string text(const char* key, const char* name) {
        auto registry = test::FakeRegistry(hive)();
        return registry->openKey(key, false) ? registry->readString(name) : "<no key>";
    }
    std::string stored(const char* name = "startHidden") {
        return ReadSetting(test::FakeRegistry(hive), name);
    }
    std::string switchUrl() { return text(InternetSettingsKey, "AutoConfigURL"); }
    // What the switch names while the script is served from the first port.
    std::string servedUrl() { return PacHttpUrl(DefaultPacPort, script()); }
    // The user ticks or unticks the box of serving the script.
    void clickServePac(bool on) {
        view().boxes[MainCheckBox::ServePac] = on;
        RunGuarded(&view(), [this] { app->MainForm()->CheckBoxClick(MainCheckBox::ServePac); });
    }
    std::string script() { return LocalFileSystem().readFile(PacFilePath).value_or(""); }
    std::size_t urlWrites() const {
        return static_cast<std::size_t>(
            std::count(hive.log.begin(), hive.log.end(), "set AutoConfigURL"));
    }
    void store(const char* value) { WriteSetting(test::FakeRegistry(hive), "startHidden", value); }
    IconHandle shownPicture() const {
        for (const auto& [key, record] : tray.icons)
            return record.hIcon;
        return 0;
    }
    // The switch as every indicator shows it: button, menu caption, icon image, record.
    void expectIndicators(bool on) {
        EXPECT_EQ(view().switchDown, !on);
        EXPECT_EQ(view().switchCaption, Gbk(on ? "禁用" : "启用"));
        EXPECT_EQ(app->MainForm()->NotifyIcon().IconIndex(), on ? 0 : 1);
        EXPECT_EQ(shownPicture(), on ? BluePicture : GreyPicture);
        EXPECT_EQ(app->MainForm()->ProxyEnabled, on ? 1 : 0);
    }

    test::TempFolder dir;
    test::FakeHive hive;
    test::FakePorts ports;
    FakeTrayPlatform tray;
    FakeFrontEnd frontEnd{tray};
    ErrorRecorder errors;
    std::shared_ptr<FakeStartAtLogin> login = std::make_shared<FakeStartAtLogin>();
    std::unique_ptr<TApplication> app;
};

TEST_F(MainForm, StartTurnsTheSwitchOnAndShowsTheWindow) {
    // A switch left off by another run is turned on by every start.
    ApplyProxySwitch(test::FakeRegistry(hive), false, "", DesktopProxyStores());
    TMainForm& form = start();

    EXPECT_EQ(PacFilePath, folder() + "IETarnwick.pac");
    EXPECT_EQ(PacFileUrl, "file://" + folder() + "IETarnwick.pac");
    EXPECT_EQ(form.HelpFile, folder() + "Help" + Separator + "help.chm");
    // Nothing stored: the script is served, and the choice is stored for the user to find.
    EXPECT_EQ(switchUrl(), PacHttpUrl(DefaultPacPort, ""));
    EXPECT_TRUE(view().Checked(MainCheckBox::ServePac));
    EXPECT_EQ(stored("servePac"), "true");
    EXPECT_EQ(ports.listening, 1);
    expectIndicators(true);
    EXPECT_EQ(tray.IconCount(), 1u);
    EXPECT_EQ(tray.mainForm, view().window);
    EXPECT_TRUE(form.NotificationAreaAvailable());
    EXPECT_TRUE(view().visible);
    EXPECT_FALSE(view().Checked(MainCheckBox::StartHidden));
    EXPECT_EQ(frontEnd.hintPause, 100);
    EXPECT_TRUE(frontEnd.hintsShown);
    EXPECT_EQ(frontEnd.title, "Tarnwick");
    EXPECT_TRUE(errors.texts.empty());
}

TEST_F(MainForm, SwitchFromTheButtonAndTheMenu) {
    TMainForm& form = start();
    const std::string url = text(InternetSettingsKey, "AutoConfigURL");

    view().ClickSwitch();
    EXPECT_EQ(text(InternetSettingsKey, "AutoConfigURL"), "");
    expectIndicators(false);
    view().ClickSwitch();
    EXPECT_EQ(text(InternetSettingsKey, "AutoConfigURL"), url);
    expectIndicators(true);

    form.Handle(&TMainForm::MSwitchClick);
    EXPECT_EQ(text(InternetSettingsKey, "AutoConfigURL"), "");
    expectIndicators(false);
    // Only the caption's beginning counts: a suffix the menu adds does not disturb it.
    view().switchCaption = Gbk("启用(&E)");
    form.Handle(&TMainForm::MSwitchClick);
    EXPECT_EQ(text(InternetSettingsKey, "AutoConfigURL"), url);
    view().switchCaption = Gbk("禁用(&D)");
    form.Handle(&TMainForm::MSwitchClick);
    expectIndicators(false);
    EXPECT_TRUE(errors.texts.empty());
}

TEST_F(MainForm, FailedSwitchPutsTheButtonBack) {
    start();
    hive.failingWrites.insert("AutoConfigURL");
    view().ClickSwitch();
    EXPECT_EQ(errors.texts, std::vector<std::string>{"Failed to set data for 'AutoConfigURL'"});
    // Every indicator and the record agree with the switch, which is still on.
    expectIndicators(true);

    // The same from the off state.
    hive.failingWrites.clear();
    view().ClickSwitch();
    hive.failingWrites.insert("AutoConfigURL");
    view().ClickSwitch();
    expectIndicators(false);
}

TEST_F(MainForm, FailuresAtCreationAndExitAreShownAndTheRestGoesOn) {
    hive.failingWrites = {"AutoConfigURL", "startHidden"};
    start();
    EXPECT_EQ(errors.texts, std::vector<std::string>{"Failed to set data for 'AutoConfigURL'"});
    EXPECT_TRUE(view().visible);
    EXPECT_EQ(tray.IconCount(), 1u);
    app->DestroyForms();
    ASSERT_EQ(errors.texts.size(), 2u);
    EXPECT_EQ(errors.texts[1], "Failed to set data for 'startHidden'");
    EXPECT_EQ(tray.IconCount(), 0u);
}

// The stored preference at start: whether the window shows, the box, and what exit saves.
TEST_F(MainForm, StartHiddenPreference) {
    struct Case {
        const char* stored;
        bool notificationArea;
        bool shown;
        bool ticked;
        const char* savedAtExit;
    };
    const Case cases[] = {
        {"true", true, false, true, "true"},
        // Compared exactly.
        {"TRUE", true, true, false, "false"},
        {"", true, true, false, "false"},
        // Without a notification area there is nothing to come back from: the window shows,
        // and the preference itself is kept.
        {"true", false, true, true, "true"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.stored) + (c.notificationArea ? "" : ", no notification area"));
        store(c.stored);
        tray.trayAvailable = c.notificationArea;
        tray.showMainForm = true;
        start();
        EXPECT_EQ(view().visible, c.shown);
        EXPECT_EQ(tray.showMainForm, c.shown);
        EXPECT_EQ(switchUrl(), servedUrl());
        // The box shows the preference from the start, so an exit without ever showing the
        // window keeps it.
        EXPECT_EQ(view().Checked(MainCheckBox::StartHidden), c.ticked);
        app.reset();
        EXPECT_EQ(stored(), c.savedAtExit);
    }
}

TEST_F(MainForm, SwitchOffFromTheTrayBeforeTheFirstShowing) {
    store("true");
    TMainForm& form = start();
    form.Handle(&TMainForm::MSwitchClick);
    EXPECT_EQ(text(InternetSettingsKey, "AutoConfigURL"), "");

    form.Handle(&TMainForm::MMainInterfaceClick);
    EXPECT_TRUE(view().visible);
    form.Handle(&TMainForm::FormActivate);
    EXPECT_EQ(view().switchCaption, Gbk("启用"));
    EXPECT_TRUE(view().Checked(MainCheckBox::StartHidden));
    form.Handle(&TMainForm::MSwitchClick);
    EXPECT_EQ(switchUrl(), servedUrl());
    expectIndicators(true);
}

TEST_F(MainForm, UntickedBoxSurvivesLaterActivations) {
    store("true");
    TMainForm& form = start();
    form.Handle(&TMainForm::MMainInterfaceClick);
    form.Handle(&TMainForm::FormActivate);
    EXPECT_TRUE(view().Checked(MainCheckBox::StartHidden));

    view().boxes[MainCheckBox::StartHidden] = false;
    form.CheckBoxClick(MainCheckBox::StartHidden);
    form.Handle(&TMainForm::FormClose);
    form.Handle(&TMainForm::MMainInterfaceClick);
    form.Handle(&TMainForm::FormActivate);
    form.Handle(&TMainForm::ToolButtonSetClick);
    form.Handle(&TMainForm::FormActivate);
    EXPECT_FALSE(view().Checked(MainCheckBox::StartHidden));
    app->DestroyForms();
    EXPECT_EQ(stored(), "false");
}

TEST_F(MainForm, StartAtLoginBoxShowsAndChangesTheDesktopsRecord) {
    for (const bool recorded : {false, true}) {
        SCOPED_TRACE(recorded ? "recorded on" : "recorded off");
        login->on = recorded;
        login->changes = 0;
        store("false");
        TMainForm& form = start();
        EXPECT_EQ(view().Checked(MainCheckBox::StartAtLogin), recorded);
        EXPECT_FALSE(view().Checked(MainCheckBox::StartHidden)); // a box of its own
        view().boxes[MainCheckBox::StartAtLogin] = !recorded;
        form.CheckBoxClick(MainCheckBox::StartAtLogin);
        EXPECT_EQ(login->on, !recorded);
        view().boxes[MainCheckBox::StartAtLogin] = recorded;
        form.CheckBoxClick(MainCheckBox::StartAtLogin);
        EXPECT_EQ(login->on, recorded);
        // The start-hidden box does not reach the desktop's record.
        view().boxes[MainCheckBox::StartHidden] = true;
        form.CheckBoxClick(MainCheckBox::StartHidden);
        EXPECT_EQ(login->changes, 2);
        app.reset();
    }
}

TEST_F(MainForm, StartAtLoginThatCannotChangeIsShownAndTheBoxGoesBack) {
    login->fail = true;
    TMainForm& form = start();
    view().boxes[MainCheckBox::StartAtLogin] = true;
    EXPECT_THROW(form.CheckBoxClick(MainCheckBox::StartAtLogin), IoError);
    EXPECT_FALSE(view().Checked(MainCheckBox::StartAtLogin));
    EXPECT_FALSE(login->on);
}

TEST_F(MainForm, CloseHidesAndTheMenuShowsAgain) {
    TMainForm& form = start();
    form.Handle(&TMainForm::FormClose);
    EXPECT_FALSE(view().visible);
    EXPECT_EQ(tray.IconCount(), 1u);
    EXPECT_FALSE(app->Terminated());
    form.Handle(&TMainForm::MMainInterfaceClick);
    EXPECT_TRUE(view().visible);
    EXPECT_EQ(view().broughtToFront, 1);

    // A minimised window comes back at its normal size.
    view().ShowMinimized();
    form.Handle(&TMainForm::MMainInterfaceClick);
    EXPECT_TRUE(view().visible);
    EXPECT_FALSE(view().minimized);
}

TEST_F(MainForm, WithoutNotificationAreaTheWindowStaysReachable) {
    tray.trayAvailable = false;
    TMainForm& form = start();
    EXPECT_FALSE(form.NotificationAreaAvailable());
    EXPECT_FALSE(form.NotifyIcon().MinimizeToTray());
    form.Handle(&TMainForm::FormClose);
    EXPECT_TRUE(view().visible);
    EXPECT_TRUE(view().minimized);

    // A notification area that comes later takes the icon, and closing hides again.
    tray.trayAvailable = true;
    tray.BroadcastTaskbarCreated();
    EXPECT_EQ(tray.IconCount(), 1u);
    EXPECT_TRUE(form.NotificationAreaAvailable());
    EXPECT_TRUE(form.NotifyIcon().MinimizeToTray());
    view().ShowNormal();
    form.Handle(&TMainForm::FormClose);
    EXPECT_FALSE(view().visible);
}

TEST_F(MainForm, StartHiddenOfTheWrongTypeShowsTheWindowAndTheErrorOnce) {
    {
        auto registry = test::FakeRegistry(hive)();
        ASSERT_TRUE(registry->openKey(SettingsKey, true));
        registry->writeInteger("startHidden", 1);
    }
    TMainForm& form = start();
    EXPECT_TRUE(view().visible);
    EXPECT_TRUE(errors.texts.empty()); // not while the window is being created
    EXPECT_EQ(switchUrl(), servedUrl());
    frontEnd.RunPosted();
    // No full stop after a quote, whose code is below that of ".".
    EXPECT_EQ(errors.texts, std::vector<std::string>{"Invalid data type for 'startHidden'"});
    // Once, not again at the first activation.
    form.Handle(&TMainForm::FormActivate);
    EXPECT_EQ(errors.texts.size(), 1u);
    EXPECT_FALSE(view().Checked(MainCheckBox::StartHidden));
}

TEST_F(MainForm, HelpAndFeedbackOpenWithTheShell) {
    TMainForm& form = start();
    form.Handle(&TMainForm::Label1MouseEnter);
    EXPECT_TRUE(view().linkUnderlined);
    form.Handle(&TMainForm::Label1MouseLeave);
    EXPECT_FALSE(view().linkUnderlined);

    form.Handle(&TMainForm::Label1Click);
    form.Handle(&TMainForm::ToolButtonHelpClick);
    ASSERT_EQ(view().opened.size(), 2u);
    EXPECT_EQ(view().opened[0].first.rfind("mailto:", 0), 0u);
    EXPECT_EQ(view().opened[0].second, ShellTarget::Url);
    EXPECT_EQ(view().opened[1].first, form.HelpFile);
    EXPECT_EQ(view().opened[1].second, ShellTarget::Document);
    EXPECT_TRUE(errors.texts.empty()); // whatever the shell answers
}

// The rule editor opens modally to the main window only while that is visible; a second
// opening starts no second modal run but brings an open editor back to its normal size.
TEST_F(MainForm, SettingsOpensTheEditorOnce) {
    TMainForm& form = start();
    int nested = 0;
    editor().whileOpen = [&] {
        editor().whileOpen = nullptr;
        editor().maximized = true;
        form.Handle(&TMainForm::MSettingClick);
        nested = static_cast<int>(editor().modalOwners.size());
        EXPECT_TRUE(editor().visible);
        EXPECT_FALSE(editor().maximized);
        app->SetParamForm()->Cancel();
    };
    form.Handle(&TMainForm::ToolButtonSetClick);
    EXPECT_EQ(nested, 1);
    EXPECT_FALSE(editor().visible);
    EXPECT_EQ(app->SetParamForm()->pacFilePath(), PacFilePath);
    EXPECT_EQ(app->SetParamForm()->ruleFilePath(), folder() + "configData.ini");

    form.Handle(&TMainForm::FormClose);
    form.Handle(&TMainForm::MSettingClick);
    ASSERT_EQ(editor().modalOwners.size(), 2u);
    EXPECT_EQ(editor().modalOwners[0], &view());
    EXPECT_EQ(editor().modalOwners[1], nullptr);
    EXPECT_TRUE(errors.texts.empty());
}

// Exit, the end of the session and the termination signals end the program the same way:
// an open editor as if cancelled, the loop left once, the preference saved, the icon gone,
// the switch left as it is.
TEST_F(MainForm, EveryWayOfEndingEndsInTheSameOrder) {
    const std::vector<std::pair<const char*, std::function<void(TMainForm&)>>> ways = {
        {"toolbar exit", [](TMainForm& form) { form.Handle(&TMainForm::ToolButtonExitClick); }},
        {"menu exit", [](TMainForm& form) { form.Handle(&TMainForm::MExitClick); }},
        {"end of the session", [this](TMainForm&) { frontEnd.endOfSession(); }},
    };
    for (const auto& [name, end] : ways) {
        SCOPED_TRACE(name);
        hive.keys.clear();
        const int quits = frontEnd.quits;
        TMainForm& form = start();
        view().ClickSwitch(); // off
        view().boxes[MainCheckBox::StartHidden] = true;
        bool editorWasOpen = false;
        frontEnd.whileRunning = [&] {
            editor().whileOpen = [&] {
                editorWasOpen = editor().visible;
                end(form);
                EXPECT_FALSE(editor().visible);
                end(form); // a second request changes nothing
            };
            form.Handle(&TMainForm::ToolButtonSetClick);
        };
        EXPECT_EQ(app->Run(), 0);
        EXPECT_TRUE(editorWasOpen);
        EXPECT_TRUE(app->Terminated());
        EXPECT_EQ(frontEnd.quits, quits + 1);
        EXPECT_EQ(app->MainForm(), nullptr);
        EXPECT_EQ(tray.IconCount(), 0u);
        EXPECT_EQ(stored(), "true");
        EXPECT_EQ(text(InternetSettingsKey, "AutoConfigURL"), "");
        EXPECT_FALSE(std::filesystem::exists(dir.path() / "IETarnwick.pac")); // no OK
        app.reset();
    }
}

// Every end that finds the script served leaves the switch on at the file's URL before the
// port is freed, so no other process can take the port the browsers still ask; the next start
// serves again. A failure of that write is shown at Exit only.
TEST_F(MainForm, EveryEndLeavesNoDeadPortBehind) {
    const std::vector<std::pair<const char*, std::function<void(TMainForm&)>>> ways = {
        {"toolbar exit", [](TMainForm& form) { form.Handle(&TMainForm::ToolButtonExitClick); }},
        {"menu exit", [](TMainForm& form) { form.Handle(&TMainForm::MExitClick); }},
        {"end of the session", [this](TMainForm&) { frontEnd.endOfSession(); }},
    };
    for (const bool failing : {false, true}) {
        for (const auto& [name, end] : ways) {
            SCOPED_TRACE(std::string(name) + (failing ? ", failing write" : ""));
            errors.texts.clear();
            TMainForm& form = start();
            ASSERT_EQ(switchUrl(), servedUrl());
            frontEnd.whileRunning = [&] { end(form); };
            if (failing)
                hive.failingWrites.insert("AutoConfigURL");
            app->Run();
            EXPECT_EQ(ports.listening, 0);
            hive.failingWrites.clear();
            const bool shown = failing && std::string(name) != "end of the session";
            EXPECT_EQ(errors.texts, shown ? std::vector<std::string>{"Failed to set data for "
                                                                     "'AutoConfigURL'"}
                                          : std::vector<std::string>{});
            if (!failing) {
                EXPECT_EQ(switchUrl(), PacFileUrl);
            }
            app.reset();
            EXPECT_EQ(stored("servePac"), "true");
        }
    }
    // With the switch off there is nothing to point elsewhere.
    start();
    view().ClickSwitch();
    app.reset();
    EXPECT_EQ(switchUrl(), "");
    EXPECT_EQ(ports.listening, 0);
}

TEST_F(MainForm, ServingTheScriptGivesTheSwitchItsHttpUrl) {
    // The user's untick of an earlier run holds: the switch names the file.
    WriteSetting(test::FakeRegistry(hive), "servePac", "false");
    TMainForm& form = start();
    EXPECT_FALSE(view().Checked(MainCheckBox::ServePac));
    EXPECT_EQ(switchUrl(), PacFileUrl);
    EXPECT_EQ(ports.listening, 0);
    clickServePac(true);
    EXPECT_EQ(switchUrl(), PacHttpUrl(DefaultPacPort, "")) << "no script written yet";
    EXPECT_EQ(stored("servePac"), "true");
    EXPECT_EQ(ports.listening, 1);
    expectIndicators(true);

    // An OK that changes the script gives the switch the script's new URL; one that leaves it
    // as it was writes nothing.
    editor().whileOpen = [this] { app->SetParamForm()->Handle(&TsetParamForm::ButtonOKClick); };
    form.Handle(&TMainForm::ToolButtonSetClick);
    ASSERT_FALSE(script().empty());
    const std::string served = PacHttpUrl(DefaultPacPort, script());
    EXPECT_EQ(switchUrl(), served);
    const std::size_t writes = urlWrites();
    form.Handle(&TMainForm::MSettingClick);
    EXPECT_EQ(urlWrites(), writes);

    clickServePac(false);
    EXPECT_EQ(switchUrl(), PacFileUrl);
    EXPECT_EQ(stored("servePac"), "false");
    EXPECT_EQ(ports.listening, 0);
    // With the switch off the box changes no switch value; turning the switch on takes it.
    view().ClickSwitch();
    clickServePac(true);
    EXPECT_EQ(switchUrl(), "");
    view().ClickSwitch();
    EXPECT_EQ(switchUrl(), served);
    expectIndicators(true);

    // At exit the switch leaves the server for the file, still on, and then the server stops.
    app.reset();
    EXPECT_EQ(ports.listening, 0);
    EXPECT_EQ(switchUrl(), PacFileUrl);
    EXPECT_TRUE(errors.texts.empty());
}

TEST_F(MainForm, ServingThatFailsLeavesTheSwitchOnTheFile) {
    for (int port = DefaultPacPort; port < DefaultPacPort + 10; ++port)
        ports.taken.insert(static_cast<std::uint16_t>(port));
    const std::string noPort =
        "Cannot serve the script on 127.0.0.1, ports 18086 to 18095: Address in use.";
    // The first start shows why not and goes on with the file.
    start();
    EXPECT_EQ(errors.texts, std::vector<std::string>{noPort});
    EXPECT_FALSE(view().Checked(MainCheckBox::ServePac));
    EXPECT_EQ(switchUrl(), PacFileUrl);
    expectIndicators(true);
    errors.texts.clear();
    clickServePac(true);
    EXPECT_EQ(errors.texts, std::vector<std::string>{noPort});
    EXPECT_FALSE(view().Checked(MainCheckBox::ServePac));
    EXPECT_EQ(switchUrl(), PacFileUrl);
    EXPECT_EQ(stored("servePac"), "false");

    // Stored as on: the start shows why not, once, goes on with the file, and keeps the
    // preference for the next start, which finds a port free.
    app.reset();
    WriteSetting(test::FakeRegistry(hive), "servePac", "true");
    errors.texts.clear();
    start();
    EXPECT_EQ(errors.texts, std::vector<std::string>{noPort});
    EXPECT_FALSE(view().Checked(MainCheckBox::ServePac));
    EXPECT_EQ(switchUrl(), PacFileUrl);
    expectIndicators(true);
    EXPECT_EQ(stored("servePac"), "true");
    app.reset();
    ports.taken.erase(DefaultPacPort + 4);
    errors.texts.clear();
    start();
    EXPECT_TRUE(view().Checked(MainCheckBox::ServePac));
    EXPECT_EQ(switchUrl(), PacHttpUrl(DefaultPacPort + 4, ""));
    EXPECT_TRUE(errors.texts.empty());

    // Unticking while the switch cannot be written: the script is still served, and the box
    // says so.
    hive.failingWrites.insert("AutoConfigURL");
    clickServePac(false);
    EXPECT_EQ(errors.texts, std::vector<std::string>{"Failed to set data for 'AutoConfigURL'"});
    EXPECT_TRUE(view().Checked(MainCheckBox::ServePac));
    EXPECT_EQ(ports.listening, 1);
    EXPECT_EQ(stored("servePac"), "true");
}

TEST_F(MainForm, TerminateBeforeTheLoopSkipsIt) {
    start();
    app->Terminate();
    const int loops = frontEnd.loops;
    EXPECT_EQ(app->Run(), 0);
    EXPECT_EQ(frontEnd.loops, loops);
    EXPECT_EQ(frontEnd.quits, 0);
    EXPECT_EQ(tray.IconCount(), 0u);
}

TEST_F(MainForm, EveryCheckBoxHasAUniqueNameAndPlace) {
    const auto& boxes = MainCheckBoxes();
    ASSERT_FALSE(boxes.empty());
    for (std::size_t i = 0; i < boxes.size(); ++i) {
        EXPECT_FALSE(boxes[i].caption.empty());
        EXPECT_GT(boxes[i].width, 0);
        for (std::size_t j = i + 1; j < boxes.size(); ++j) {
            EXPECT_NE(boxes[i].name, boxes[j].name);
            EXPECT_NE(boxes[i].id, boxes[j].id);
            EXPECT_TRUE(boxes[i].top + boxes[i].height <= boxes[j].top ||
                        boxes[j].top + boxes[j].height <= boxes[i].top)
                << boxes[i].name << " overlaps " << boxes[j].name;
        }
    }
    EXPECT_EQ(boxes[0].caption, Gbk("程序启动时隐藏此窗体"));
    EXPECT_EQ(boxes.back().caption, Gbk("登录时自动启动"));
}

// Both windows' layout tables: what the front ends build from. Components of one area are
// unique, lie inside the window and do not overlap, also once scaled; the tab order names
// real components; the window is tall enough for its last check box.
TEST(FormLayouts, ComponentsFitTheirWindowWithoutOverlapAtEveryScaling) {
    // The toolbars' buttons lie on their toolbar, the grid's metrics are no controls.
    const auto placed = [](const ControlLayout& c) {
        return c.width > 0 && c.height > 0 && c.parent != "ToolBar1" && c.parent != "StringGrid1" &&
               c.name.rfind("ToolButton", 0) != 0;
    };
    for (const FormLayout* form : {&MainFormLayout(), &SetParamFormLayout()}) {
        SCOPED_TRACE(form->name);
        for (int dpi : {96, 120, 144, 192}) {
            for (std::size_t i = 0; i < form->controls.size(); ++i) {
                const ControlLayout& a = form->controls[i];
                if (!placed(a))
                    continue;
                EXPECT_LE(ScaleToDpi(a.left + a.width, dpi), ScaleToDpi(form->clientWidth, dpi))
                    << a.name;
                EXPECT_LE(ScaleToDpi(a.top + a.height, dpi), ScaleToDpi(form->clientHeight, dpi))
                    << a.name;
                for (std::size_t j = i + 1; j < form->controls.size(); ++j) {
                    const ControlLayout& b = form->controls[j];
                    EXPECT_NE(a.name, b.name);
                    if (!placed(b) || a.parent != b.parent)
                        continue;
                    const auto start = [dpi](int at) { return ScaleToDpi(at, dpi); };
                    const bool apart = start(a.left + a.width) <= start(b.left) ||
                                       start(b.left + b.width) <= start(a.left) ||
                                       start(a.top + a.height) <= start(b.top) ||
                                       start(b.top + b.height) <= start(a.top);
                    EXPECT_TRUE(apart) << a.name << " overlaps " << b.name << " at " << dpi;
                }
            }
        }
        for (const std::string& name : form->TabOrder())
            EXPECT_NO_THROW((void)(*form)[name]) << name;
    }
    EXPECT_THROW((void)MainFormLayout()["NoSuchControl"], std::logic_error);
    const FormLayout& main = MainFormLayout();
    EXPECT_GE(main.clientHeight,
              main["CheckBoxStartAtLogin"].top + main["CheckBoxStartAtLogin"].height);
    EXPECT_EQ(main.TabOrder().front(), MainCheckBoxes().front().name);
    EXPECT_EQ(SetParamFormLayout().TabOrder(),
              (std::vector<std::string>{"StringGrid1", "ComboBox1", "EditTestUrl", "ButtonTest",
                                        "ButtonCancle", "ButtonOK"}));
    EXPECT_EQ(main["MSwitch"].caption, Gbk("禁用"));
    EXPECT_EQ(SetParamFormLayout().caption, Gbk("设置参数"));
}

TEST(FormLayouts, ScalingRoundsToTheNearestPixel) {
    const struct {
        int length, dpi, scaled;
    } cases[] = {{11, 96, 11}, {11, 144, 17},  {13, 120, 16},    {33, 144, 50}, {1, 144, 2},
                 {0, 192, 0},  {-8, 144, -12}, {535, 192, 1070}, {27, 120, 34}};
    for (const auto& c : cases)
        EXPECT_EQ(ScaleToDpi(c.length, c.dpi), c.scaled) << c.length << " at " << c.dpi;
}

// Which activations run FormActivate, the same on both front ends.
TEST(ProgramActivation, OnlyATakeOverFromAnotherWindowOfTheProgramCounts) {
    struct Window : FormView {
        void Show() override {}
        void Hide() override {}
        bool Visible() const override { return true; }
        bool Minimized() const override { return false; }
        void ShowMinimized() override {}
        void ShowNormal() override {}
        void BringToFront() override {}
    };
    ProgramActivation activation;
    Window mainWindow;
    Window editor;
    EXPECT_TRUE(activation.Activated(&mainWindow));  // the first showing
    EXPECT_FALSE(activation.Activated(&mainWindow)); // back from another program, or reshown
    EXPECT_TRUE(activation.Activated(&editor));
    EXPECT_TRUE(activation.Activated(&mainWindow)); // the user moves to it while the editor is open
    activation.Activated(&editor);
    activation.HandBackTo(&mainWindow); // the modal editor closes
    EXPECT_FALSE(activation.Activated(&mainWindow));
    activation.Forget(&mainWindow);
    EXPECT_EQ(activation.Active(), nullptr);
    activation.Activated(&editor);
    activation.Forget(&mainWindow); // another window going away changes nothing
    EXPECT_EQ(activation.Active(), &editor);
}

// ---------------------------------------------------------------------------------------
// The rule editor

class RuleEditor : public ::testing::Test {
protected:
    RuleEditor() {
        editor.setPacFilePath(pacPath());
        editor.setRuleFilePath(rulePath());
    }

    std::string pacPath() const { return dir.file("IETarnwick.pac"); }
    std::string rulePath() const { return dir.file("configData.ini"); }
    const std::string& cell(int column, int row) const { return editor.Table().cell(column, row); }
    std::string type(int index) const { return RuleTypeNames()[static_cast<std::size_t>(index)]; }

    // Three rules: a URL rule, a subnet rule and a host rule.
    void writeRules() {
        RuleTable table;
        table.SetRuleType(1, 0);
        table.setCell(1, 1, "http://*.example.com/*");
        table.setCell(2, 1, "10.0.0.1:8080");
        table.SetRuleType(2, 2);
        table.setCell(1, 2, "192.168.5.1;255.255.255.0");
        table.setCell(2, 2, "10.0.0.2:3128");
        table.SetRuleType(3, 1);
        table.setCell(1, 3, "*.invalid");
        table.setCell(2, 3, "10.0.0.3:80");
        SaveRules(table, rulePath());
    }
    std::string ruleFile() const { return test::ReadBytes(rulePath()); }
    RuleTable LoadedTable() const {
        RuleTable table;
        LoadRules(table, rulePath());
        return table;
    }

    test::TempFolder dir;
    ErrorRecorder errors;
    FakeSetParamForm* view = nullptr;
    TsetParamForm editor{[this](TsetParamForm& form) {
        auto made = std::make_unique<FakeSetParamForm>(form);
        view = made.get();
        return made;
    }};
};

TEST_F(RuleEditor, CreationFillsTheTypeList) {
    EXPECT_EQ(view->typeEntries,
              std::vector<std::string>(RuleTypeNames().begin(), RuleTypeNames().end()));
    EXPECT_FALSE(view->visible);
}

TEST_F(RuleEditor, OpeningPreparesTheHeaderAndReloads) {
    writeRules();
    view->Open();
    for (int c = 0; c < RuleTable::ColumnCount; ++c)
        EXPECT_EQ(cell(c, 0), ColumnTitles()[static_cast<std::size_t>(c)]);
    EXPECT_EQ(view->currentColumn, 1);
    EXPECT_EQ(view->currentRow, 1);
    EXPECT_EQ(view->focus, Focus::Grid);
    EXPECT_EQ(cell(1, 2), "192.168.5.1;255.255.255.0");
    EXPECT_GE(view->refreshes, 1);
    EXPECT_GE(view->rowCountChanges, 1);
}

TEST_F(RuleEditor, FirstOpeningRefusesTypingInRowOneUntilItIsSelectedAgain) {
    writeRules();
    view->Open();
    // The flags were decided while row 1 was still empty.
    view->Type("x");
    EXPECT_EQ(cell(1, 1), "http://*.example.com/*");
    view->Click(1, 1);
    view->Type("x");
    EXPECT_EQ(cell(1, 1), "http://*.example.com/*x");
    // At the next opening the current cell already is that cell: the flags stay.
    editor.Handle(&TsetParamForm::ButtonCancleClick);
    view->Open();
    view->Type("y");
    EXPECT_EQ(cell(1, 1), "http://*.example.com/*y");
}

TEST_F(RuleEditor, PassingThroughATypeCellKeepsTheRule) {
    writeRules();
    view->Open();
    view->Click(0, 2);
    EXPECT_TRUE(view->typeListShown);
    EXPECT_EQ(view->typeListCell, std::make_pair(0, 2));
    EXPECT_EQ(view->focus, Focus::TypeList);
    EXPECT_EQ(view->typeSelection, 2);
    view->Click(1, 2);
    EXPECT_FALSE(view->typeListShown);
    EXPECT_EQ(cell(0, 2), type(2));
    EXPECT_EQ(cell(1, 2), "192.168.5.1;255.255.255.0");
}

// Leaving the type list without a pick: a cell holding one of the four keeps its rule, an
// empty one stays empty, one holding another text is emptied (its value stays).
TEST_F(RuleEditor, LeavingTheTypeListWithoutAPick) {
    writeRules();
    {
        RuleTable table = LoadedTable();
        table.setCell(0, 2, "other");
        SaveRules(table, rulePath());
    }
    view->Open();
    view->Click(0, 2);
    EXPECT_EQ(view->typeSelection, -1);
    view->Click(0, 4); // grows the table; the type list leaves row 2
    EXPECT_EQ(cell(0, 2), "");
    EXPECT_EQ(cell(1, 2), "192.168.5.1;255.255.255.0");
    EXPECT_TRUE(view->typeListShown);
    view->Click(2, 4);
    EXPECT_EQ(cell(0, 4), "");
    EXPECT_EQ(cell(1, 4), "");
}

TEST_F(RuleEditor, PickingAnEntryResetsTheValueEvenForTheSameType) {
    writeRules();
    view->Open();
    view->Click(0, 2);
    view->Pick(2);
    EXPECT_FALSE(view->typeListShown);
    EXPECT_EQ(view->focus, Focus::Grid);
    EXPECT_EQ(cell(1, 2), RuleTypeDefaults()[2]);
    // The type cell stays current; a click on it selects it again and reopens the list.
    view->Click(0, 2);
    EXPECT_TRUE(view->typeListShown);
    view->Pick(0);
    EXPECT_EQ(cell(0, 2), type(0));
    EXPECT_EQ(cell(1, 2), RuleTypeDefaults()[0]);
}

TEST_F(RuleEditor, InsertAndDeleteWithTheTypeListClosedChangeOnlyTheRows) {
    writeRules();
    view->Open();
    view->Click(2, 2);
    editor.Handle(&TsetParamForm::ToolButtonInsertClick);
    EXPECT_EQ(cell(2, 2), "");
    EXPECT_EQ(cell(0, 3), type(2));
    EXPECT_EQ(cell(1, 3), "192.168.5.1;255.255.255.0");
    EXPECT_EQ(view->currentRow, 2);
    EXPECT_FALSE(view->typeListShown);
    EXPECT_EQ(view->cellEditorCloses, 1);
    editor.Handle(&TsetParamForm::ToolButtonDeleteClick);
    EXPECT_EQ(cell(0, 2), type(2));
    EXPECT_EQ(cell(1, 2), "192.168.5.1;255.255.255.0");
    EXPECT_EQ(cell(2, 1), "10.0.0.1:8080");
    EXPECT_TRUE(errors.texts.empty());
}

TEST_F(RuleEditor, InsertWithTheTypeListOpenCommitsItsEntryFirst) {
    writeRules();
    view->Open();
    view->Click(0, 2);
    ASSERT_TRUE(view->typeListShown);
    editor.Handle(&TsetParamForm::ToolButtonInsertClick);
    EXPECT_FALSE(view->typeListShown);
    // The shown entry was committed to row 2 (resetting its value), which then moved down.
    EXPECT_EQ(cell(0, 3), type(2));
    EXPECT_EQ(cell(1, 3), RuleTypeDefaults()[2]);
    EXPECT_EQ(cell(0, 2), "");
    EXPECT_EQ(view->currentRow, 2);
    EXPECT_FALSE(view->typeListShown); // no selection on the new row
}

TEST_F(RuleEditor, DeletingTheLastRowSelectsTheRowAboveAndMayOpenItsTypeList) {
    writeRules();
    view->Open();
    view->Click(0, 3);
    editor.Handle(&TsetParamForm::ToolButtonDeleteClick);
    // The empty row below took the place of row 3 and is the last row now; the current cell
    // stayed there without a selection.
    ASSERT_EQ(editor.Table().rowCount(), 4);
    EXPECT_EQ(view->currentRow, 3);
    EXPECT_FALSE(view->typeListShown);
    editor.Handle(&TsetParamForm::ToolButtonDeleteClick);
    // The move to row 2 is a selection: over a type cell it opens the type list.
    EXPECT_EQ(view->currentRow, 2);
    EXPECT_TRUE(view->typeListShown);
    EXPECT_EQ(view->typeListCell, std::make_pair(0, 2));
    EXPECT_EQ(cell(1, 2), "192.168.5.1;255.255.255.0");
    EXPECT_EQ(cell(1, 1), "http://*.example.com/*");
}

TEST_F(RuleEditor, CancelWritesNothingAndReopeningReloads) {
    writeRules();
    const std::string before = ruleFile();
    view->Open();
    view->Click(2, 1);
    view->Click(2, 1);
    view->Type("zzz");
    view->Click(2, 4); // the last row: the table grows
    const int rows = editor.Table().rowCount();
    ASSERT_GT(rows, 5);
    editor.Handle(&TsetParamForm::ButtonCancleClick);
    EXPECT_FALSE(view->visible);
    EXPECT_FALSE(std::filesystem::exists(pacPath()));
    EXPECT_EQ(ruleFile(), before);

    view->Open();
    EXPECT_EQ(cell(2, 1), "10.0.0.1:8080");
    EXPECT_EQ(editor.Table().rowCount(), rows); // the row count carries over
}

// Reopening while a type cell of another row is current (the window was closed with its type
// list open) opens and closes the list during the opening and leaves no trace of it.
TEST_F(RuleEditor, ReopeningWithATypeCellCurrentLeavesNoTrace) {
    writeRules();
    view->Open();
    view->Click(0, 3);
    ASSERT_TRUE(view->typeListShown);
    editor.Cancel();
    view->focus = Focus::None; // a window that is not active yet gets no focus events
    view->Open();
    EXPECT_FALSE(view->typeListShown);
    EXPECT_EQ(view->focus, Focus::Grid);
    EXPECT_EQ(view->currentColumn, 1);
    EXPECT_EQ(view->currentRow, 1);
    EXPECT_EQ(cell(0, 3), type(1));
    EXPECT_EQ(cell(1, 3), "*.invalid");
}

TEST_F(RuleEditor, OkWritesTheDocumentedFilesAndCloses) {
    view->Open();
    // The documented example, entered by the user: a subnet rule in row 1, an
    // address-that-cannot-be-resolved rule in row 3.
    view->Click(0, 1);
    view->Pick(2);
    view->Click(2, 1);
    view->Type("10.0.0.1:8080");
    view->Click(0, 3);
    view->Pick(3);
    view->Click(2, 3);
    view->Type("10.0.0.2:3128");
    editor.Handle(&TsetParamForm::ButtonOKClick);
    EXPECT_TRUE(errors.texts.empty());
    EXPECT_FALSE(view->visible);
    EXPECT_EQ(test::ReadBytes(pacPath()), std::string(test::ExamplePacScript) + "\r\n");
    EXPECT_EQ(ruleFile(), test::ExampleRuleFile());
}

// A failing step ends OK there: the window stays open with its texts, and what follows the
// failing step is not written.
TEST_F(RuleEditor, OkFailures) {
    writeRules();
    const std::string before = ruleFile();
    {
        SCOPED_TRACE("a type that is none of the four");
        RuleTable table = LoadedTable();
        table.ensureRowCount(5);
        table.setCell(0, 4, "unknown");
        table.setCell(1, 4, "v");
        SaveRules(table, rulePath());
        const std::string withUnknown = ruleFile();
        view->Open();
        editor.Handle(&TsetParamForm::ButtonOKClick);
        EXPECT_EQ(errors.texts, std::vector<std::string>{"unkown valTypes."});
        EXPECT_TRUE(view->visible);
        EXPECT_FALSE(std::filesystem::exists(pacPath()));
        EXPECT_EQ(ruleFile(), withUnknown);
        EXPECT_EQ(cell(0, 4), "unknown");
        editor.Cancel();
        test::WriteBytes(rulePath(), before);
    }
    {
        SCOPED_TRACE("a PAC file that cannot be replaced");
        errors.texts.clear();
        // A folder where the PAC file should be: no one, root included, can replace it.
        std::filesystem::create_directory(pacPath());
        view->Open();
        view->Click(2, 1);
        view->Click(2, 1);
        view->Type("edit");
        editor.Handle(&TsetParamForm::ButtonOKClick);
        EXPECT_EQ(errors.texts, std::vector<std::string>{"File access denied."});
        EXPECT_TRUE(view->visible);
        EXPECT_EQ(cell(2, 1), "10.0.0.1:8080edit");
        EXPECT_EQ(ruleFile(), before);
    }
}

TEST_F(RuleEditor, ResizingSetsTheCommonColumnWidth) {
    for (const auto& [grid, column] : {std::pair{535, 170}, {800, 258}, {25, 0}}) {
        view->gridWidth = grid;
        editor.Handle(&TsetParamForm::FormResize);
        EXPECT_EQ(view->columnWidth, column) << "grid " << grid;
    }
}

TEST_F(RuleEditor, ExecuteStartsAtNormalSizeAndNeverTwice) {
    view->maximized = true;
    int runs = 0;
    view->whileOpen = [&] {
        ++runs;
        view->maximized = true;
        editor.Execute(nullptr);
        EXPECT_FALSE(view->maximized);
        editor.Handle(&TsetParamForm::ButtonCancleClick);
    };
    editor.Execute(nullptr);
    EXPECT_EQ(runs, 1);
    EXPECT_FALSE(view->visible);
}

// The grid's own cell editor opens only where typing is allowed, never while rows move, and
// at selection only where the selection says so.
TEST_F(RuleEditor, CellEditorOpensOnlyWhereTheTableAllowsIt) {
    writeRules();
    view->Open();
    EXPECT_FALSE(editor.MayOpenCellEditor(false)); // decided before the load
    view->Click(1, 2);
    EXPECT_TRUE(editor.MayOpenCellEditor(false));
    EXPECT_EQ(editor.MayOpenCellEditor(true), editor.Table().editorShownAtOnce());
    view->Click(0, 3);
    EXPECT_FALSE(editor.MayOpenCellEditor(false));
    // Only real changes reach the table, and only inside it.
    view->Click(2, 2);
    editor.CellEdited(2, 2, "10.0.0.2:3128");
    editor.CellEdited(2, 99, "x");
    editor.CellEdited(2, 0, "x");
    EXPECT_EQ(cell(2, 0), ColumnTitles()[2]);
}

// The rule tester: a name resolver that blocks until the test lets it answer.
class BlockingResolver {
public:
    TsetParamForm::NameResolver function() {
        return [state = state_](const std::string& host) {
            std::unique_lock<std::mutex> lock(state->mutex);
            state->asked.push_back(host);
            state->changed.wait(lock, [&] { return state->released; });
            const auto found = state->answers.find(host);
            return found == state->answers.end() ? std::nullopt
                                                 : std::optional<std::uint32_t>(found->second);
        };
    }
    void answer(const std::string& host, std::uint32_t address) {
        std::lock_guard<std::mutex> lock(state_->mutex);
        state_->answers[host] = address;
    }
    void release() {
        std::lock_guard<std::mutex> lock(state_->mutex);
        state_->released = true;
        state_->changed.notify_all();
    }
    ~BlockingResolver() { release(); }

private:
    struct State {
        std::mutex mutex;
        std::condition_variable changed;
        bool released = false;
        std::map<std::string, std::uint32_t> answers;
        std::vector<std::string> asked;
    };
    std::shared_ptr<State> state_ = std::make_shared<State>();
};

class RuleTesterInEditor : public RuleEditor {
protected:
    void test(const std::string& address) {
        view->testUrl = address;
        editor.Handle(&TsetParamForm::ButtonTestClick);
    }
    static std::string Text(const char* utf8) { return GbkFromUtf8(utf8); }
    BlockingResolver resolver;
};

TEST_F(RuleTesterInEditor, DecidingRowBecomesCurrentAndTheResultSaysWhatTheBrowserDoes) {
    writeRules();
    editor.setNameResolver(resolver.function(), std::chrono::seconds(3));
    view->Open();

    test("http://192.168.5.9/"); // a literal address: no lookup
    EXPECT_EQ(view->currentRow, 2);
    EXPECT_EQ(editor.Table().currentRow(), 2);
    EXPECT_EQ(view->testResult, Text("第 2 条规则：PROXY 10.0.0.2:3128"));

    // The table as it stands, unsaved edits included.
    view->Click(2, 1);
    view->Click(2, 1);
    view->Type("0");
    test("WWW.Example.COM/page");
    EXPECT_EQ(view->currentRow, 1);
    EXPECT_EQ(view->testResult, Text("第 1 条规则：PROXY 10.0.0.1:80800"));

    test("10.9.9.9");
    EXPECT_EQ(view->currentRow, 1);
    EXPECT_EQ(view->testResult, Text("没有规则匹配：DIRECT"));

    // An open type list ends as losing the focus does; the row is selected as a click would.
    view->Click(0, 2);
    ASSERT_TRUE(view->typeListShown);
    test("192.168.5.200");
    EXPECT_FALSE(view->typeListShown);
    EXPECT_EQ(cell(0, 2), type(2));
    EXPECT_EQ(view->currentRow, 2);
    EXPECT_EQ(view->currentColumn, 1);

    // A pattern the runtime reads as a regular expression the tester cannot follow.
    editor.CellEdited(1, 3, "(a|b).invalid");
    test("192.168.9.1");
    EXPECT_EQ(view->testResult, Text("第 3 条规则的模式含有浏览器当作正则表达式的字符，无法判断"));

    test("   ");
    EXPECT_EQ(view->testResult, "");
    EXPECT_TRUE(errors.texts.empty());
}

TEST_F(RuleTesterInEditor, TableThatOkRejectsGivesOksErrorAndSelectsNothing) {
    writeRules();
    view->Open();
    test("http://192.168.5.9/");
    ASSERT_EQ(view->currentRow, 2);
    editor.CellEdited(1, 2, "192.168.5.1;255.255.0");
    test("www.example.com");
    EXPECT_EQ(errors.texts, std::vector<std::string>{"'' is not a valid integer value."});
    EXPECT_EQ(view->currentRow, 2);
    EXPECT_EQ(view->testResult, "");

    errors.texts.clear();
    editor.CellEdited(1, 2, "192.168.5.1;255.255.255.0");
    view->Click(0, 4);
    view->Pick(0);
    editor.CellEdited(0, 4, "URL");
    test("www.example.com");
    EXPECT_EQ(errors.texts, std::vector<std::string>{"unkown valTypes."});
    EXPECT_EQ(view->testResult, "");
}

TEST_F(RuleTesterInEditor, NamesAreLookedUpOffTheWindowThread) {
    writeRules();
    editor.setNameResolver(resolver.function(), std::chrono::seconds(30));
    view->Open();
    resolver.answer("intranet.test", 0xC0A80507); // 192.168.5.7

    // The click returns while the lookup still blocks.
    test("intranet.test/wiki");
    EXPECT_EQ(view->testResult, Text("正在解析 intranet.test…"));
    resolver.release();
    ASSERT_TRUE(view->RunPostedTasks());
    EXPECT_EQ(view->testResult, Text("第 2 条规则：PROXY 10.0.0.2:3128"));
    EXPECT_EQ(view->currentRow, 2);
}

TEST_F(RuleTesterInEditor, HostNotResolvedInTimeCountsAsUnresolvableAndTheResultSaysSo) {
    writeRules();
    view->Open();
    view->Click(0, 4);
    view->Pick(3);
    editor.CellEdited(2, 4, "10.0.0.4:80");
    editor.setNameResolver(resolver.function(), std::chrono::milliseconds(50));

    test("slow.test");
    ASSERT_TRUE(view->RunPostedTasks());
    EXPECT_EQ(
        view->testResult,
        Text("第 4 条规则：PROXY 10.0.0.4:80（slow.test 在 1 秒内未解析，按不能解析的地址计）"));
    EXPECT_EQ(view->currentRow, 4);
}

TEST_F(RuleTesterInEditor, SecondTestOrReopeningReplacesThePendingOne) {
    writeRules();
    editor.setNameResolver(resolver.function(), std::chrono::seconds(30));
    view->Open();
    resolver.answer("first.test", 0xC0A80501);

    test("first.test");
    test("www.example.com/");
    EXPECT_EQ(view->testResult, Text("第 1 条规则：PROXY 10.0.0.1:8080"));
    resolver.release();
    ASSERT_TRUE(view->RunPostedTasks());
    // The late answer was for the first test: nothing changes.
    EXPECT_EQ(view->testResult, Text("第 1 条规则：PROXY 10.0.0.1:8080"));
    EXPECT_EQ(view->currentRow, 1);

    // Closed and opened again while a lookup is pending: the result line starts empty and
    // the answer finds nothing to do.
    BlockingResolver later;
    later.answer("first.test", 0xC0A80501);
    editor.setNameResolver(later.function(), std::chrono::seconds(30));
    test("first.test");
    editor.Handle(&TsetParamForm::ButtonCancleClick);
    view->Open();
    EXPECT_EQ(view->testResult, "");
    later.release();
    ASSERT_TRUE(view->RunPostedTasks());
    EXPECT_EQ(view->testResult, "");
    EXPECT_EQ(view->currentRow, 1);
}

// ---------------------------------------------------------------------------------------
// The error guard

TEST(ErrorBox, FullStopFollowsTheLastCharacter) {
    const std::pair<std::string, std::string> cases[] = {
        {"unkown valTypes.", "unkown valTypes."},
        {"File access denied", "File access denied."},
        {"I/O error 28", "I/O error 28."},
        {"Stop!", "Stop!"},
        {"a-", "a-"},
        {"a/", "a/."},
        {Gbk("子网"), Gbk("子网.")},
        {"", ""},
    };
    for (const auto& [message, shown] : cases)
        EXPECT_EQ(ErrorBoxText(message), shown) << message;
}

TEST(ErrorBox, GuardShowsEveryKindOfFailureAndEndsTheHandler) {
    ErrorRecorder errors;
    RunGuarded(nullptr, [] {});
    RunGuarded(nullptr, [] { throw IoError(5); });
    RunGuarded(nullptr, [] { throw Error("unkown valTypes."); });
    RunGuarded(nullptr, [] { throw std::runtime_error("broken"); });
    RunGuarded(nullptr, [] { throw 42; });
    bool after = false;
    RunGuarded(nullptr, [&] {
        throw IoError(101);
        after = true;
    });
    // A presenter that fails itself does not escape the guard either.
    SetErrorPresenter([](FormView*, const std::string&) { throw std::runtime_error("box"); });
    RunGuarded(nullptr, [] { throw Error("lost"); });
    EXPECT_EQ(errors.texts, (std::vector<std::string>{"File access denied.", "unkown valTypes.",
                                                      "broken.", "Unknown error.", "Disk full."}));
    EXPECT_FALSE(after);
}

} // namespace
