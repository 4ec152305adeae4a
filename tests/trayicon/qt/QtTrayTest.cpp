// The Qt backend on the offscreen platform: timers, menus, window filters, and the add
// request refused where the desktop has no notification area.
#include "platform/qt/QtTray.h"
#include "trayicon/NotifyIcon.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QPixmap>
#include <QSignalSpy>
#include <QSystemTrayIcon>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include <memory>

using namespace tarnwick;

namespace {

QIcon Colour(Qt::GlobalColor colour) {
    QPixmap pixmap(16, 16);
    pixmap.fill(colour);
    return QIcon(pixmap);
}

void Count(void* data) {
    ++*static_cast<int*>(data);
}

// Counts the add requests the component makes.
class CountingIcon : public TNotifyIcon {
public:
    using TNotifyIcon::TNotifyIcon;
    int adds = 0;
    bool AddTrayIcon() override {
        ++adds;
        return TNotifyIcon::AddTrayIcon();
    }
};

// Counts the events of one type a widget receives.
class EventCounter : public QObject {
public:
    EventCounter(QWidget* widget, QEvent::Type type) : type_(type) {
        widget->installEventFilter(this);
    }
    int count = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == type_)
            ++count;
        return false;
    }

private:
    QEvent::Type type_;
};

} // namespace

class QtTrayTest : public QObject {
    Q_OBJECT

private slots:
    void timerTicksInTheEventLoopUntilStopped() {
        QtTrayPlatform platform;
        int ticks = 0;
        TTickTimer timer(platform, &ticks, &Count);
        QVERIFY(timer.Start(5));
        QTRY_VERIFY_WITH_TIMEOUT(ticks >= 3, 30000);
        QVERIFY(timer.Stop());
        QVERIFY(!timer.Stop());
        const int stoppedAt = ticks;
        QTest::qWait(60);
        QCOMPARE(ticks, stoppedAt);
    }

    void addIsRefusedAndReportedWithoutNotificationArea() {
        if (QtTrayPlatform::TrayAvailable())
            QSKIP("this desktop has a notification area");
        QtTrayPlatform platform;
        QSignalSpy refused(&platform, &QtTrayPlatform::trayUnavailable);
        QWidget owner;
        TNotifyIcon icon(platform, QtTrayPlatform::Handle(&owner));
        QVERIFY(!platform.AddRefused());
        QVERIFY(!icon.AddTrayIcon());
        QVERIFY(platform.AddRefused());
        QCOMPARE(refused.count(), 1);
        QVERIFY(icon.IconVisible());
        QCOMPARE(platform.TrayIcon(icon.IconId()), nullptr);
        QVERIFY(!icon.UpdateTrayIcon());
    }

    void trayAppearingLaterGetsTheVisibleIcon() {
        QtTrayPlatform platform;
        bool present = false;
        platform.SetTrayProbe([&] { return present; });
        QWidget owner;
        CountingIcon shown(platform, QtTrayPlatform::Handle(&owner));
        CountingIcon hidden(platform, QtTrayPlatform::Handle(&owner));
        shown.SetIcon(QtIconImage(Colour(Qt::blue)));
        shown.SetIconVisible(true);
        hidden.SetIconVisible(true);
        hidden.SetIconVisible(false);
        QVERIFY(platform.AddRefused());
        QCOMPARE(shown.adds, 1);
        QTest::qWait(QtTrayPlatform::TrayWatchInterval + 200);
        QCOMPARE(shown.adds, 1); // nothing while there is no notification area

        present = true;
        QTRY_COMPARE_WITH_TIMEOUT(shown.adds, 2, 30000);
        QVERIFY(platform.TrayIcon(shown.IconId()) != nullptr);
        QCOMPARE(hidden.adds, 1);
        QCOMPARE(platform.TrayIcon(hidden.IconId()), nullptr);
    }

    void imageListCopiesIntoTheIconObjectAndClamps() {
        QtTrayPlatform platform;
        QtImageList images({Colour(Qt::blue), Colour(Qt::gray)});
        TNotifyIcon icon(platform, NoWindow);
        icon.SetIconList(&images);
        icon.SetIconIndex(7);
        QCOMPARE(icon.IconIndex(), 1);
        auto& image = static_cast<QtIconImage&>(icon.Icon());
        QCOMPARE(image.icon().pixmap(16, 16).toImage().pixelColor(0, 0), QColor(Qt::gray));
        QVERIFY(icon.IconRecord().hIcon != 0);
        icon.SetIconIndex(-1);
        QVERIFY(image.Empty());
        QCOMPARE(icon.IconRecord().hIcon, IconHandle(0));
    }

