#include "trayicon/NotifyIcon.h"
#include "FakeTray.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace tarnwick {
namespace {

using fake::FakeIconImage;
using fake::FakeImageList;
using fake::FakePopupMenu;
using fake::FakeTrayPlatform;
using ::testing::ElementsAre;

constexpr IconHandle StoredIcon = 7;

// What happened, in order, as "click", "dblclick", "down 1 ...", for sequence checks.
struct EventLog {
    std::vector<std::string> events;
    void Attach(TNotifyIcon& icon) {
        icon.OnClick = [this](TNotifyIcon*) { events.push_back("click"); };
        icon.OnMouseDown = [this](TNotifyIcon*, TMouseButton b, TShiftState s, int x, int y) {
            events.push_back("down " + std::to_string(int(b)) + " " + std::to_string(s) + " " +
                             std::to_string(x) + "," + std::to_string(y));
        };
        icon.OnMouseUp = [this](TNotifyIcon*, TMouseButton b, TShiftState s, int, int) {
            events.push_back("up " + std::to_string(int(b)) + " " + std::to_string(s));
        };
        icon.OnMouseMove = [this](TNotifyIcon*, TShiftState, int x, int y) {
            events.push_back("move " + std::to_string(x) + "," + std::to_string(y));
        };
        icon.OnMouseEnter = [this](TNotifyIcon*) { events.push_back("enter"); };
        icon.OnMouseExit = [this](TNotifyIcon*) { events.push_back("exit"); };
        icon.OnBalloonHintClick = [this](TNotifyIcon*) { events.push_back("balloon-click"); };
        icon.OnBalloonHintHide = [this](TNotifyIcon*) { events.push_back("balloon-hide"); };
        icon.OnBalloonHintTimeout = [this](TNotifyIcon*) { events.push_back("balloon-timeout"); };
    }
    void AttachDblClick(TNotifyIcon& icon) {
        icon.OnDblClick = [this](TNotifyIcon*) { events.push_back("dblclick"); };
    }
};

class NotifyIconTest : public ::testing::Test {
protected:
    NotifyIconTest() : owner(platform.CreateWindow()) {
        menu.AddItem("main window");
        menu.AddItem("settings");
    }

    // The icon as the main window's stored layout sets it up, then Loaded.
    std::unique_ptr<TNotifyIcon> LoadLikeMainWindow(bool showMainForm = true) {
        auto icon = std::make_unique<TNotifyIcon>(platform, owner);
        icon->SetCycleInterval(0);
        icon->SetIcon(FakeIconImage(StoredIcon));
        icon->SetIconVisible(true);
        icon->SetIconIndex(0);
        icon->SetMinimizeToTray(true);
        icon->OnStartup = [this, showMainForm](TNotifyIcon* sender, bool& show) {
            startupSenders.push_back(sender);
            EXPECT_TRUE(show);
            show = showMainForm;
        };
        // References are resolved at the end of the owner's loading.
        icon->SetIconList(&images);
        icon->SetPopupMenu(&menu);
        icon->Loaded();
        return icon;
    }

    TrayIconRecord LastRecord() const { return platform.requests.back().record; }

    void Click(TNotifyIcon& icon) {
        platform.Notify(icon.IconId(), msg::LButtonDown);
        platform.Notify(icon.IconId(), msg::LButtonUp);
    }
    // The notifications of a double-click: the second press comes as the double-click.
    void DoubleClick(TNotifyIcon& icon) {
        Click(icon);
        platform.Notify(icon.IconId(), msg::LButtonDblClk);
        platform.Notify(icon.IconId(), msg::LButtonUp);
    }

