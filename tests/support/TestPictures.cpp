#include "TestPictures.h"

#include <QColorSpace>
#include <QFile>
#include <QtEndian>

namespace testpictures {

QImage Grey(int width, int height, const std::function<int(int, int)>& level)
{
    QImage image(width, height, QImage::Format_Indexed8);
    QList<QRgb> ramp(256);
    for (int i = 0; i < 256; ++i)
        ramp[i] = qRgb(i, i, i);
    image.setColorTable(ramp);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.scanLine(y)[x] = std::uint8_t(level(x, y));
    return image;
}

QImage Grey(int width, int height, int level)
{
    return Grey(width, height, [level](int, int) { return level; });
}

QImage Colour(int width, int height, const std::function<QRgb(int, int)>& colour, bool alpha)
{
    QImage image(width, height, alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            reinterpret_cast<QRgb*>(image.scanLine(y))[x] = alpha ? colour(x, y) : (colour(x, y) | 0xFF000000u);
    return image;
}

QImage Palette(int width, int height, const QList<QRgb>& palette, const std::function<int(int, int)>& index)
{
    QImage image(width, height, QImage::Format_Indexed8);
    QList<QRgb> table = palette;
    table.resize(256, qRgb(0, 0, 0));
    image.setColorTable(table);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.scanLine(y)[x] = std::uint8_t(index(x, y));
    return image;
}

QImage RandomGrey(int width, int height, std::uint32_t seed)
{
    Random random(seed);
    return Grey(width, height, [&](int, int) { return int(random() & 0xFF); });
}

QImage RandomColour(int width, int height, std::uint32_t seed, bool alpha)
{
    Random random(~std::uint64_t(seed));
    return Colour(width, height, [&](int, int) { return QRgb(random()); }, alpha);
}

QByteArray Bytes(const TBitmap& bitmap)
{
    QByteArray out;
    const int rowBytes = bitmap.Width() * bitmap.BytesPerPixel();
    for (int y = 0; y < bitmap.Height(); ++y)
        out.append(reinterpret_cast<const char*>(bitmap.ScanLine(y)), rowBytes);
    return out;
}

QByteArray Bytes(const QImage& image)
{
    TBitmap bitmap;
    bitmap.SetImage(image);
    return Bytes(bitmap);
}

QByteArray FileBytes(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

bool WriteFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

quint32 PngCrc(const QByteArray& bytes, qsizetype from, qsizetype to)
{
    quint32 crc = 0xFFFFFFFFu;
    for (qsizetype i = from; i < to; ++i) {
        crc ^= quint8(bytes[i]);
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

QByteArray PngChunk(const char* type, const QByteArray& data, bool goodCrc)
{
    QByteArray chunk(4, '\0');
    qToBigEndian<quint32>(quint32(data.size()), chunk.data());
    chunk += QByteArray(type, 4) + data;
    chunk += QByteArray(4, '\0');
    qToBigEndian<quint32>(PngCrc(chunk, 4, chunk.size() - 4) + (goodCrc ? 0 : 1), chunk.data() + chunk.size() - 4);
    return chunk;
}

namespace {

// The offset of the first chunk of the type, or -1.
qsizetype FindChunk(const QByteArray& png, const char* type)
{
    for (qsizetype at = 8; at + 8 <= png.size();) {
        if (png.mid(at + 4, 4) == type)
            return at;
        at += 12 + qFromBigEndian<quint32>(png.constData() + at);
    }
    return -1;
}

} // namespace

QByteArray PngWith(const QByteArray& png, const QByteArray& chunk, bool afterImage)
{
    const qsizetype at = FindChunk(png, afterImage ? "IEND" : "IDAT");
    return at < 0 ? QByteArray() : png.left(at) + chunk + png.mid(at);
}

QByteArray Zlib(const QByteArray& data) { return qCompress(data).mid(4); } // without Qt's length in front

QList<DamagedChunk> DamagedAncillaryChunks()
{
    const QByteArray profile = QColorSpace(QColorSpace::DisplayP3).iccProfile();
    const QByteArray stream = Zlib(profile);
    QByteArray endless(4, '\0'); // a length of almost 2 GiB, then the file ends
    qToBigEndian<quint32>(0x7FFFFFF0u, endless.data());
    endless += Raw("tEXtLate\0text");
    return {
        {"iCCP whose zlib stream is damaged", PngChunk("iCCP", Raw("P3\0\0\x78\x9C\xFF\xFF\xFF\xFF\x00\x13"))},
        {"iCCP whose stream ends early", PngChunk("iCCP", Raw("P3\0\0") + stream.left(stream.size() / 2))},
        {"iCCP whose profile Qt rejects", PngChunk("iCCP", Raw("P3\0\0") + Zlib(QByteArray(600, 'x')))},
        {"iCCP with an empty name", PngChunk("iCCP", Raw("\0\0") + stream)},
        {"iCCP with an unknown compression", PngChunk("iCCP", Raw("P3\0\x07") + stream)},
        {"iCCP whose CRC is wrong", PngChunk("iCCP", Raw("P3\0\0") + stream, false)},
        {"sRGB with rendering intent 9", PngChunk("sRGB", Raw("\x09"))},
        {"gAMA of zero", PngChunk("gAMA", QByteArray(4, '\0'))},
        {"pHYs of 8 bytes", PngChunk("pHYs", QByteArray(8, '\x01'))},
        {"pHYs of zero dots per metre", PngChunk("pHYs", Raw("\0\0\0\0\0\0\0\0\x01"))},
        {"tEXt with an empty key", PngChunk("tEXt", Raw("\0value"))},
        {"tEXt with an 80-byte key", PngChunk("tEXt", QByteArray(80, 'k') + Raw("\0value"))},
        {"tEXt without the NUL after its key", PngChunk("tEXt", Raw("Keyvalue"))},
        {"zTXt whose stream is damaged", PngChunk("zTXt", Raw("Key\0\0\x78\x9C\x01\x02\x03"))},
        {"zTXt promising 64 MiB", PngChunk("zTXt", Raw("Key\0\0") + Zlib(QByteArray(64 << 20, ' ')))},
        {"iTXt with compression flag 2", PngChunk("iTXt", Raw("Key\0\x02\0\0\0text"))},
        {"iTXt cut before its language tag", PngChunk("iTXt", Raw("Key\0\0\0"))},
        {"tEXt after the image data whose CRC is wrong", PngChunk("tEXt", Raw("Key\0value"), false), true},
        {"a chunk after the image data promising 2 GiB", endless, true},
    };
}

QStringList PngChunkList(const QByteArray& png)
{
    QStringList list;
    for (qsizetype at = 8; at + 8 <= png.size();) {
        const quint32 length = qFromBigEndian<quint32>(png.constData() + at);
        QString entry = QString::fromLatin1(png.mid(at + 4, 4));
        if (entry == QLatin1String("tEXt") || entry == QLatin1String("zTXt") || entry == QLatin1String("iTXt"))
            entry += QLatin1Char(' ') + QString::fromLatin1(png.mid(at + 8, qsizetype(length)).split('\0').front());
        list << entry;
        at += 12 + qsizetype(length);
    }
    return list;
}

} // namespace testpictures
