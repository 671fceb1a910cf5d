#include "HostileInputs.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QImageWriter>

#include <algorithm>
#include <cstdint>

namespace hostile {

namespace {

constexpr int kWidth = 40;
constexpr int kHeight = 30;

// A picture with detail everywhere, so that no codec compresses it to nothing.
QImage Source(QImage::Format format)
{
    QImage image(kWidth, kHeight, QImage::Format_RGB32);
    std::uint32_t state = 0x9E3779B9u;
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            state = state * 1664525u + 1013904223u;
            image.setPixel(x, y, qRgb((x * 6) & 0xFF, (y * 8) & 0xFF, int(state >> 24)));
        }
    return image.convertToFormat(format);
}

QByteArray Written(const char* format, QImage::Format layout = QImage::Format_RGB32)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    if (!writer.write(Source(layout)))
        return {};
    return buffer.data();
}

void Put16LE(QByteArray& b, int at, quint32 v)
{
    b[at] = char(v);
    b[at + 1] = char(v >> 8);
}
void Put32LE(QByteArray& b, int at, quint32 v)
{
    Put16LE(b, at, v);
    Put16LE(b, at + 2, v >> 16);
}
void Put32BE(QByteArray& b, int at, quint32 v)
{
    for (int i = 0; i < 4; ++i)
        b[at + i] = char(v >> (24 - 8 * i));
}

// A GIF that needs no LZW compressor: 128 colours, so codes are 8 bits wide,
// and a clear code every 100 pixels keeps them from growing.
QByteArray HandMadeGif()
{
    QByteArray gif("GIF89a");
    gif.append(char(kWidth)).append('\0').append(char(kHeight)).append('\0');
    gif.append(char(0xF6)).append('\0').append('\0'); // global table of 128 colours
    for (int i = 0; i < 128; ++i)
        gif.append(char(i * 2)).append(char(255 - i * 2)).append(char((i * 37) & 0xFF));
    gif.append(',').append(QByteArray(4, '\0'));
    gif.append(char(kWidth)).append('\0').append(char(kHeight)).append('\0').append('\0');
    gif.append(char(7)); // LZW minimum code size
    QByteArray codes;
    for (int i = 0; i < kWidth * kHeight; ++i) {
        if (i % 100 == 0)
            codes.append(char(128)); // clear
        codes.append(char((i * 7 + i / kWidth) & 0x7F));
    }
    codes.append(char(129)); // end of information
    for (qsizetype at = 0; at < codes.size(); at += 255) {
        const QByteArray block = codes.mid(at, 255);
        gif.append(char(block.size())).append(block);
    }
    gif.append('\0').append(';');
    return gif;
}

// An uncompressed 24-bit TGA, rows from the top.
QByteArray HandMadeTga()
{
    QByteArray tga(18, '\0');
    tga[2] = 2;
    Put16LE(tga, 12, kWidth);
    Put16LE(tga, 14, kHeight);
    tga[16] = 24;
    tga[17] = 0x20;
    const QImage source = Source(QImage::Format_RGB32);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            const QRgb p = source.pixel(x, y);
            tga.append(char(qBlue(p))).append(char(qGreen(p))).append(char(qRed(p)));
        }
    return tga;
}

