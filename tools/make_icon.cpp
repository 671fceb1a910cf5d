// Writes the application icons from the one drawing (tools/icon_design.h):
//   make_icon <in.xpm> <out.ico>                the Windows icon, MAINICON of
//       imagebench.exe: the 32 x 32 pixel drawing in 16 colours, as before,
//       and the shapes rendered at 16, 24 and 48 pixels (32 bits a pixel)
//       and at 256 (PNG inside the icon, as Windows expects at that size)
//   make_icon --check <in.xpm> <icon.ico>       fails unless the icon decodes
//       to those five images and the shapes still draw the pixel drawing
//   make_icon --theme <in.xpm> <folder> <name>  the freedesktop hicolor icons:
//       <folder>/<n>x<n>/apps/<name>.png for n = 16 ... 256 (32 is the pixel
//       drawing) and <folder>/scalable/apps/<name>.svg
#include "icon_design.h"

#include <QBuffer>
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QImageReader>
#include <QList>
#include <QString>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr int kPixelSize = 32; // the 16-colour image from the pixel drawing
constexpr int kColours = 16;
const QList<int> kIconSizes = {16, 24, 32, 48, 256};
const QList<int> kThemeSizes = {16, 24, 32, 48, 64, 128, 256};
// At least this share of the rendered shapes' pixels lies within kTolerance
// of the pixel drawing; the rest are the antialiased slopes and circles.
constexpr double kMinAgreement = 0.87;
constexpr int kTolerance = 60;

// The 16 colours of the classic Windows palette, for drawings with more.
const QList<QRgb> kStandard = {
    qRgb(0, 0, 0),       qRgb(128, 0, 0),   qRgb(0, 128, 0),   qRgb(128, 128, 0),
    qRgb(0, 0, 128),     qRgb(128, 0, 128), qRgb(0, 128, 128), qRgb(192, 192, 192),
    qRgb(128, 128, 128), qRgb(255, 0, 0),   qRgb(0, 255, 0),   qRgb(255, 255, 0),
    qRgb(0, 0, 255),     qRgb(255, 0, 255), qRgb(0, 255, 255), qRgb(255, 255, 255)};

void Put16(QByteArray& out, unsigned v)
{
    out.append(char(v & 0xFF));
    out.append(char((v >> 8) & 0xFF));
}
void Put32(QByteArray& out, unsigned v)
{
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

void PutBitmapHeader(QByteArray& out, int size, int bits, unsigned imageBytes, int colours)
{
    // The height counts the colour rows and the mask rows.
    Put32(out, 40);
    Put32(out, unsigned(size));
    Put32(out, unsigned(2 * size));
    Put16(out, 1);
    Put16(out, unsigned(bits));
    Put32(out, 0);
    Put32(out, imageBytes);
    Put32(out, 0);
    Put32(out, 0);
    Put32(out, unsigned(colours));
    Put32(out, 0);
}

// The transparency mask, rows bottom up, 1 = transparent, rows padded to 4 bytes.
void PutMask(QByteArray& out, const QImage& argb)
{
    const int size = argb.width();
    const int rowBytes = (size + 31) / 32 * 4;
    for (int y = size - 1; y >= 0; --y) {
        QByteArray row(rowBytes, '\0');
        for (int x = 0; x < size; ++x)
            if (qAlpha(argb.pixel(x, y)) < 128)
                row[x / 8] = char(row[x / 8] | (0x80 >> (x % 8)));
        out.append(row);
    }
}

// The 32 x 32 pixel drawing as a 4-bit bitmap: its own colours when it has at
// most 16, else the standard ones.
QByteArray SixteenColours(const QImage& drawing)
{
    const QImage argb = drawing.convertToFormat(QImage::Format_ARGB32);
    QList<QRgb> palette;
    for (int y = 0; y < kPixelSize; ++y)
        for (int x = 0; x < kPixelSize; ++x) {
            const QRgb c = argb.pixel(x, y);
            if (qAlpha(c) >= 128 && !palette.contains(c | 0xFF000000u))
                palette.append(c | 0xFF000000u);
        }
    if (palette.size() > kColours)
        palette = kStandard;
    while (palette.size() < kColours)
        palette.append(qRgb(0, 0, 0));
    const QImage indexed = argb.convertToFormat(QImage::Format_Indexed8, palette, Qt::ThresholdDither);
    QByteArray out;
    PutBitmapHeader(out, kPixelSize, 4, kPixelSize * kPixelSize / 2 + kPixelSize * 4, kColours);
    for (const QRgb c : palette) {
        out.append(char(qBlue(c)));
        out.append(char(qGreen(c)));
        out.append(char(qRed(c)));
        out.append(char(0));
    }
    // Rows bottom up, two pixels a byte.
    for (int y = kPixelSize - 1; y >= 0; --y) {
        const uchar* row = indexed.constScanLine(y);
        for (int x = 0; x < kPixelSize; x += 2)
            out.append(char((row[x] << 4) | row[x + 1]));
    }
    PutMask(out, argb);
    return out;
}

// A rendered size as a 32-bit bitmap with alpha, rows bottom up.
QByteArray TrueColour(const QImage& image)
{
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    const int size = argb.width();
    QByteArray out;
    PutBitmapHeader(out, size, 32, unsigned(size * size * 4 + (size + 31) / 32 * 4 * size), 0);
    for (int y = size - 1; y >= 0; --y)
        for (int x = 0; x < size; ++x) {
            const QRgb c = argb.pixel(x, y);
            out.append(char(qBlue(c)));
            out.append(char(qGreen(c)));
            out.append(char(qRed(c)));
            out.append(char(qAlpha(c)));
        }
    PutMask(out, argb);
    return out;
}

QByteArray Png(const QImage& image)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.convertToFormat(QImage::Format_ARGB32).save(&buffer, "PNG");
    return bytes;
}

