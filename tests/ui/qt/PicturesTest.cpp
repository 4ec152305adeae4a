// The windows' pictures, decoded as the windows decode them, against Qt's own reading of them.
#include "ui/qt/Pictures.h"

#include <QBuffer>
#include <QDirIterator>
#include <QFile>
#include <QtTest>

static void InitPictures() {
    Q_INIT_RESOURCE(editor);
    Q_INIT_RESOURCE(mainUnit);
    Q_INIT_RESOURCE(toolBar);
}

using tarnwick::DecodePng;

class PicturesTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { InitPictures(); }

    void everyPictureIsQtsReadingOfItPixelForPixel() {
        int pictures = 0;
        QDirIterator it(QStringLiteral(":/"), {QStringLiteral("*.png")}, QDir::Files,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            QFile file(path);
            QVERIFY(file.open(QIODevice::ReadOnly));
            const QImage ours = DecodePng(file.readAll());
            QVERIFY2(!ours.isNull(), qPrintable(path));
            QCOMPARE(ours, QImage(path).convertToFormat(QImage::Format_ARGB32));
            ++pictures;
        }
        // The editor's five, the main window's two emblems and four tools, at every size.
        QCOMPARE(pictures, 5 * 2 + 2 * 7 + 4 * 2);
    }

    // Translucent pixels keep their colour and alpha apart (straight, not premultiplied), and
    // the channels keep their order.
    void translucentColoursSurviveTheRoundTrip() {
        QImage image(3, 1, QImage::Format_ARGB32);
        image.setPixel(0, 0, qRgba(255, 0, 0, 128));
        image.setPixel(1, 0, qRgba(0, 200, 0, 255));
        image.setPixel(2, 0, qRgba(10, 20, 250, 0));
        QBuffer png;
        png.open(QIODevice::WriteOnly);
        QVERIFY(image.save(&png, "PNG"));
        QCOMPARE(DecodePng(png.data()), image);
    }

    void bytesThatAreNoWholePngGiveNoPicture() {
        QFile file(QStringLiteral(":/editor/insert-20.png"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray png = file.readAll();
        QVERIFY(DecodePng(QByteArray()).isNull());
        QVERIFY(DecodePng(QByteArrayLiteral("GIF89a\x01\x00\x01\x00")).isNull());
        QVERIFY(DecodePng(png.left(png.size() / 2)).isNull());
    }
};

QTEST_GUILESS_MAIN(PicturesTest)
#include "PicturesTest.moc"
