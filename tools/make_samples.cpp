// Writes the sample pictures of samples/ (and, with --icon, converts the XPM
// application icon to the PNG that is installed with the desktop entry).
//
//   make_samples <folder>
//   make_samples --icon <in.xpm> <out.png>
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QString>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numbers>

namespace {

int Clamp(double v) { return v < 0 ? 0 : v > 255 ? 255 : int(v + 0.5); }

// 512 x 512 grey chart: gradients, hard edges, a checkerboard, one-pixel
// lines, a zone plate and flat patches of known levels.
QImage GreyChart()
{
    const int n = 512;
    QImage image(n, n, QImage::Format_Grayscale8);
    for (int y = 0; y < n; ++y) {
        uchar* row = image.scanLine(y);
        for (int x = 0; x < n; ++x) {
            int v;
            if (y < 64)
                v = x / 2; // horizontal ramp 0 .. 255
            else if (x < 64)
                v = (y - 64) * 255 / (n - 65); // vertical ramp
            else if (y < 192 && x < 320)
                v = ((x / 32 + y / 32) % 2) ? 255 : 0; // checkerboard
            else if (y < 192)
                v = (x % 4 == 0 || y % 6 == 0) ? 255 : 32; // one-pixel lines
            else if (y < 448) {
                const double dx = x - 288.0, dy = y - 320.0;
                v = Clamp(127.5 + 127.5 * std::cos(std::numbers::pi * (dx * dx + dy * dy) / 512.0)); // zone plate
            } else {
                const int levels[] = {0, 64, 128, 192, 255};
                v = levels[std::min(4, (x - 64) / 90)];
            }
            row[x] = uchar(v);
        }
    }
    return image;
}

// 400 x 300 colour: a hue sweep across, brightness down, saturation bars.
QImage ColourPicture()
{
    QImage image(400, 300, QImage::Format_RGB32);
    for (int y = 0; y < 300; ++y)
        for (int x = 0; x < 400; ++x) {
            const QColor c = y < 240 ? QColor::fromHsv(x * 359 / 399, 255, 255 - y * 200 / 239)
                                     : QColor::fromHsv((x / 50) * 45, (y - 240) * 255 / 59, 230);
            image.setPixel(x, y, c.rgb());
        }
    return image;
}

// 256 x 192 palette picture: 16 colours in stripes and a disc.
QImage PalettePicture()
{
    QImage image(256, 192, QImage::Format_Indexed8);
    QList<QRgb> palette;
    for (int i = 0; i < 16; ++i)
        palette << QColor::fromHsv(i * 22, 200, i % 2 ? 255 : 160).rgb();
    image.setColorTable(palette);
    for (int y = 0; y < 192; ++y)
        for (int x = 0; x < 256; ++x) {
            const int dx = x - 128, dy = y - 96;
            image.scanLine(y)[x] = uchar(dx * dx + dy * dy < 60 * 60 ? 15 - (x + y) / 32 % 8 : x / 16);
        }
    return image;
}

QImage TinyPicture()
{
    QImage image(3, 2, QImage::Format_RGB32);
    const QRgb colours[] = {qRgb(255, 0, 0), qRgb(0, 255, 0), qRgb(0, 0, 255),
                            qRgb(0, 0, 0),   qRgb(128, 128, 128), qRgb(255, 255, 255)};
    for (int i = 0; i < 6; ++i)
        image.setPixel(i % 3, i / 3, colours[i]);
    return image;
}

bool Write(const QImage& image, const QString& path)
{
    if (image.save(path))
        return true;
    std::fprintf(stderr, "make_samples: cannot write %s\n", qPrintable(path));
    return false;
}

} // namespace

int main(int argc, char** argv)
{
    QGuiApplication application(argc, argv);
    if (argc == 4 && QString::fromLocal8Bit(argv[1]) == QLatin1String("--icon")) {
        const QImage icon(QString::fromLocal8Bit(argv[2]));
        if (icon.isNull()) {
            std::fprintf(stderr, "make_samples: cannot read %s\n", argv[2]);
            return 1;
        }
        return Write(icon, QString::fromLocal8Bit(argv[3])) ? 0 : 1;
    }
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_samples <folder> | make_samples --icon <in.xpm> <out.png>\n");
        return 2;
    }
    const QDir folder(QString::fromLocal8Bit(argv[1]));
    if (!folder.exists() && !QDir().mkpath(folder.path())) {
        std::fprintf(stderr, "make_samples: cannot make %s\n", argv[1]);
        return 1;
    }
    const bool ok = Write(GreyChart(), folder.filePath(QStringLiteral("chart-grey-512.png"))) &&
                    Write(ColourPicture(), folder.filePath(QStringLiteral("colour-400x300.png"))) &&
                    Write(PalettePicture(), folder.filePath(QStringLiteral("palette-256x192.bmp"))) &&
                    Write(TinyPicture(), folder.filePath(QStringLiteral("tiny-3x2.png")));
    return ok ? 0 : 1;
}