    void rightPressOpensTheQMenuAtTheCursorAndLeavesTheWindowsAlone() {
        QtTrayPlatform platform;
        // The main window is shown but another window of the program is the active one, as
        // when the user works in it and then goes to the tray icon.
        QWidget mainForm;
        QWidget other;
        mainForm.setGeometry(0, 0, 200, 100);
        other.setGeometry(300, 300, 200, 100);
        platform.SetMainForm(&mainForm);
        mainForm.show();
        other.show();
        QVERIFY(QTest::qWaitForWindowExposed(&mainForm));
        QVERIFY(QTest::qWaitForWindowExposed(&other));
        other.activateWindow();
        QTRY_COMPARE_WITH_TIMEOUT(QApplication::activeWindow(), &other, 30000);
        EventCounter mainActivations(&mainForm, QEvent::WindowActivate);

        QMenu menu;
        QAction* main = menu.addAction("main");
        menu.addSeparator();
        menu.addAction("exit");
        QtPopupMenu popup(&menu);
        QCOMPARE(popup.ItemCount(), 3);

        TNotifyIcon icon(platform, QtTrayPlatform::Handle(&mainForm));
        icon.SetPopupMenu(&popup);
        int shown = 0;
        QPoint shownAt;
        QObject::connect(&menu, &QMenu::aboutToShow, [&] {
            ++shown;
            // Closed from inside its modal loop, after the events the press let through.
            QTimer::singleShot(50, &menu, [&] {
                shownAt = menu.pos();
                menu.close();
            });
        });
        QCursor::setPos(300, 200);
        TTrayIconHandler& handler = TTrayIconHandler::Acquire(platform);
        for (int press = 1; press <= 2; ++press) {
            handler.TrayNotification(icon.IconId(), msg::RButtonDown);
            handler.TrayNotification(icon.IconId(), msg::RButtonUp);
            QCOMPARE(shown, press);
            QCOMPARE(shownAt, QCursor::pos());
            QCOMPARE(popup.PopupComponent(), static_cast<void*>(&icon));
        }
        // The menu needs the program in front, not its main window. (Where the activation
        // goes when the popup closes is the platform's affair.)
        QCOMPARE(QApplication::activePopupWidget(), nullptr);
        QCoreApplication::processEvents();
        QCOMPARE(mainActivations.count, 0);

        // A double-click triggers the menu's default action.
        QSignalSpy triggered(main, &QAction::triggered);
        handler.TrayNotification(icon.IconId(), msg::LButtonDblClk);
        QCOMPARE(triggered.count(), 0);
        menu.setDefaultAction(main);
        QVERIFY(popup.ItemIsDefault(0));
        handler.TrayNotification(icon.IconId(), msg::LButtonDblClk);
        QCOMPARE(triggered.count(), 1);
        handler.Release();
    }

    void onlyAStatusNotifierHostIsHandedTheMenu() {
        for (const bool host : {false, true}) {
            QtTrayPlatform platform;
            platform.SetTrayProbe([] { return true; });
            platform.SetMenuHostProbe([host] { return host; });
            QMenu menu;
            QAction* main = menu.addAction("main");
            menu.addSeparator();
            QAction* toggle = menu.addAction("disable");
            QtPopupMenu popup(&menu);

            TNotifyIcon icon(platform, NoWindow);
            icon.SetIcon(QtIconImage(Colour(Qt::blue)));
            // Handed over whichever comes first, the menu or the icon.
            icon.SetPopupMenu(&popup);
            icon.SetIconVisible(true);
            QSystemTrayIcon* shown = platform.TrayIcon(icon.IconId());
            QVERIFY(shown != nullptr);
            if (!host) {
                // An XEmbed tray: a context menu would make Qt pop it up beside the program's.
                QCOMPARE(shown->contextMenu(), nullptr);
                QCOMPARE(platform.HostMenu(icon.IconId()), nullptr);
                continue;
            }
            QMenu* hosted = platform.HostMenu(icon.IconId());
            QVERIFY(hosted != nullptr && hosted != &menu);
            QCOMPARE(shown->contextMenu(), hosted);
            QCOMPARE(hosted->actions(), menu.actions());
            // The same actions: the host's choice runs the item's handler, captions follow.
            QSignalSpy triggered(toggle, &QAction::triggered);
            hosted->actions().at(2)->trigger();
            QCOMPARE(triggered.count(), 1);
            toggle->setText("enable");
            QCOMPARE(hosted->actions().at(2)->text(), QString("enable"));

            icon.SetPopupMenu(nullptr);
            QVERIFY(hosted->actions().isEmpty());
            icon.SetPopupMenu(&popup);
            QCOMPARE(hosted->actions().first(), main);
            icon.SetIconVisible(false);
            QCOMPARE(platform.HostMenu(icon.IconId()), nullptr);
        }
    }