// The icon file for the pixel drawing, or an empty array with the reason.
QByteArray MakeIcon(const QImage& drawing, QString& why)
{
    if (drawing.width() != kPixelSize || drawing.height() != kPixelSize) {
        why = QStringLiteral("the drawing is %1 x %2, not 32 x 32").arg(drawing.width()).arg(drawing.height());
        return {};
    }
    QList<QByteArray> images;
    for (const int size : kIconSizes)
        images.append(size == kPixelSize ? SixteenColours(drawing)
                      : size == 256      ? Png(icon::Render(size))
                                         : TrueColour(icon::Render(size)));
    QByteArray out;
    Put16(out, 0);
    Put16(out, 1);
    Put16(out, unsigned(images.size()));
    unsigned offset = 6 + 16 * unsigned(images.size());
    for (int i = 0; i < images.size(); ++i) {
        const int size = kIconSizes[i];
        const bool pixel = size == kPixelSize;
        out.append(char(size == 256 ? 0 : size)); // 0 stands for 256
        out.append(char(size == 256 ? 0 : size));
        out.append(char(pixel ? kColours : 0));
        out.append(char(0));
        Put16(out, 1);
        Put16(out, pixel ? 4 : 32);
        Put32(out, unsigned(images[i].size()));
        Put32(out, offset);
        offset += unsigned(images[i].size());
    }
    for (const QByteArray& image : images)
        out.append(image);
    return out;
}

// Whether two images of one size differ by at most `tolerance` in any channel
// of any pixel; the first difference found is the reason.
bool Same(const QImage& decoded, const QImage& expected, int tolerance, QString& why)
{
    const QImage a = decoded.convertToFormat(QImage::Format_ARGB32);
    const QImage b = expected.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y);
            const QRgb q = b.pixel(x, y);
            if (std::abs(qRed(p) - qRed(q)) > tolerance || std::abs(qGreen(p) - qGreen(q)) > tolerance ||
                std::abs(qBlue(p) - qBlue(q)) > tolerance || std::abs(qAlpha(p) - qAlpha(q)) > tolerance) {
                why = QStringLiteral("at %1 x %1, pixel (%2, %3) is #%4, not #%5")
                          .arg(a.width())
                          .arg(x)
                          .arg(y)
                          .arg(p, 8, 16, QLatin1Char('0'))
                          .arg(q, 8, 16, QLatin1Char('0'));
                return false;
            }
        }
    return true;
}

