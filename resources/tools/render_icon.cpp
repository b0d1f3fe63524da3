// Renders the SVG brand mark to the PNG sizes the desktop's icon theme wants.
// Usage: sorvane_icon_render ICON.svg OUTPUT_FOLDER SIZE...
// Writes OUTPUT_FOLDER/<size>x<size>/apps/sorvane.png for each size.
#include <QCoreApplication>
#include <QDir>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>

#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 4) {
        std::fprintf(stderr, "usage: %s ICON.svg OUTPUT_FOLDER SIZE...\n", argv[0]);
        return 2;
    }
    QSvgRenderer renderer(args.at(1));
    if (!renderer.isValid()) {
        std::fprintf(stderr, "cannot read %s\n", qPrintable(args.at(1)));
        return 1;
    }
    for (const QString &sizeText : args.mid(3)) {
        const int size = sizeText.toInt();
        if (size <= 0)
            return 2;
        QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        renderer.render(&painter);
        painter.end();
        const QString folder = QStringLiteral("%1/%2x%2/apps").arg(args.at(2)).arg(size);
        if (!QDir().mkpath(folder) || !image.save(folder + QStringLiteral("/sorvane.png"))) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(folder));
            return 1;
        }
    }
    return 0;
}
