#include "ui/qt/Pictures.h"

#include <QFile>
#include <QImage>
#include <QPixmap>

#include <png.h>

namespace tarnwick {

// Our pictures are PNGs of our own making, decoded here with the PNG library Qt itself links.
// Through QImageReader the first picture costs about 4 ms at start, spent finding out which
// image-format plugins there are, although PNG needs none of them.
QImage DecodePng(const QByteArray& data) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, data.constData(),
                                          static_cast<png_size_t>(data.size())))
        return {};
    // QImage's ARGB32 is one 0xAARRGGBB word a pixel, straight alpha.
    image.format = Q_BYTE_ORDER == Q_LITTLE_ENDIAN ? PNG_FORMAT_BGRA : PNG_FORMAT_ARGB;
    QImage decoded(static_cast<int>(image.width), static_cast<int>(image.height),
                   QImage::Format_ARGB32);
    if (decoded.isNull() ||
        !png_image_finish_read(&image, nullptr, decoded.bits(),
                               static_cast<png_int_32>(decoded.bytesPerLine()), nullptr)) {
        png_image_free(&image);
        return {};
    }
    return decoded;
}

QIcon Picture(const QString& path, std::initializer_list<int> sizes) {
    QIcon icon;
    for (int size : sizes) {
        QFile file(QStringLiteral("%1-%2.png").arg(path).arg(size));
        if (file.open(QIODevice::ReadOnly))
            icon.addPixmap(QPixmap::fromImage(DecodePng(file.readAll())));
    }
    return icon;
}

} // namespace tarnwick
