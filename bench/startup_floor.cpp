// The floor of the start-up benchmark: the least a Qt program with one notification-area icon
// and one window does. Tarnwick is measured against it.
#include <QApplication>
#include <QIcon>
#include <QPixmap>
#include <QSystemTrayIcon>
#include <QWidget>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QWidget window;
    window.resize(346, 222);
    window.setWindowTitle(QStringLiteral("Floor"));
    QPixmap image(16, 16);
    image.fill(Qt::blue);
    QSystemTrayIcon icon{QIcon(image)};
    icon.show();
    window.show();
    return app.exec();
}
