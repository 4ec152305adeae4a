// The windows' pictures: PNGs drawn from the SVG originals at build time (see CMakeLists.txt).
#pragma once

#include <QByteArray>
#include <QIcon>
#include <QImage>
#include <QString>

#include <initializer_list>

namespace tarnwick {

// A PNG's pixels, or a null image when the bytes are no PNG.
QImage DecodePng(const QByteArray& data);

// The picture at PATH-SIZE.png for each size, for the toolkit to choose from.
QIcon Picture(const QString& path, std::initializer_list<int> sizes);

} // namespace tarnwick