// Whether the icon file, read back by Qt's icon reader, holds exactly the
// pixel drawing at 32 x 32 and the rendered shapes at the other sizes.
bool ShowsDrawing(const QString& path, const QImage& drawing, QString& why)
{
    // The directory entry of the 32 x 32 image: 16 colours, 4 bits a pixel.
    QFile file(path);
    const QByteArray head = file.open(QIODevice::ReadOnly) ? file.read(6 + 16 * 16) : QByteArray();
    const auto byte = [&head](int i) { return i < head.size() ? int(uchar(head[i])) : -1; };
    bool sixteen = false;
    for (int i = 0; i < byte(4) && 6 + 16 * i + 16 <= head.size(); ++i) {
        const int entry = 6 + 16 * i;
        if (byte(entry) == kPixelSize && byte(entry + 2) == kColours && byte(entry + 6) == 4)
            sixteen = true;
    }
    if (!sixteen) {
        why = QStringLiteral("it has no 32 x 32 image in 16 colours");
        return false;
    }
    QImageReader reader(path, "ICO");
    QList<int> sizes;
    do {
        const QImage image = reader.read();
        if (image.isNull()) {
            why = QStringLiteral("Qt's icon reader does not decode image %1 (%2)")
                      .arg(sizes.size() + 1)
                      .arg(reader.errorString());
            return false;
        }
        if (image.width() != image.height()) {
            why = QStringLiteral("an image is %1 x %2").arg(image.width()).arg(image.height());
            return false;
        }
        const int size = image.width();
        sizes.append(size);
        // The 16-colour image exactly; the others within rounding of a render.
        if (!Same(image, size == kPixelSize ? drawing : icon::Render(size), size == kPixelSize ? 0 : 2, why))
            return false;
    } while (reader.jumpToNextImage());
    if (sizes != kIconSizes) {
        QStringList found;
        for (const int size : sizes)
            found.append(QString::number(size));
        why = QStringLiteral("it holds the sizes %1, not 16, 24, 32, 48 and 256").arg(found.join(QStringLiteral(", ")));
        return false;
    }
    return true;
}

bool Write(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.flush()) {
        std::fprintf(stderr, "make_icon: cannot write \"%s\" (%s)\n", qPrintable(path), qPrintable(file.errorString()));
        return false;
    }
    return true;
}

bool WriteTheme(const QImage& drawing, const QString& folder, const QString& name)
{
    for (const int size : kThemeSizes) {
        const QString dir = QStringLiteral("%1/%2x%2/apps").arg(folder).arg(size);
        const QImage image = size == kPixelSize ? drawing.convertToFormat(QImage::Format_ARGB32) : icon::Render(size);
        if (!QDir().mkpath(dir) || !Write(dir + QLatin1Char('/') + name + QStringLiteral(".png"), Png(image)))
            return false;
    }
    const QString dir = folder + QStringLiteral("/scalable/apps");
    return QDir().mkpath(dir) && Write(dir + QLatin1Char('/') + name + QStringLiteral(".svg"), icon::Svg());
}

} // namespace

int main(int argc, char** argv)
{
    const bool check = argc == 4 && std::strcmp(argv[1], "--check") == 0;
    const bool theme = argc == 5 && std::strcmp(argv[1], "--theme") == 0;
    if (argc != 3 && !check && !theme) {
        std::fputs("usage: make_icon [--check] <in.xpm> <out.ico> | make_icon --theme <in.xpm> <folder> <name>\n",
                   stderr);
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    const QString input = QString::fromLocal8Bit(argv[argc == 3 ? 1 : 2]);
    const QString output = QString::fromLocal8Bit(argv[argc == 3 ? 2 : 3]);
    const QImage drawing(input);
    if (drawing.isNull()) {
        std::fprintf(stderr, "make_icon: cannot read the drawing \"%s\"\n", qPrintable(input));
        return 1;
    }
    if (drawing.size() != QSize(kPixelSize, kPixelSize)) {
        std::fprintf(stderr, "make_icon: \"%s\" is %d x %d, not 32 x 32\n", qPrintable(input), drawing.width(),
                     drawing.height());
        return 1;
    }
    const double agreement = icon::Agreement(drawing, kTolerance);
    if (agreement < kMinAgreement) {
        std::fprintf(stderr, "make_icon: the shapes no longer draw \"%s\": %.0f %% of the pixels agree, not %.0f %%\n",
                     qPrintable(input), agreement * 100, kMinAgreement * 100);
        return 1;
    }
    if (theme)
        return WriteTheme(drawing, output, QString::fromLocal8Bit(argv[4])) ? 0 : 1;
    QString why;
    if (check) {
        if (!ShowsDrawing(output, drawing, why)) {
            std::fprintf(stderr, "make_icon: \"%s\": %s (run make icon)\n", qPrintable(output), qPrintable(why));
            return 1;
        }
        return 0;
    }
    const QByteArray icon = MakeIcon(drawing, why);
    if (icon.isEmpty()) {
        std::fprintf(stderr, "make_icon: \"%s\": %s\n", qPrintable(input), qPrintable(why));
        return 1;
    }
    return Write(output, icon) ? 0 : 1;
}
