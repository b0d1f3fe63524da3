#include "TestEnvironment.h"
#include "preview/PreviewFileAccess.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <QTest>

// Which files a preview page may load: a document folder "doc" and a folder
// beside it, "outside", holding pictures and other files under honest and
// misleading names.
class tst_PreviewFileAccess : public QObject
{
    Q_OBJECT

    QTemporaryDir m_root;

    QString path(const QString &relative) const { return m_root.path() + QLatin1Char('/') + relative; }

    bool write(const QString &relative, const QByteArray &bytes) const
    {
        QFile file(path(relative));
        return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
    }

    bool saveImage(const QString &relative, const char *format) const
    {
        QImage image(4, 3, QImage::Format_RGB32);
        image.fill(Qt::blue);
        return image.save(path(relative), format);
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(QDir(m_root.path()).mkpath(QStringLiteral("doc")));
        QVERIFY(QDir(m_root.path()).mkpath(QStringLiteral("outside")));
        QVERIFY(saveImage(QStringLiteral("doc/inside.png"), "PNG"));
        QVERIFY(write(QStringLiteral("doc/notes.txt"), "plain words\n"));
        QVERIFY(saveImage(QStringLiteral("outside/a.png"), "PNG"));
        QVERIFY(saveImage(QStringLiteral("outside/picture.txt"), "PNG"));
        QVERIFY(saveImage(QStringLiteral("outside/photo.jpg"), "JPG"));
        QVERIFY(saveImage(QStringLiteral("outside/old.bmp"), "BMP"));
        QVERIFY(write(QStringLiteral("outside/anim.gif"), QByteArray("GIF89a\x04\x00\x03\x00\x00\x00\x00;", 14)));
        QVERIFY(write(QStringLiteral("outside/still.webp"), QByteArray("RIFF\x1a\x00\x00\x00WEBPVP8 ", 16)));
        QVERIFY(write(QStringLiteral("outside/new.avif"),
                      QByteArray("\x00\x00\x00\x1c" "ftypavif\x00\x00\x00\x00" "avifmif1miaf", 28)));
        QVERIFY(write(QStringLiteral("outside/clip.avif"),
                      QByteArray("\x00\x00\x00\x18" "ftypisom\x00\x00\x00\x00" "isommp41", 24)));
        QVERIFY(write(QStringLiteral("outside/site.ico"), QByteArray("\x00\x00\x01\x00\x01\x00\x10\x10", 8)));
        QVERIFY(write(QStringLiteral("outside/drawing.svg"),
                      "\xEF\xBB\xBF<?xml version=\"1.0\"?>\n<!-- made by hand -->\n"
                      "<!DOCTYPE svg PUBLIC \"-//W3C//DTD SVG 1.1//EN\" \"x\">\n<svg xmlns=\"http://www.w3.org/2000/svg\"/>"));
        QVERIFY(write(QStringLiteral("outside/page.svg"), "<html><body><svg></svg></body></html>"));
        QVERIFY(write(QStringLiteral("outside/fake.png"), "password=hunter2\n"));
        QVERIFY(write(QStringLiteral("outside/cars.bmp"), "BMW and other cars, a list of notes that goes on\n"));
        QVERIFY(write(QStringLiteral("outside/secret"), "no name at all\n"));
        QVERIFY(QFile::link(path(QStringLiteral("outside/a.png")), path(QStringLiteral("doc/link.png"))));
        QVERIFY(QFile::link(path(QStringLiteral("outside/fake.png")), path(QStringLiteral("doc/textlink.png"))));
        QVERIFY(QFile::link(path(QStringLiteral("outside/gone.png")), path(QStringLiteral("doc/dangling.png"))));
        QVERIFY(QFile::link(path(QStringLiteral("doc/notes.txt")), path(QStringLiteral("outside/back.txt"))));
    }

