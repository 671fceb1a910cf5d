#include "TestPictures.h"

#include <QFile>

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

} // namespace testpictures