    void menuDestroyedFirstLeavesAnEmptyAdapter() {
        QtTrayPlatform platform;
        // The action outlives the menu, as one owned by the window would.
        QObject owner;
        auto* action = new QAction("main", &owner);
        auto menu = std::make_unique<QMenu>();
        menu->addAction(action);
        menu->setDefaultAction(action);
        QtPopupMenu popup(menu.get());
        QSignalSpy triggered(action, &QAction::triggered);
        popup.ClickItem(0);
        QCOMPARE(triggered.count(), 1);

        TNotifyIcon icon(platform, NoWindow);
        icon.SetPopupMenu(&popup);
        int presses = 0;
        icon.OnMouseDown = [&](TNotifyIcon*, TMouseButton, TShiftState, int, int) { ++presses; };
        menu.reset();
        QCOMPARE(popup.ItemCount(), 0);
        QVERIFY(!popup.ItemIsDefault(0));
        popup.ClickItem(0);
        QCOMPARE(triggered.count(), 1);

        // Neither the press nor the double-click reaches a menu that is gone; a popup that
        // opened all the same is closed by the guard, so the test ends either way.
        bool popupSeen = false;
        QTimer guard;
        QObject::connect(&guard, &QTimer::timeout, [&] {
            if (QWidget* open = QApplication::activePopupWidget()) {
                popupSeen = true;
                open->close();
            }
        });
        guard.start(100);
        TTrayIconHandler& handler = TTrayIconHandler::Acquire(platform);
        handler.TrayNotification(icon.IconId(), msg::RButtonDown);
        handler.TrayNotification(icon.IconId(), msg::RButtonUp);
        handler.TrayNotification(icon.IconId(), msg::LButtonDblClk);
        popup.Popup(TrayPoint{1, 1});
        handler.Release();
        QCOMPARE(presses, 1);
        QVERIFY(!popupSeen);
        QCOMPARE(QApplication::activePopupWidget(), nullptr);
        QCOMPARE(triggered.count(), 1);
    }

    void minimisingHidesTheMainWindowAndShowingRestoresIt() {
        QtTrayPlatform platform;
        QWidget mainForm;
        mainForm.resize(200, 100);
        {
            TNotifyIcon icon(platform, QtTrayPlatform::Handle(&mainForm));
            icon.SetMinimizeToTray(true);
            icon.Loaded();
            platform.SetMainForm(&mainForm);
            mainForm.show();
            QVERIFY(QTest::qWaitForWindowExposed(&mainForm));

            mainForm.showMinimized();
            QTRY_VERIFY_WITH_TIMEOUT(!mainForm.isVisible(), 30000);
            QVERIFY(icon.IconVisible());

            // The tray menu's "main window" item shows it explicitly.
            mainForm.show();
            QVERIFY(mainForm.isVisible());
            QVERIFY(!mainForm.isMinimized());
        }
        // The component's filters leave with it.
        mainForm.showMinimized();
        QTest::qWait(20);
        QVERIFY(mainForm.isVisible());
    }

    void startupCanKeepTheMainWindowHidden() {
        for (const bool keepShown : {false, true}) {
            QtTrayPlatform platform;
            // The main window is on the screen when its loading ends, as a form created
            // visible is.
            QWidget mainForm;
            mainForm.resize(200, 100);
            platform.SetMainForm(&mainForm);
            mainForm.show();
            QVERIFY(QTest::qWaitForWindowExposed(&mainForm));
            TNotifyIcon icon(platform, QtTrayPlatform::Handle(&mainForm));
            icon.OnStartup = [&](TNotifyIcon*, bool& show) { show = keepShown; };
            QVERIFY(platform.ShowMainForm());
            icon.Loaded();
            QCOMPARE(platform.ShowMainForm(), keepShown);
            QCOMPARE(mainForm.isVisible(), keepShown);
        }
    }
};

QTEST_MAIN(QtTrayTest)
#include "QtTrayTest.moc"
