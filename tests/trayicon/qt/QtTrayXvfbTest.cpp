// The Qt backend with a real notification area: an X server with a system tray, started by
// with-display.sh --tray. The icon is really added, its window docks into the tray, and the
// activation reasons arrive as the component's notifications.
#include "platform/qt/QtTray.h"
#include "trayicon/NotifyIcon.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QPixmap>
#include <QProcess>
#include <QSystemTrayIcon>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include <string>
#include <vector>

using namespace tarnwick;

namespace {

QIcon Colour(Qt::GlobalColor colour) {
    QPixmap pixmap(16, 16);
    pixmap.fill(colour);
    return QIcon(pixmap);
}

// Output of an X tool, empty when it cannot run.
QString Run(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(60000))
        return {};
    return QString::fromLocal8Bit(process.readAllStandardOutput());
}

// Windows of this program docked in the tray's panel, from the X server's window tree:
// the lines below the panel's that are indented deeper than it and carry the program's name.
int DockedIcons() {
    const QStringList lines = Run("xwininfo", {"-root", "-tree"}).split('\n');
    const QString name = '"' + QCoreApplication::applicationName() + '"';
    int panelIndent = -1;
    int docked = 0;
    for (const QString& line : lines) {
        const int indent = static_cast<int>(line.size() - line.trimmed().size());
        if (line.contains("(\"panel\" \"trayer\")")) {
            panelIndent = indent;
            continue;
        }
        if (panelIndent < 0 || line.trimmed().isEmpty())
            continue;
        if (indent <= panelIndent)
            panelIndent = -1;
        else if (line.contains(name))
            ++docked;
    }
    return docked;
}

} // namespace

class QtTrayXvfbTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        // The tray announces itself a moment after it starts; much later on a loaded machine.
        QTRY_VERIFY_WITH_TIMEOUT(QtTrayPlatform::TrayAvailable(), 60000);
    }

    // What the X server showed when a case failed: the window tree says whether the panel was
    // there and what was docked in it.
    void cleanup() {
        if (QTest::currentTestFailed())
            qInfo().noquote() << "X window tree at the failure:\n"
                              << Run("xwininfo", {"-root", "-tree"});
    }

    void iconIsReallyAddedAndDocksIntoTheTray() {
        QtTrayPlatform platform;
        QWidget mainForm;
        QtImageList images({Colour(Qt::blue), Colour(Qt::gray)});
        QMenu trayMenu;
        trayMenu.addAction("main window");
        QtPopupMenu popup(&trayMenu);

        QCOMPARE(DockedIcons(), 0);
        {
            TNotifyIcon icon(platform, QtTrayPlatform::Handle(&mainForm));
            icon.SetIconVisible(true);
            icon.SetIconIndex(0);
            icon.SetPopupMenu(&popup);
            icon.SetMinimizeToTray(true);
            icon.SetIconList(&images);
            icon.SetHint("Tarnwick");
            icon.Loaded();

            QSystemTrayIcon* tray = platform.TrayIcon(icon.IconId());
            QVERIFY(tray);
            QVERIFY(!platform.AddRefused());
            QVERIFY(tray->isVisible());
            QCOMPARE(tray->toolTip(), QString("Tarnwick"));
            // The component opens the menu itself on the right press.
            QCOMPARE(tray->contextMenu(), nullptr);

            // The icon's window shows up in the X window tree, inside the tray's panel.
            QTRY_COMPARE_WITH_TIMEOUT(DockedIcons(), 1, 60000);
            QVERIFY(!tray->geometry().isEmpty());

            // A second add is refused; the icon stays the one there is.
            QVERIFY(!icon.AddTrayIcon());
            QCOMPARE(platform.TrayIcon(icon.IconId()), tray);

            // A new image reaches the shown icon.
            icon.SetIconIndex(1);
            QCOMPARE(tray->icon().pixmap(16, 16).toImage().pixelColor(0, 0), QColor(Qt::gray));
        }
        // Destroying the component removes the icon.
        QTRY_COMPARE_WITH_TIMEOUT(DockedIcons(), 0, 60000);
    }

    void activationReasonsBecomeNotifications() {
        QtTrayPlatform platform;
        QWidget owner;
        QMenu trayMenu;
        trayMenu.addAction("main window");
        QtPopupMenu popup(&trayMenu);
        TNotifyIcon icon(platform, QtTrayPlatform::Handle(&owner));
        icon.SetIcon(QtIconImage(Colour(Qt::blue)));
        icon.SetIconVisible(true);
        icon.SetPopupMenu(&popup);
        std::vector<std::string> events;
        icon.OnClick = [&](TNotifyIcon*) { events.push_back("click"); };
        icon.OnMouseDown = [&](TNotifyIcon*, TMouseButton b, TShiftState, int, int) {
            events.push_back("down " + std::to_string(int(b)));
        };
        icon.OnMouseUp = [&](TNotifyIcon*, TMouseButton b, TShiftState, int, int) {
            events.push_back("up " + std::to_string(int(b)));
        };
        QObject::connect(&trayMenu, &QMenu::aboutToShow, [&] {
            events.push_back("menu");
            QTimer::singleShot(0, &trayMenu, [&] { trayMenu.close(); });
        });

        QSystemTrayIcon* tray = platform.TrayIcon(icon.IconId());
        QVERIFY(tray);
        emit tray->activated(QSystemTrayIcon::Trigger);
        emit tray->activated(QSystemTrayIcon::Context);
        emit tray->activated(QSystemTrayIcon::MiddleClick);
        const std::vector<std::string> expected{"down 0", "click", "up 0",   "down 1",
                                                "menu",   "up 1",  "down 2", "up 2"};
        QCOMPARE(events, expected);

        events.clear();
        int doubleClicks = 0;
        icon.OnDblClick = [&](TNotifyIcon*) { ++doubleClicks; };
        emit tray->activated(QSystemTrayIcon::DoubleClick);
        QCOMPARE(doubleClicks, 1);
        QVERIFY(events.empty());
    }
};

QTEST_MAIN(QtTrayXvfbTest)
#include "QtTrayXvfbTest.moc"
