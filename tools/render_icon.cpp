// Renders the program's SVG picture into square PNG files for the icon theme.
// Usage: render_icon PICTURE.svg OUTPUT_FOLDER SIZE...   writes OUTPUT_FOLDER/SIZE.png for each
// size.

#include <cstdio>

#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QStringList>
#include <QSvgRenderer>

namespace {

int fail(const QString &message)
{
    std::fprintf(stderr, "render_icon: %s\n", qPrintable(message));
    return 1;
}

} // namespace

int main(int argc, char *argv[])
{
    // The picture holds text, and text needs the font database of a GUI application.
    QGuiApplication application(argc, argv);
    const QStringList arguments = QGuiApplication::arguments();
    if (arguments.size() < 4)
        return fail(QStringLiteral("usage: render_icon PICTURE.svg OUTPUT_FOLDER SIZE..."));

    QSvgRenderer renderer(arguments.at(1));
    if (!renderer.isValid())
        return fail(QStringLiteral("cannot read %1").arg(arguments.at(1)));
    const QDir output(arguments.at(2));
    if (!output.mkpath(QStringLiteral(".")))
        return fail(QStringLiteral("cannot create %1").arg(output.path()));

    for (qsizetype i = 3; i < arguments.size(); ++i) {
        bool ok = false;
        const int size = arguments.at(i).toInt(&ok);
        if (!ok || size <= 0)
            return fail(QStringLiteral("not a size: %1").arg(arguments.at(i)));
        QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        {
            QPainter painter(&image);
            painter.setRenderHint(QPainter::Antialiasing);
            painter.setRenderHint(QPainter::SmoothPixmapTransform);
            renderer.render(&painter, QRectF(0, 0, size, size));
        }
        const QString file = output.filePath(QStringLiteral("%1.png").arg(size));
        if (!image.save(file, "PNG"))
            return fail(QStringLiteral("cannot write %1").arg(file));
    }
    return 0;
}
