#include "HostileInputs.h"
#include "TestPictures.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QImageWriter>
#include <QtEndian>

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <tuple>

namespace hostile {

namespace {

constexpr int kWidth = 40;
constexpr int kHeight = 30;

// A picture with detail everywhere, so that no codec compresses it to nothing.
QImage Source(QImage::Format format)
{
    QImage image(kWidth, kHeight, QImage::Format_RGB32);
    testpictures::Random random(1);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x)
            image.setPixel(x, y, qRgb((x * 6) & 0xFF, (y * 8) & 0xFF, int(random() >> 24)));
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
    qToLittleEndian<quint16>(kWidth, tga.data() + 12);
    qToLittleEndian<quint16>(kHeight, tga.data() + 14);
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

// A valid PNG whose IHDR declares width x height, with its CRC put right, so
// that only the size is wrong.
QByteArray PngDeclaring(QByteArray png, quint32 width, quint32 height)
{
    qToBigEndian<quint32>(width, png.data() + 16);
    qToBigEndian<quint32>(height, png.data() + 20);
    qToBigEndian<quint32>(testpictures::PngCrc(png, 12, 29), png.data() + 29);
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
             Expect expect = Expect::Refused, qsizetype cut = 0)
    {
        const QString name = QStringLiteral("hostile-%1.%2").arg(++serial, 3, 10, QLatin1Char('0')).arg(extension);
        const QString path = QDir(folder).filePath(name);
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
        // Whatever the reader, a file cut within its first 24 bytes holds no
        // picture.
        for (qsizetype cut : cuts)
            if (cut > 0 && cut < n)
                Add(kind, QStringLiteral("truncated at %1 of %2 bytes").arg(cut).arg(n), extension, valid.left(cut),
                    cut <= 24 ? Expect::Refused : Expect::RefusedOrRecovered, cut);
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

QList<Input> Build(const QString& folder)
{
    Maker m{folder, {}, 0};
    const QByteArray png = Written("png"), jpeg = Written("jpeg"), bmp = Written("bmp"), gif = HandMadeGif();
    const QByteArray pgm = Written("pgm", QImage::Format_Grayscale8), ppm = Written("ppm"), tga = HandMadeTga();
    const struct {
        const char* kind;
        const char* extension;
        QByteArray valid;
    } kinds[] = {{"png", "png", png},   {"jpeg", "jpg", jpeg}, {"bmp", "bmp", bmp},
                 {"gif", "gif", gif},   {"tiff", "tif", Written("tiff")}, {"webp", "webp", Written("webp")},
                 {"pgm", "pgm", pgm},   {"ppm", "ppm", ppm},   {"tga", "tga", tga},   {"ico", "ico", Written("ico")}};
    for (const auto& k : kinds) {
        if (k.valid.isEmpty())
            qFatal("Qt wrote no %s file; is qt6-image-formats-plugins installed?", k.kind);
        m.Damage(k.kind, k.extension, k.valid);
        m.Add(k.kind, "zero bytes", k.extension, {});
    }

    // Headers declaring absurd sizes, everything else valid.
    m.Add("png", "IHDR declares 100000 x 100000 (CRC valid)", "png", PngDeclaring(png, 100000, 100000));
    m.Add("png", "IHDR declares width 2^31 - 1 (CRC valid)", "png", PngDeclaring(png, 0x7FFFFFFF, kHeight));
    m.Add("png", "IHDR declares 0 x 0 (CRC valid)", "png", PngDeclaring(png, 0, 0));
    // The file with little-endian fields (at, value, bytes) put in.
    const auto with = [](QByteArray bytes, std::initializer_list<std::tuple<int, quint32, int>> fields) {
        for (const auto& [at, value, size] : fields)
            size == 2 ? qToLittleEndian<quint16>(quint16(value), bytes.data() + at)
                      : qToLittleEndian<quint32>(value, bytes.data() + at);
        return bytes;
    };
    m.Add("bmp", "width 2^31 - 1", "bmp", with(bmp, {{18, 0x7FFFFFFF, 4}}));
    m.Add("bmp", "negative width", "bmp", with(bmp, {{18, quint32(-kWidth), 4}}));
    m.Add("bmp", "height -2^31", "bmp", with(bmp, {{22, 0x80000000u, 4}}));
    m.Add("bmp", "declares 100000 x 100000", "bmp", with(bmp, {{18, 100000, 4}, {22, 100000, 4}}));
    const int descriptor = 13 + 128 * 3; // after the header and the global colour table
    m.Add("gif", "screen and frame 65535 x 65535", "gif",
          with(gif, {{6, 0xFFFF, 2}, {8, 0xFFFF, 2}, {descriptor + 5, 0xFFFF, 2}, {descriptor + 7, 0xFFFF, 2}}));
    if (const int frame = JpegFrame(jpeg); frame > 0) // height and width, big-endian 0xFFF0
        m.Add("jpeg", "frame declares 65520 x 65520", "jpg",
              with(jpeg, {{frame + 5, 0xF0FF, 2}, {frame + 7, 0xF0FF, 2}}));
    m.Add("pgm", "declares 100000 x 100000", "pgm", "P5\n100000 100000\n255\n" + pgm.right(kWidth * kHeight));
    m.Add("ppm", "negative width", "ppm", "P6\n-40 30\n255\n" + ppm.right(kWidth * kHeight * 3));
    m.Add("ppm", "maximum value 0", "ppm", "P6\n40 30\n0\n" + ppm.right(kWidth * kHeight * 3));
    m.Add("tga", "declares 65535 x 65535", "tga", with(tga, {{12, 0xFFFF, 2}, {14, 0xFFFF, 2}}));

    // Damaged chunks beside the pixels: passed over, the picture opens.
    for (const testpictures::DamagedChunk& damaged : testpictures::DamagedAncillaryChunks())
        m.Add("png", damaged.what, "png", testpictures::PngWith(png, damaged.chunk, damaged.afterImage), Expect::Opens);

    // The file system and mislabelled files.
    const QString fs = QStringLiteral("file system");
    m.Add(fs, "a text file named .png", "png", "This is a note, not a picture.\n");
    m.Add(fs, "a text file named .bmp", "bmp", "BM but only two letters are right\n");
    // Qt's reader falls back to the content when the named kind's reader
    // does not recognise it, so these open as what they really are.
    m.Add(fs, "a PNG named .jpg", "jpg", png, Expect::RefusedOrRecovered);
    m.Add(fs, "a JPEG named .png", "png", jpeg, Expect::RefusedOrRecovered);
    m.Add(fs, "an unknown extension", "xyz", png, Expect::RefusedOrRecovered);
    const QString folderPng = QDir(folder).filePath(QStringLiteral("a folder.png"));
    QDir().mkpath(folderPng);
    m.inputs.append({fs, QStringLiteral("a folder"), folderPng});
    m.inputs.append({fs, QStringLiteral("a missing file"), QDir(folder).filePath(QStringLiteral("missing.png"))});
    m.inputs.append({fs, QStringLiteral("a file in a missing folder"),
                     QDir(folder).filePath(QStringLiteral("no such folder/picture.png"))});
    m.Add(fs, "a valid PNG without read permission", "png", png);
    Input& locked = m.inputs.last();
    locked.unreadable = true;
    QFile::setPermissions(locked.path, QFileDevice::Permissions());
    return m.inputs;
}

} // namespace hostile
