// The floor of the start-up benchmark: the least a Qt program with one notification-area icon
// and one window does. Tarnwick is measured against it. With --label the window also shows one
// line of Chinese text, which shows what drawing CJK text costs by itself.
#include <QApplication>
#include <QIcon>
#include <QLabel>
#include <QPixmap>
#include <QSystemTrayIcon>
#include <QWidget>

#include <cstring>

int main(int argc, char** argv) {
    const bool label = argc > 1 && std::strcmp(argv[1], "--label") == 0;
    QApplication app(argc, argv);
    QWidget window;
    window.resize(346, 222);
    window.setWindowTitle(QStringLiteral("Floor"));
    if (label)
        (new QLabel(QStringLiteral("发送意见给作者。"), &window))->move(112, 88);
    QPixmap image(16, 16);
    image.fill(Qt::blue);
    QSystemTrayIcon icon{QIcon(image)};
    icon.show();
    window.show();
    return app.exec();
}
