// Writes the Windows application icon: our 32 x 32 drawing as a 16-colour
// .ico (4 bits per pixel, with the transparency mask), the MAINICON resource
// of imagebench.exe.
//   make_icon <in.xpm|in.png> <out.ico>           writes the icon
//   make_icon --check <in.xpm|in.png> <icon.ico>  fails unless the file is what
//                                                 would be written and decodes
//                                                 to the drawing
#include <QBuffer>
#include <QByteArray>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QList>
#include <QString>

#include <cstdio>
#include <cstring>

namespace {

constexpr int kSize = 32;
constexpr int kColours = 16;

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

// The icon file for a 32 x 32 drawing, or an empty array with the reason.
QByteArray MakeIcon(const QImage& drawing, QString& why)
{
    if (drawing.width() != kSize || drawing.height() != kSize) {
        why = QStringLiteral("the drawing is %1 x %2, not 32 x 32").arg(drawing.width()).arg(drawing.height());
        return {};
    }
    const QImage argb = drawing.convertToFormat(QImage::Format_ARGB32);
    // The drawing's own colours when it has at most 16, else the standard ones.
    QList<QRgb> palette;
    for (int y = 0; y < kSize; ++y)
        for (int x = 0; x < kSize; ++x) {
            const QRgb c = argb.pixel(x, y);
            if (qAlpha(c) >= 128 && !palette.contains(c | 0xFF000000u))
                palette.append(c | 0xFF000000u);
        }
    if (palette.size() > kColours)
        palette = kStandard;
    while (palette.size() < kColours)
        palette.append(qRgb(0, 0, 0));
    const QImage indexed = argb.convertToFormat(QImage::Format_Indexed8, palette, Qt::ThresholdDither);

    constexpr unsigned xorBytes = kSize * kSize / 2; // 4 bits per pixel, rows of 16 bytes
    constexpr unsigned andBytes = kSize * 4;         // 1 bit per pixel, rows padded to 4 bytes
    constexpr unsigned bitmapBytes = 40 + kColours * 4 + xorBytes + andBytes;
    QByteArray out;
    // ICONDIR and its one entry.
    Put16(out, 0);
    Put16(out, 1);
    Put16(out, 1);
    out.append(char(kSize));
    out.append(char(kSize));
    out.append(char(kColours));
    out.append(char(0));
    Put16(out, 1);
    Put16(out, 4);
    Put32(out, bitmapBytes);
    Put32(out, 22);
    // BITMAPINFOHEADER: the height counts the colour rows and the mask rows.
    Put32(out, 40);
    Put32(out, kSize);
    Put32(out, 2 * kSize);
    Put16(out, 1);
    Put16(out, 4);
    Put32(out, 0);
    Put32(out, xorBytes + andBytes);
    Put32(out, 0);
    Put32(out, 0);
    Put32(out, kColours);
    Put32(out, 0);
    for (const QRgb c : palette) {
        out.append(char(qBlue(c)));
        out.append(char(qGreen(c)));
        out.append(char(qRed(c)));
        out.append(char(0));
    }
    // Rows bottom up: two pixels a byte, then the mask (1 = transparent).
    for (int y = kSize - 1; y >= 0; --y) {
        const uchar* row = indexed.constScanLine(y);
        for (int x = 0; x < kSize; x += 2)
            out.append(char((row[x] << 4) | row[x + 1]));
    }
    for (int y = kSize - 1; y >= 0; --y) {
        unsigned bits = 0;
        for (int x = 0; x < kSize; ++x)
            if (qAlpha(argb.pixel(x, y)) < 128)
                bits |= 1u << (31 - x);
        for (int shift = 24; shift >= 0; shift -= 8)
            out.append(char((bits >> shift) & 0xFF));
    }
    return out;
}

// Whether the icon shows the drawing: every opaque pixel in its colour (when
// the drawing has at most 16), every transparent one transparent.
bool ShowsDrawing(const QByteArray& icon, const QImage& drawing, QString& why)
{
    QImage decoded;
    if (!decoded.loadFromData(icon, "ICO")) {
        why = QStringLiteral("Qt's icon reader does not decode it");
        return false;
    }
    if (decoded.size() != drawing.size()) {
        why = QStringLiteral("it decodes to %1 x %2").arg(decoded.width()).arg(decoded.height());
        return false;
    }
    const QImage a = decoded.convertToFormat(QImage::Format_ARGB32);
    const QImage b = drawing.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < kSize; ++y)
        for (int x = 0; x < kSize; ++x) {
            const QRgb p = a.pixel(x, y);
            const QRgb q = b.pixel(x, y);
            const bool clear = qAlpha(q) < 128;
            if ((qAlpha(p) < 128) != clear || (!clear && (p | 0xFF000000u) != (q | 0xFF000000u))) {
                why = QStringLiteral("pixel (%1, %2) is #%3, the drawing's is #%4")
                          .arg(x)
                          .arg(y)
                          .arg(p, 8, 16, QLatin1Char('0'))
                          .arg(q, 8, 16, QLatin1Char('0'));
                return false;
            }
        }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    const bool check = argc == 4 && std::strcmp(argv[1], "--check") == 0;
    if (argc != 3 && !check) {
        std::fputs("usage: make_icon [--check] <in.xpm|in.png> <out.ico>\n", stderr);
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    const QString input = QString::fromLocal8Bit(argv[check ? 2 : 1]);
    const QString output = QString::fromLocal8Bit(argv[check ? 3 : 2]);
    const QImage drawing(input);
    if (drawing.isNull()) {
        std::fprintf(stderr, "make_icon: cannot read the drawing \"%s\"\n", qPrintable(input));
        return 1;
    }
    QString why;
    const QByteArray icon = MakeIcon(drawing, why);
    if (icon.isEmpty()) {
        std::fprintf(stderr, "make_icon: \"%s\": %s\n", qPrintable(input), qPrintable(why));
        return 1;
    }
    QFile file(output);
    if (check) {
        if (!file.open(QIODevice::ReadOnly)) {
            std::fprintf(stderr, "make_icon: cannot read \"%s\"\n", qPrintable(output));
            return 1;
        }
        const QByteArray existing = file.readAll();
        if (existing != icon) {
            std::fprintf(stderr, "make_icon: \"%s\" is not the icon made from \"%s\" (run make icon)\n",
                         qPrintable(output), qPrintable(input));
            return 1;
        }
        if (!ShowsDrawing(existing, drawing, why)) {
            std::fprintf(stderr, "make_icon: \"%s\": %s\n", qPrintable(output), qPrintable(why));
            return 1;
        }
        return 0;
    }
    if (!file.open(QIODevice::WriteOnly) || file.write(icon) != icon.size() || !file.flush()) {
        std::fprintf(stderr, "make_icon: cannot write \"%s\"\n", qPrintable(output));
        return 1;
    }
    return 0;
}