quint32 Crc32(const QByteArray& bytes, int from, int to)
{
    quint32 crc = 0xFFFFFFFFu;
    for (int i = from; i < to; ++i) {
        crc ^= quint8(bytes[i]);
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

// A valid PNG whose IHDR declares width x height, with its CRC put right, so
// that only the size is wrong.
QByteArray PngDeclaring(QByteArray png, quint32 width, quint32 height)
{
    Put32BE(png, 16, width);
    Put32BE(png, 20, height);
    Put32BE(png, 29, Crc32(png, 12, 29));
    return png;
}

// The offset of a JPEG's start-of-frame segment, or -1.
int JpegFrame(const QByteArray& jpeg)
{
    for (int i = 2; i + 9 < jpeg.size();) {
        if (quint8(jpeg[i]) != 0xFF)
            return -1;
        const int marker = quint8(jpeg[i + 1]);
        if (marker == 0xC0 || marker == 0xC1 || marker == 0xC2)
            return i;
        i += 2 + (quint8(jpeg[i + 2]) << 8 | quint8(jpeg[i + 3]));
    }
    return -1;
}

struct Maker {
    QString folder;
    QList<Input> inputs;
    int serial = 0;

    void Add(const QString& kind, const QString& what, const QString& extension, const QByteArray& bytes,
             Expect expect, qsizetype cut = 0)
    {
        const QString path =
            QDir(folder).filePath(QStringLiteral("hostile-%1.%2").arg(++serial, 3, 10, QLatin1Char('0')).arg(extension));
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
            qFatal("cannot write %s", qPrintable(path));
        inputs.append({kind, what, path, expect, cut > 0, cut, false});
    }

    // Truncations and flipped bits of one valid file.
    void Damage(const QString& kind, const QString& extension, const QByteArray& valid)
    {
        const qsizetype n = valid.size();
        QList<qsizetype> cuts = {1, 8, 24, n / 4, n / 2, n - 1};
        std::sort(cuts.begin(), cuts.end());
        cuts.erase(std::unique(cuts.begin(), cuts.end()), cuts.end());
        for (qsizetype cut : cuts)
            if (cut > 0 && cut < n)
                Add(kind, QStringLiteral("truncated at %1 of %2 bytes").arg(cut).arg(n), extension, valid.left(cut),
                    Expect::RefusedOrRecovered, cut);
        // Header bytes: the signature, the size fields and what follows them.
        for (qsizetype at : {qsizetype(0), qsizetype(2), qsizetype(13), qsizetype(19)}) {
            if (at >= n)
                continue;
            QByteArray flipped = valid;
            flipped[at] = char(flipped[at] ^ 0x80);
            Add(kind, QStringLiteral("bit 7 of header byte %1 flipped").arg(at), extension, flipped,
                Expect::RefusedOrRecovered);
        }
        // The body: every bit of 32 bytes in the middle.
        QByteArray body = valid;
        for (qsizetype at = n / 2; at < n / 2 + 32 && at < n; ++at)
            body[at] = char(~body[at]);
        Add(kind, QStringLiteral("32 body bytes inverted at %1").arg(n / 2), extension, body,
            Expect::RefusedOrRecovered);
    }
};

} // namespace

QList<QString> Kinds()
{
    return {QStringLiteral("png"), QStringLiteral("jpeg"), QStringLiteral("bmp"), QStringLiteral("gif"),
            QStringLiteral("tiff"), QStringLiteral("webp"), QStringLiteral("pgm"), QStringLiteral("ppm"),
            QStringLiteral("tga"), QStringLiteral("ico")};
}

QList<Input> Build(const QString& folder)
{
    Maker m{folder, {}, 0};
    const QByteArray png = Written("png");
    const QByteArray jpeg = Written("jpeg");
    const QByteArray bmp = Written("bmp");
    const QByteArray gif = HandMadeGif();
    const QByteArray tiff = Written("tiff");
    const QByteArray webp = Written("webp");
    const QByteArray pgm = Written("pgm", QImage::Format_Grayscale8);
    const QByteArray ppm = Written("ppm");
    const QByteArray tga = HandMadeTga();
    const QByteArray ico = Written("ico");
    const struct {
        const char* kind;
        const char* extension;
        const QByteArray& valid;
    } kinds[] = {{"png", "png", png},   {"jpeg", "jpg", jpeg}, {"bmp", "bmp", bmp}, {"gif", "gif", gif},
                 {"tiff", "tif", tiff}, {"webp", "webp", webp}, {"pgm", "pgm", pgm}, {"ppm", "ppm", ppm},
                 {"tga", "tga", tga},   {"ico", "ico", ico}};
    for (const auto& k : kinds) {
        const QString kind = QString::fromLatin1(k.kind);
        const QString extension = QString::fromLatin1(k.extension);
        if (k.valid.isEmpty())
            qFatal("Qt wrote no %s file; is qt6-image-formats-plugins installed?", k.kind);
        m.Damage(kind, extension, k.valid);
        m.Add(kind, QStringLiteral("zero bytes"), extension, {}, Expect::Refused);
    }

    // Headers declaring absurd sizes, everything else valid.
    m.Add(QStringLiteral("png"), QStringLiteral("IHDR declares 100000 x 100000 (CRC valid)"), QStringLiteral("png"),
          PngDeclaring(png, 100000, 100000), Expect::Refused);
    m.Add(QStringLiteral("png"), QStringLiteral("IHDR declares width 2^31 - 1 (CRC valid)"), QStringLiteral("png"),
          PngDeclaring(png, 0x7FFFFFFF, kHeight), Expect::Refused);
    m.Add(QStringLiteral("png"), QStringLiteral("IHDR declares 0 x 0 (CRC valid)"), QStringLiteral("png"),
          PngDeclaring(png, 0, 0), Expect::Refused);
    {
        QByteArray b = bmp;
        Put32LE(b, 18, 0x7FFFFFFF);
        m.Add(QStringLiteral("bmp"), QStringLiteral("width 2^31 - 1"), QStringLiteral("bmp"), b, Expect::Refused);
        b = bmp;
        Put32LE(b, 18, quint32(-kWidth));
        m.Add(QStringLiteral("bmp"), QStringLiteral("negative width"), QStringLiteral("bmp"), b, Expect::Refused);
        b = bmp;
        Put32LE(b, 22, 0x80000000u);
        m.Add(QStringLiteral("bmp"), QStringLiteral("height -2^31"), QStringLiteral("bmp"), b, Expect::Refused);
        b = bmp;
        Put32LE(b, 18, 100000);
        Put32LE(b, 22, 100000);
        m.Add(QStringLiteral("bmp"), QStringLiteral("declares 100000 x 100000"), QStringLiteral("bmp"), b,
              Expect::Refused);
    }
    {
        QByteArray g = gif;
        Put16LE(g, 6, 0xFFFF);
        Put16LE(g, 8, 0xFFFF);
        const int descriptor = 13 + 128 * 3;
        Put16LE(g, descriptor + 5, 0xFFFF);
        Put16LE(g, descriptor + 7, 0xFFFF);
        m.Add(QStringLiteral("gif"), QStringLiteral("screen and frame 65535 x 65535"), QStringLiteral("gif"), g,
              Expect::Refused);
    }
    if (const int frame = JpegFrame(jpeg); frame > 0) {
        QByteArray j = jpeg;
        j[frame + 5] = char(0xFF);
        j[frame + 6] = char(0xF0);
        j[frame + 7] = char(0xFF);
        j[frame + 8] = char(0xF0);
        m.Add(QStringLiteral("jpeg"), QStringLiteral("frame declares 65520 x 65520"), QStringLiteral("jpg"), j,
              Expect::Refused);
    }
    m.Add(QStringLiteral("pgm"), QStringLiteral("declares 100000 x 100000"), QStringLiteral("pgm"),
          QByteArray("P5\n100000 100000\n255\n") + pgm.right(kWidth * kHeight), Expect::Refused);
    m.Add(QStringLiteral("ppm"), QStringLiteral("negative width"), QStringLiteral("ppm"),
          QByteArray("P6\n-40 30\n255\n") + ppm.right(kWidth * kHeight * 3), Expect::Refused);
    m.Add(QStringLiteral("ppm"), QStringLiteral("maximum value 0"), QStringLiteral("ppm"),
          QByteArray("P6\n40 30\n0\n") + ppm.right(kWidth * kHeight * 3), Expect::Refused);
    {
        QByteArray t = tga;
        Put16LE(t, 12, 0xFFFF);
        Put16LE(t, 14, 0xFFFF);
        m.Add(QStringLiteral("tga"), QStringLiteral("declares 65535 x 65535"), QStringLiteral("tga"), t,
              Expect::Refused);
    }

    // The file system and mislabelled files.
    const QString fs = QStringLiteral("file system");
    m.Add(fs, QStringLiteral("a text file named .png"), QStringLiteral("png"), "This is a note, not a picture.\n",
          Expect::Refused);
    m.Add(fs, QStringLiteral("a text file named .bmp"), QStringLiteral("bmp"), "BM but only two letters are right\n",
          Expect::Refused);
    // Qt's reader falls back to the content when the named kind's reader
    // does not recognise it, so these open as what they really are.
    m.Add(fs, QStringLiteral("a PNG named .jpg"), QStringLiteral("jpg"), png, Expect::RefusedOrRecovered);
    m.Add(fs, QStringLiteral("a JPEG named .png"), QStringLiteral("png"), jpeg, Expect::RefusedOrRecovered);
    m.Add(fs, QStringLiteral("an unknown extension"), QStringLiteral("xyz"), png, Expect::RefusedOrRecovered);
    {
        const QString path = QDir(folder).filePath(QStringLiteral("a folder.png"));
        QDir().mkpath(path);
        m.inputs.append({fs, QStringLiteral("a folder"), path, Expect::Refused, false, 0, false});
    }
    m.inputs.append({fs, QStringLiteral("a missing file"), QDir(folder).filePath(QStringLiteral("missing.png")),
                     Expect::Refused, false, 0, false});
    m.inputs.append({fs, QStringLiteral("a file in a missing folder"),
                     QDir(folder).filePath(QStringLiteral("no such folder/picture.png")), Expect::Refused, false,
                     0, false});
    {
        m.Add(fs, QStringLiteral("a valid PNG without read permission"), QStringLiteral("png"), png, Expect::Refused);
        Input& locked = m.inputs.last();
        locked.unreadable = true;
        QFile::setPermissions(locked.path, QFileDevice::Permissions());
    }
    return m.inputs;
}

} // namespace hostile
