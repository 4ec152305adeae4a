#include "ui/qt/Pictures.h"

#include <QImageReader>
#include <QPixmap>

namespace tarnwick {

QIcon Picture(const QString& path, std::initializer_list<int> sizes) {
    QIcon icon;
    for (int size : sizes) {
        // Read as PNG, never sniffed: finding a format out loads every image-format plugin
        // (Qt's SVG module among them), which is most of what reading costs at start.
        QImageReader reader(QStringLiteral("%1-%2.png").arg(path).arg(size), "png");
        reader.setAutoDetectImageFormat(false);
        icon.addPixmap(QPixmap::fromImage(reader.read()));
    }
    return icon;
}

} // namespace tarnwick