    FakeTrayPlatform platform;
    WindowHandle owner;
    FakeImageList images{2};
    FakePopupMenu menu;
    std::vector<TNotifyIcon*> startupSenders;
};

// ---------------------------------------------------------------------------------------
// The record and the requests

TEST_F(NotifyIconTest, RecordCarriesTheFixedFieldsAndIdentifiesTheIcon) {
    TNotifyIcon first(platform, owner);
    TNotifyIcon second(platform, owner);
    first.SetIconVisible(true);
    const TrayIconRecord r = LastRecord();
    EXPECT_EQ(r.cbSize, 488u);
    EXPECT_EQ(r.uFlags, 7u);
    EXPECT_EQ(r.uCallbackMessage, 0x800u);
    EXPECT_EQ(r.uID, first.IconId());
    EXPECT_NE(r.hWnd, NoWindow);
    // One handler window for every icon, with an identifier of its own for each.
    second.SetIconVisible(true);
    EXPECT_EQ(LastRecord().hWnd, r.hWnd);
    EXPECT_NE(second.IconId(), first.IconId());
    EXPECT_EQ(platform.IconCount(), 2u);
}

TEST_F(NotifyIconTest, TooltipIsTheHintCutAt127BytesAndOnlyWhenShown) {
    TNotifyIcon icon(platform, owner);
    icon.SetIconVisible(true);
    const char zeros[128] = {};
    EXPECT_EQ(std::memcmp(LastRecord().szTip, zeros, 128), 0) << "empty hint, no tooltip";

    icon.SetHint(std::string(200, 'h'));
    EXPECT_EQ(platform.requests.back().request, TrayRequest::Modify);
    const TrayIconRecord cut = LastRecord();
    EXPECT_EQ(std::string(cut.szTip), std::string(127, 'h'));
    EXPECT_EQ(cut.szTip[127], '\0');
    EXPECT_EQ(std::string(platform.ShownIcon(icon.IconId())->szTip), std::string(127, 'h'));

    icon.SetShowHint(false);
    EXPECT_EQ(std::memcmp(LastRecord().szTip, zeros, 128), 0) << "ShowHint false, no tooltip";

    // A hint is at most 255 bytes; the tooltip holds GBK bytes unchanged.
    icon.SetHint(std::string(300, 'x'));
    EXPECT_EQ(icon.Hint().size(), 255u);
    icon.SetShowHint(true);
    icon.SetHint("\xC9\xE8\xD6\xC3");
    EXPECT_STREQ(LastRecord().szTip, "\xC9\xE8\xD6\xC3");
}

TEST_F(NotifyIconTest, IconChangesReachTheNotificationAreaAtOnce) {
    TNotifyIcon icon(platform, owner);
    icon.SetIconVisible(true);
    const std::size_t before = platform.requests.size();
    icon.SetIcon(FakeIconImage(StoredIcon));
    // The copy itself is not reported: exactly one update for the assignment.
    ASSERT_EQ(platform.requests.size(), before + 1);
    EXPECT_EQ(platform.requests.back().request, TrayRequest::Modify);
    EXPECT_EQ(platform.ShownIcon(icon.IconId())->hIcon, StoredIcon);

    // A stored image that cannot be read goes out as no image rather than failing.
    static_cast<FakeIconImage&>(icon.Icon()).readable = false;
    EXPECT_TRUE(icon.UpdateTrayIcon());
    EXPECT_EQ(LastRecord().hIcon, 0u);
}

TEST_F(NotifyIconTest, FailedRequestsChangeNothingAndVisibleRecordsTheLastRequest) {
    TNotifyIcon icon(platform, owner);
    // Construction asks for a delete of the icon that is not there yet.
    ASSERT_FALSE(platform.requests.empty());
    EXPECT_EQ(platform.requests.front().request, TrayRequest::Delete);
    EXPECT_FALSE(platform.requests.front().accepted);
    EXPECT_FALSE(icon.UpdateTrayIcon()) << "update of an icon that is not shown";

    platform.trayAvailable = false;
    icon.SetIconVisible(true);
    EXPECT_FALSE(platform.requests.back().accepted);
    EXPECT_TRUE(icon.IconVisible());
    EXPECT_EQ(platform.IconCount(), 0u);
}

// ---------------------------------------------------------------------------------------
// Loading and start-up

TEST_F(NotifyIconTest, LoadingShowsExactlyOneIconWithImageZero) {
    auto icon = LoadLikeMainWindow();
    EXPECT_EQ(platform.IconCount(), 1u);
    // The stored IconVisible adds the icon while loading (with the stored icon); the second
    // add in Loaded is refused.
    std::vector<bool> adds;
    for (const auto& r : platform.requests)
        if (r.request == TrayRequest::Add)
            adds.push_back(r.accepted);
    EXPECT_THAT(adds, ElementsAre(true, false));
    EXPECT_EQ(platform.requests[1].record.hIcon, StoredIcon);
    EXPECT_EQ(platform.ShownIcon(icon->IconId())->hIcon, images.Picture(0));
    EXPECT_TRUE(icon->IconVisible());
}

TEST_F(NotifyIconTest, StartupEventCanKeepTheMainWindowHidden) {
    auto icon = LoadLikeMainWindow(false);
    EXPECT_THAT(startupSenders, ElementsAre(icon.get()));
    EXPECT_FALSE(platform.ShowMainForm());
    // No main window is registered while it is still loading: only the flag is cleared.
    EXPECT_TRUE(platform.calls.empty());
    EXPECT_EQ(platform.IconCount(), 1u);
}

TEST_F(NotifyIconTest, StartupEventLeavingTheFlagShowsTheMainWindow) {
    auto icon = LoadLikeMainWindow(true);
    EXPECT_EQ(startupSenders.size(), 1u);
    EXPECT_TRUE(platform.ShowMainForm());
    EXPECT_TRUE(platform.calls.empty());
}

TEST_F(NotifyIconTest, StartupHidesAnAlreadyRegisteredMainWindow) {
    platform.mainForm = owner;
    auto icon = LoadLikeMainWindow(false);
    EXPECT_THAT(platform.calls, ElementsAre("visible " + std::to_string(owner) + " 0",
                                            "hide " + std::to_string(platform.applicationWindow)));
}

TEST_F(NotifyIconTest, StartupIsRaisedOnlyForAWindowOwnerAndOnlyOnceForAnOrdinaryWindow) {
    TNotifyIcon ownerless(platform, NoWindow);
    int raised = 0;
    ownerless.OnStartup = [&](TNotifyIcon*, bool&) { ++raised; };
    ownerless.Loaded();
    EXPECT_EQ(raised, 0);

    auto icon = LoadLikeMainWindow();
    platform.mainForm = owner;
    platform.SendMessage(platform.applicationWindow, {msg::WindowPosChanged, 0, 0});
    EXPECT_EQ(startupSenders.size(), 1u);
}

TEST_F(NotifyIconTest, MultiDocumentMainWindowGetsOneMoreStartupOnItsFirstMove) {
    auto icon = LoadLikeMainWindow(false);
    // Before a main window is registered the position change does not count.
    platform.SendMessage(platform.applicationWindow, {msg::WindowPosChanged, 0, 0});
    platform.mainForm = owner;
    platform.mainFormIsMdiFrame = true;
    platform.SendMessage(platform.applicationWindow, {msg::WindowPosChanged, 0, 0});
    platform.SendMessage(platform.applicationWindow, {msg::WindowPosChanged, 0, 0});
    EXPECT_EQ(startupSenders.size(), 2u);
    EXPECT_THAT(platform.calls, ElementsAre("hide " + std::to_string(platform.applicationWindow)));
}

// ---------------------------------------------------------------------------------------
// Image list and index

TEST_F(NotifyIconTest, IconIndexIsClampedToTheImageList) {
    TNotifyIcon icon(platform, owner);
    icon.SetIconVisible(true);
    icon.SetIconIndex(3);
    EXPECT_EQ(icon.IconIndex(), 0) << "no image list";

    icon.SetIconList(&images);
    icon.SetIconIndex(5);
    EXPECT_EQ(icon.IconIndex(), 1);
    EXPECT_EQ(platform.ShownIcon(icon.IconId())->hIcon, images.Picture(1));

    // No lower clamp: a negative index finds no image and the icon becomes empty.
    icon.SetIconIndex(-1);
    EXPECT_EQ(icon.IconIndex(), -1);
    EXPECT_EQ(platform.ShownIcon(icon.IconId())->hIcon, 0u);

    FakeImageList empty(0);
    icon.SetIconList(&empty);
    EXPECT_EQ(icon.IconIndex(), -1);
    EXPECT_TRUE(icon.Icon().Empty());
}

TEST_F(NotifyIconTest, ReferencedComponentsGoingAwayAreForgotten) {
    auto icon = LoadLikeMainWindow();
    icon->SetIconIndex(1);
    icon->Notification(&images, TOperation::opRemove);
    EXPECT_EQ(icon->IconList(), nullptr);
    EXPECT_EQ(icon->IconIndex(), 0);
    EXPECT_EQ(platform.ShownIcon(icon->IconId())->hIcon, images.Picture(1)) << "keeps its image";

    const auto key = std::make_pair(icon->IconRecord().hWnd, icon->IconId());
    icon->Notification(&menu, TOperation::opInsert);
    EXPECT_EQ(icon->PopupMenu(), &menu);
    EXPECT_EQ(platform.trayMenus.at(key), &menu) << "a host that draws menus has it";
    icon->Notification(&menu, TOperation::opRemove);
    EXPECT_EQ(icon->PopupMenu(), nullptr);
    EXPECT_EQ(platform.trayMenus.at(key), nullptr) << "nor may a host keep a menu that is gone";
    platform.Notify(icon->IconId(), msg::RButtonDown);
    EXPECT_TRUE(menu.popups.empty());

    icon->SetPopupMenu(&menu);
    icon.reset();
    EXPECT_EQ(platform.trayMenus.at(key), nullptr) << "the icon's end takes its menu back";
}

// ---------------------------------------------------------------------------------------
// Notifications

TEST_F(NotifyIconTest, MouseRowsRaiseTheirEventsWithKeysButtonAndCursor) {
    TNotifyIcon icon(platform, owner);
    EventLog log;
    log.Attach(icon);
    platform.keys = ssShift | ssCtrl;
    platform.cursor = TrayPoint{12, 34};
    const std::uint32_t id = icon.IconId();
    for (std::uint32_t kind : {msg::MouseMove, msg::RButtonDown, msg::RButtonUp, msg::MButtonDown,
                               msg::MButtonUp, msg::RButtonDblClk, msg::MButtonDblClk, 0x300u})
        platform.Notify(id, kind);
    EXPECT_THAT(log.events,
                ElementsAre("move 12,34",
                            "down 1 " + std::to_string(ssShift | ssCtrl | ssRight) + " 12,34",
                            "up 1 " + std::to_string(ssShift | ssCtrl | ssRight),
                            "down 2 " + std::to_string(ssShift | ssCtrl | ssMiddle) + " 12,34",
                            "up 2 " + std::to_string(ssShift | ssCtrl | ssMiddle)));
}

TEST_F(NotifyIconTest, DisabledIconIgnoresTheMouseButNotBalloons) {
    auto icon = LoadLikeMainWindow();
    EventLog log;
    log.Attach(*icon);
    log.AttachDblClick(*icon);
    icon->SetEnabled(false);
    const std::uint32_t id = icon->IconId();
    for (std::uint32_t kind : {msg::MouseMove, msg::LButtonDown, msg::LButtonUp, msg::LButtonDblClk,
                               msg::RButtonDown, msg::RButtonUp, msg::MButtonDown, msg::MButtonUp,
                               msg::BalloonHide, msg::BalloonTimeout, msg::BalloonUserClick})
        platform.Notify(id, kind);
    platform.Advance(1000);
    EXPECT_THAT(log.events, ElementsAre("balloon-hide", "balloon-timeout", "balloon-click"));
    EXPECT_TRUE(menu.popups.empty());
    EXPECT_TRUE(platform.RunningTimers().empty());
}

TEST_F(NotifyIconTest, NotificationsReachTheirOwnIconOnly) {
    TNotifyIcon first(platform, owner);
    auto second = std::make_unique<TNotifyIcon>(platform, owner);
    int firstClicks = 0, secondClicks = 0;
    first.OnClick = [&](TNotifyIcon* sender) {
        EXPECT_EQ(sender, &first);
        ++firstClicks;
    };
    second->OnClick = [&](TNotifyIcon*) { ++secondClicks; };
    Click(*second);
    EXPECT_EQ(secondClicks, 1);
    EXPECT_EQ(firstClicks, 0);

    // A notification still on its way for an icon that is gone reaches nobody.
    const std::uint32_t gone = second->IconId();
    second.reset();
    Click(first);
    EXPECT_EQ(firstClicks, 1);
    platform.Notify(gone, msg::LButtonDown);
    platform.Notify(gone, msg::LButtonUp);
    platform.Notify(12345, msg::LButtonUp);
    EXPECT_EQ(firstClicks, 1);
}

// ---------------------------------------------------------------------------------------
// Click and double-click

// Records DoDblClick even while OnDblClick is unassigned.
class DblClickRecordingIcon : public TNotifyIcon {
public:
    using TNotifyIcon::TNotifyIcon;
    std::vector<std::string>* log = nullptr;

protected:
    void DoDblClick() override {
        log->push_back("DoDblClick");
        TNotifyIcon::DoDblClick();
    }
};

TEST_F(NotifyIconTest, WithoutDblClickHandlerEveryReleaseClicksAtOnce) {
    DblClickRecordingIcon icon(platform, owner);
    EventLog log;
    icon.log = &log.events;
    icon.OnClick = [&](TNotifyIcon*) { log.events.push_back("click"); };
    Click(icon);
    EXPECT_THAT(log.events, ElementsAre("click"));
    log.events.clear();
    DoubleClick(icon);
    EXPECT_THAT(log.events, ElementsAre("click", "DoDblClick"));
    EXPECT_TRUE(platform.RunningTimers().empty()) << "no click timer without OnDblClick";
}

TEST_F(NotifyIconTest, WithDblClickHandlerAClickWaitsForTheDoubleClickTime) {
    TNotifyIcon icon(platform, owner);
    EventLog log;
    log.Attach(icon);
    log.AttachDblClick(icon);
    platform.doubleClickTime = 400;
    Click(icon);
    EXPECT_THAT(log.events, ElementsAre("down 0 8 640,1000", "up 0 8"));
    platform.Advance(399);
    EXPECT_EQ(log.events.size(), 2u);
    platform.Advance(1);
    EXPECT_EQ(log.events.back(), "click");
    EXPECT_TRUE(platform.RunningTimers().empty()) << "the click timer stops at its first tick";
}

TEST_F(NotifyIconTest, WithDblClickHandlerADoubleClickRaisesOnlyTheDoubleClick) {
    TNotifyIcon icon(platform, owner);
    EventLog log;
    icon.OnClick = [&](TNotifyIcon*) { log.events.push_back("click"); };
    log.AttachDblClick(icon);
    DoubleClick(icon);
    platform.Advance(2000);
    EXPECT_THAT(log.events, ElementsAre("dblclick"));
    // And the next single click is a click again.
    Click(icon);
    platform.Advance(500);
    EXPECT_THAT(log.events, ElementsAre("dblclick", "click"));
}

TEST_F(NotifyIconTest, HeldPressClicksAtItsRelease) {
    TNotifyIcon icon(platform, owner);
    EventLog log;
    icon.OnClick = [&](TNotifyIcon*) { log.events.push_back("click"); };
    log.AttachDblClick(icon);
    platform.Notify(icon.IconId(), msg::LButtonDown);
    platform.Advance(800);
    EXPECT_TRUE(log.events.empty());
    platform.Notify(icon.IconId(), msg::LButtonUp);
    EXPECT_THAT(log.events, ElementsAre("click"));
    platform.Advance(800);
    EXPECT_THAT(log.events, ElementsAre("click"));
}

TEST_F(NotifyIconTest, DoubleClickClicksTheFirstDefaultMenuItem) {
    menu.AddItem("exit", true);
    menu.AddItem("other default", true);
    auto icon = LoadLikeMainWindow();
    DoubleClick(*icon);
    EXPECT_EQ(menu.items[2].clicks, 1);
    EXPECT_EQ(menu.items[3].clicks, 0);
    EXPECT_TRUE(menu.popups.empty());

    // Not with the left button opening the menu, nor with auto-popup off.
    icon->SetLeftPopup(true);
    platform.Notify(icon->IconId(), msg::LButtonDblClk);
    icon->SetLeftPopup(false);
    menu.autoPopup = false;
    platform.Notify(icon->IconId(), msg::LButtonDblClk);
    EXPECT_EQ(menu.items[2].clicks, 1);
}

TEST_F(NotifyIconTest, DoubleClickLeavesAMenuWithoutDefaultItemAlone) {
    auto icon = LoadLikeMainWindow();
    DoubleClick(*icon);
    for (const auto& item : menu.items)
        EXPECT_EQ(item.clicks, 0);
}

// ---------------------------------------------------------------------------------------
// The popup menu

TEST_F(NotifyIconTest, RightPressOpensTheMenuAtTheCursorBeforeTheRelease) {
    auto icon = LoadLikeMainWindow();
    std::vector<std::string> order;
    icon->OnMouseDown = [&](TNotifyIcon*, TMouseButton, TShiftState, int, int) {
        order.push_back("down");
    };
    menu.whileOpen = [&] {
        order.push_back("menu");
        EXPECT_EQ(menu.popupComponent, icon.get());
    };
    platform.cursor = TrayPoint{1200, 790};
    platform.Notify(icon->IconId(), msg::RButtonDown);
    EXPECT_THAT(menu.popups, ElementsAre(TrayPoint{1200, 790}));
    EXPECT_THAT(order, ElementsAre("down", "menu"));
    // The application comes to the front and pending messages run before the menu opens.
    const std::string app = std::to_string(platform.applicationWindow);
    EXPECT_THAT(platform.calls, ElementsAre("foreground " + app, "process-messages",
                                            "post-null " + std::to_string(owner)));
    platform.Notify(icon->IconId(), msg::RButtonUp);
    EXPECT_EQ(menu.popups.size(), 1u);
}

TEST_F(NotifyIconTest, LeftButtonOpensTheMenuOnlyWithLeftPopup) {
    auto icon = LoadLikeMainWindow();
    std::vector<std::string> order;
    icon->OnMouseDown = [&](TNotifyIcon*, TMouseButton, TShiftState, int, int) {
        order.push_back("down");
    };
    menu.whileOpen = [&] { order.push_back("menu"); };
    Click(*icon);
    EXPECT_TRUE(menu.popups.empty());
    icon->SetLeftPopup(true);
    Click(*icon);
    EXPECT_THAT(order, ElementsAre("down", "down", "menu"));
}

TEST_F(NotifyIconTest, NoMenuWithoutAutoPopupOrCursor) {
    auto icon = LoadLikeMainWindow();
    menu.autoPopup = false;
    platform.Notify(icon->IconId(), msg::RButtonDown);
    menu.autoPopup = true;
    platform.cursor.reset();
    platform.Notify(icon->IconId(), msg::RButtonDown);
    EXPECT_TRUE(menu.popups.empty());
    EXPECT_TRUE(platform.calls.empty());
}

// ---------------------------------------------------------------------------------------
// Minimise to tray and back

TEST_F(NotifyIconTest, MinimisingHidesTheMainWindowAndItsTaskbarEntryIntoTheTray) {
    auto icon = LoadLikeMainWindow();
    platform.mainForm = owner;
    const std::size_t before = platform.requests.size();
    platform.SendMessage(platform.applicationWindow, {msg::Size, msg::SizeMinimized, 0});
    EXPECT_THAT(platform.calls, ElementsAre("visible " + std::to_string(owner) + " 0",
                                            "hide " + std::to_string(platform.applicationWindow)));
    EXPECT_FALSE(platform.Visible(owner));
    EXPECT_TRUE(platform.Minimized(platform.applicationWindow));
    // The icon stays: the add request is refused and IconVisible stays true.
    ASSERT_EQ(platform.requests.size(), before + 1);
    EXPECT_EQ(platform.requests.back().request, TrayRequest::Add);
    EXPECT_EQ(platform.IconCount(), 1u);
    EXPECT_TRUE(icon->IconVisible());

    // Showing the main window explicitly restores the application and puts both in front.
    platform.calls.clear();
    platform.SendMessage(owner, {msg::ShowWindow, 1, 0});
    const std::string app = std::to_string(platform.applicationWindow);
    EXPECT_THAT(platform.calls, ElementsAre("restore " + app, "foreground " + app,
                                            "foreground " + std::to_string(owner)));
    EXPECT_FALSE(platform.Minimized(platform.applicationWindow));
}

TEST_F(NotifyIconTest, MinimisingPutsAHiddenIconBack) {
    auto icon = LoadLikeMainWindow();
    icon->SetIconVisible(false);
    platform.SendMessage(platform.applicationWindow, {msg::Size, msg::SizeMinimized, 0});
    EXPECT_EQ(platform.IconCount(), 1u);
    EXPECT_TRUE(icon->IconVisible());
}

TEST_F(NotifyIconTest, OtherSizesShowsAndMinimiseWithoutTheFlagChangeNothing) {
    auto icon = LoadLikeMainWindow();
    platform.mainForm = owner;
    icon->SetMinimizeToTray(false);
    platform.SendMessage(platform.applicationWindow, {msg::Size, msg::SizeMinimized, 0});
    icon->SetMinimizeToTray(true);
    platform.SendMessage(platform.applicationWindow, {msg::Size, 0, 0});
    platform.SendMessage(owner, {msg::ShowWindow, 1, 3}); // shown by the system
    platform.SendMessage(owner, {msg::ShowWindow, 0, 0}); // being hidden
    EXPECT_TRUE(platform.calls.empty());
}

TEST_F(NotifyIconTest, ActivationGivesTheFocusBackToTheActiveControl) {
    auto icon = LoadLikeMainWindow();
    const WindowHandle edit = platform.CreateWindow();
    const WindowHandle other = platform.CreateWindow();
    platform.activeControl = TrayPlatform::ActiveControlWindows{edit, owner};
    platform.SendMessage(owner, {msg::Activate, msg::Active, static_cast<std::intptr_t>(other)});
    platform.SendMessage(owner,
                         {msg::Activate, msg::ActiveByClick, static_cast<std::intptr_t>(owner)});
    platform.SendMessage(owner, {msg::Activate, 0, static_cast<std::intptr_t>(other)});
    EXPECT_THAT(platform.calls, ElementsAre("focus " + std::to_string(edit)));
}

// ---------------------------------------------------------------------------------------
// Taskbar restart

TEST_F(NotifyIconTest, TaskbarRestartAddsAVisibleIconAgainWithTheCurrentImage) {
    auto icon = LoadLikeMainWindow();
    icon->SetIconIndex(1);
    platform.BroadcastTaskbarCreated();
    EXPECT_EQ(platform.IconCount(), 1u);
    EXPECT_EQ(platform.requests.back().request, TrayRequest::Add);
    EXPECT_EQ(platform.ShownIcon(icon->IconId())->hIcon, images.Picture(1));
}

TEST_F(NotifyIconTest, TaskbarRestartLeavesAHiddenIconOut) {
    auto icon = LoadLikeMainWindow();
    icon->SetIconVisible(false);
    const std::size_t before = platform.requests.size();
    platform.BroadcastTaskbarCreated();
    EXPECT_EQ(platform.requests.size(), before);
    EXPECT_EQ(platform.IconCount(), 0u);
}

// ---------------------------------------------------------------------------------------
// Cycling, enter/exit and timers

TEST_F(NotifyIconTest, CyclingShowsEachImageInTurnAndReportsTheNextIndex) {
    FakeImageList three(3);
    TNotifyIcon icon(platform, owner);
    std::vector<int> next;
    icon.OnCycle = [&](TNotifyIcon* sender, std::int32_t n) {
        EXPECT_EQ(sender, &icon);
        next.push_back(n);
    };
    icon.SetIconList(&three);
    icon.SetIconVisible(true);
    icon.SetIconIndex(2);
    icon.SetCycleInterval(100);
    icon.SetCycleIcons(true);
    std::vector<IconHandle> shown{platform.ShownIcon(icon.IconId())->hIcon};
    for (int i = 0; i < 4; ++i) {
        platform.Advance(100);
        shown.push_back(platform.ShownIcon(icon.IconId())->hIcon);
    }
    EXPECT_THAT(shown, ElementsAre(100u, 101u, 102u, 100u, 101u));
    EXPECT_THAT(next, ElementsAre(1, 2, 0, 1));

    // A new interval restarts the cycle at 0.
    icon.SetCycleInterval(250);
    EXPECT_EQ(icon.IconIndex(), 0);
    ASSERT_EQ(platform.RunningTimers().size(), 1u);
    EXPECT_EQ(platform.RunningTimers()[0].interval, 250u);

    icon.SetCycleIcons(false);
    EXPECT_TRUE(platform.RunningTimers().empty());
    platform.Advance(1000);
    EXPECT_EQ(next.size(), 4u);
}

TEST_F(NotifyIconTest, CyclingWithoutImageListDoesNothing) {
    TNotifyIcon icon(platform, owner);
    int cycles = 0;
    icon.OnCycle = [&](TNotifyIcon*, std::int32_t) { ++cycles; };
    icon.SetCycleInterval(50);
    icon.SetCycleIcons(true);
    platform.Advance(500);
    EXPECT_EQ(cycles, 0);
}

TEST_F(NotifyIconTest, EnterAndExitFollowTheCursor) {
    TNotifyIcon icon(platform, owner);
    EventLog log;
    log.Attach(icon);
    icon.SetWantEnterExitEvents(true);
    ASSERT_EQ(platform.RunningTimers().size(), 1u);
    EXPECT_EQ(platform.RunningTimers()[0].interval, 20u);

    platform.cursor = TrayPoint{5, 5};
    platform.Notify(icon.IconId(), msg::MouseMove);
    platform.Notify(icon.IconId(), msg::MouseMove);
    platform.Advance(100);
    EXPECT_THAT(log.events, ElementsAre("enter", "move 5,5", "move 5,5"));

    platform.cursor = TrayPoint{5, 6};
    platform.Advance(20);
    platform.Advance(100);
    EXPECT_THAT(log.events, ElementsAre("enter", "move 5,5", "move 5,5", "exit"));

    // Back over the icon: a new enter.
    platform.Notify(icon.IconId(), msg::MouseMove);
    EXPECT_EQ(log.events.back(), "move 5,6");
    EXPECT_EQ(log.events[log.events.size() - 2], "enter");
}

TEST_F(NotifyIconTest, NoEnterExitWithoutTheFeature) {
    TNotifyIcon icon(platform, owner);
    EventLog log;
    log.Attach(icon);
    icon.SetWantEnterExitEvents(true);
    icon.SetWantEnterExitEvents(false);
    EXPECT_TRUE(platform.RunningTimers().empty());
    platform.Notify(icon.IconId(), msg::MouseMove);
    platform.cursor = TrayPoint{0, 0};
    platform.Advance(100);
    EXPECT_THAT(log.events, ElementsAre("move 640,1000"));
}

TEST_F(NotifyIconTest, NoTimerRunsForTheMainWindowsUse) {
    auto icon = LoadLikeMainWindow();
    EXPECT_TRUE(platform.RunningTimers().empty());
    Click(*icon);
    DoubleClick(*icon);
    platform.Notify(icon->IconId(), msg::MouseMove);
    icon->SetIconIndex(1);
    EXPECT_TRUE(platform.RunningTimers().empty());
}

// ---------------------------------------------------------------------------------------
// Destruction and shared handler windows

TEST_F(NotifyIconTest, DestructionRemovesTheIconFiltersAndSharedWindows) {
    auto icon = LoadLikeMainWindow();
    icon->SetWantEnterExitEvents(true);
    EXPECT_EQ(platform.FilterCount(platform.applicationWindow), 1u);
    EXPECT_EQ(platform.FilterCount(owner), 1u);
    EXPECT_EQ(platform.HiddenWindowCount(), 2u) << "one handler window, one timer window";

    auto second = std::make_unique<TNotifyIcon>(platform, owner);
    EXPECT_EQ(platform.HiddenWindowCount(), 2u) << "shared by every icon";
    second.reset();
    EXPECT_EQ(platform.HiddenWindowCount(), 2u);

    icon.reset();
    EXPECT_EQ(platform.IconCount(), 0u);
    EXPECT_EQ(platform.requests.back().request, TrayRequest::Delete);
    EXPECT_TRUE(platform.RunningTimers().empty());
    EXPECT_EQ(platform.FilterCount(platform.applicationWindow), 0u);
    EXPECT_EQ(platform.FilterCount(owner), 0u);
    EXPECT_EQ(platform.HiddenWindowCount(), 0u);

    // A new icon gets a new handler window and works as the first did.
    TNotifyIcon again(platform, owner);
    again.SetIconVisible(true);
    EXPECT_EQ(platform.IconCount(), 1u);
}

TEST_F(NotifyIconTest, DestroyingTheImageListFirstKeepsTheLastImage) {
    auto images2 = std::make_unique<FakeImageList>(2, 500);
    auto icon = LoadLikeMainWindow();
    icon->SetIconList(images2.get());
    icon->SetIconIndex(1);
    icon->Notification(images2.get(), TOperation::opRemove);
    images2.reset();
    icon->SetIconIndex(1);
    EXPECT_EQ(icon->IconIndex(), 0);
    EXPECT_EQ(platform.ShownIcon(icon->IconId())->hIcon, 501u);
}

TEST_F(NotifyIconTest, DesignPreviewAddsAndRemovesWithoutTouchingIconVisible) {
    TNotifyIcon icon(platform, owner);
    icon.SetDesignPreview(true);
    EXPECT_EQ(platform.IconCount(), 1u);
    EXPECT_FALSE(icon.IconVisible());
    icon.SetIconVisible(true);
    icon.SetDesignPreview(false);
    EXPECT_EQ(platform.IconCount(), 0u);
    EXPECT_TRUE(icon.IconVisible());
}

} // namespace
} // namespace tarnwick
