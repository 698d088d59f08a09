// Draws the program's icon for the desktop's icon theme from the tray's picture: a PNG for each
// size panels and menus ask for, and a scalable SVG made of the picture's pixels as squares, so
// that the menu shows the same picture as the tray at any size.
//
// Usage: ThemeIconGenerator ICON.xpm OUTPUT_DIR
// writes OUTPUT_DIR/<n>x<n>/apps/kronvik.png and OUTPUT_DIR/scalable/apps/kronvik.svg.

#include <QColor>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QTextStream>

#include <cstdio>

namespace {

constexpr int Sizes[] = { 16, 22, 24, 32, 48, 64, 128 };

// Whole multiples keep the pixel art sharp; other sizes are filtered.
QImage Scaled(const QImage& picture, int side)
{
    const Qt::TransformationMode mode = side % picture.width() == 0 ? Qt::FastTransformation : Qt::SmoothTransformation;
    return picture.scaled(side, side, Qt::IgnoreAspectRatio, mode);
}

// One rectangle per run of equal pixels in a row.
QString Svg(const QImage& picture)
{
    QString svg;
    QTextStream out(&svg);
    out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" << picture.width() << "\" height=\"" << picture.height()
        << "\" viewBox=\"0 0 " << picture.width() << ' ' << picture.height() << "\" shape-rendering=\"crispEdges\">\n";
    for (int y = 0; y < picture.height(); ++y) {
        int x = 0;
        while (x < picture.width()) {
            const QRgb colour = picture.pixel(x, y);
            int end = x + 1;
            while (end < picture.width() && picture.pixel(end, y) == colour)
                ++end;
            if (qAlpha(colour) != 0)
                out << "<rect x=\"" << x << "\" y=\"" << y << "\" width=\"" << end - x << "\" height=\"1\" fill=\""
                    << QColor(colour).name() << "\"/>\n";
            x = end;
        }
    }
    out << "</svg>\n";
    return svg;
}

bool Write(const QString& path, const QByteArray& data)
{
    QFile file(path);
    return QDir().mkpath(QFileInfo(path).path()) && file.open(QIODevice::WriteOnly) && file.write(data) == data.size();
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc != 3) {
        std::fputs("usage: ThemeIconGenerator ICON.xpm OUTPUT_DIR\n", stderr);
        return 2;
    }
    const QImage picture = QImage(QString::fromLocal8Bit(argv[1])).convertToFormat(QImage::Format_ARGB32);
    const QString output = QString::fromLocal8Bit(argv[2]);
    if (picture.isNull()) {
        std::fprintf(stderr, "cannot read %s\n", argv[1]);
        return 1;
    }
    for (const int side : Sizes) {
        const QString path = QStringLiteral("%1/%2x%2/apps/kronvik.png").arg(output).arg(side);
        if (!QDir().mkpath(QFileInfo(path).path()) || !Scaled(picture, side).save(path, "PNG")) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
            return 1;
        }
    }
    const QString svg = output + QStringLiteral("/scalable/apps/kronvik.svg");
    if (!Write(svg, Svg(picture).toUtf8())) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(svg));
        return 1;
    }
    return 0;
}