    void resolve_data()
    {
        QTest::addColumn<bool>("withFolder");
        QTest::addColumn<QString>("request");
        QTest::addColumn<QString>("served");   // relative to the root; empty when refused
        QTest::addColumn<QByteArray>("type");

        // Anything in the document's folder.
        QTest::newRow("picture inside") << true << "doc/inside.png" << "doc/inside.png" << QByteArray("image/png");
        QTest::newRow("text inside") << true << "doc/notes.txt" << "doc/notes.txt" << QByteArray("text/plain");
        QTest::newRow("link from outside into the folder") << true << "outside/back.txt" << "doc/notes.txt"
                                                            << QByteArray("text/plain");
        // Pictures from anywhere, by their bytes.
        QTest::newRow("png outside") << true << "outside/a.png" << "outside/a.png" << QByteArray("image/png");
        QTest::newRow("up and out") << true << "doc/../outside/a.png" << "outside/a.png" << QByteArray("image/png");
        QTest::newRow("png named as text") << true << "outside/picture.txt" << "outside/picture.txt"
                                           << QByteArray("image/png");
        QTest::newRow("jpeg") << true << "outside/photo.jpg" << "outside/photo.jpg" << QByteArray("image/jpeg");
        QTest::newRow("gif") << true << "outside/anim.gif" << "outside/anim.gif" << QByteArray("image/gif");
        QTest::newRow("webp") << true << "outside/still.webp" << "outside/still.webp" << QByteArray("image/webp");
        QTest::newRow("bmp") << true << "outside/old.bmp" << "outside/old.bmp" << QByteArray("image/bmp");
        QTest::newRow("ico") << true << "outside/site.ico" << "outside/site.ico" << QByteArray("image/x-icon");
        QTest::newRow("avif") << true << "outside/new.avif" << "outside/new.avif" << QByteArray("image/avif");
        QTest::newRow("svg with prolog") << true << "outside/drawing.svg" << "outside/drawing.svg"
                                         << QByteArray("image/svg+xml");
        QTest::newRow("link to a picture outside") << true << "doc/link.png" << "outside/a.png"
                                                   << QByteArray("image/png");
        QTest::newRow("untitled: picture") << false << "outside/a.png" << "outside/a.png" << QByteArray("image/png");
        // Everything else outside stays out, whatever its name.
        QTest::newRow("text named png") << true << "outside/fake.png" << "" << QByteArray();
        QTest::newRow("up and out to text") << true << "doc/../outside/fake.png" << "" << QByteArray();
        QTest::newRow("text starting BM") << true << "outside/cars.bmp" << "" << QByteArray();
        QTest::newRow("video box named avif") << true << "outside/clip.avif" << "" << QByteArray();
        QTest::newRow("page holding an svg") << true << "outside/page.svg" << "" << QByteArray();
        QTest::newRow("no name") << true << "outside/secret" << "" << QByteArray();
        QTest::newRow("link to text outside") << true << "doc/textlink.png" << "" << QByteArray();
        QTest::newRow("dangling link") << true << "doc/dangling.png" << "" << QByteArray();
        QTest::newRow("missing") << true << "outside/none.png" << "" << QByteArray();
        QTest::newRow("folder") << true << "outside" << "" << QByteArray();
        QTest::newRow("untitled: text") << false << "doc/notes.txt" << "" << QByteArray();
    }

    void resolve()
    {
        QFETCH(bool, withFolder);
        QFETCH(QString, request);
        QFETCH(QString, served);
        QFETCH(QByteArray, type);
        const QString folder = withFolder ? QFileInfo(path(QStringLiteral("doc"))).canonicalFilePath() : QString();
        const auto result = PreviewFileAccess::resolve(folder, path(request));
        if (served.isEmpty()) {
            QVERIFY2(!result, qPrintable(result ? result->path : QString()));
            return;
        }
        QVERIFY(result);
        QCOMPARE(result->path, QFileInfo(path(served)).canonicalFilePath());
        QCOMPARE(result->mimeType, type);
    }

    void requestsMustBeAbsolute()
    {
        QVERIFY(!PreviewFileAccess::resolve(QString(), QStringLiteral("outside/a.png")));
        QVERIFY(!PreviewFileAccess::resolve(QString(), path(QStringLiteral("outside/a.png")) + QChar(0)));
    }
};

SORVANE_TEST_MAIN(tst_PreviewFileAccess)
#include "tst_PreviewFileAccess.moc"
