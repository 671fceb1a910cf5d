#include "image/files/Metadata.h"
#include "image/bitmap/Carried.h"

#include <QFileInfo>
#include <QImageWriter>
#include <QPixelFormat>
#include <QTransform>

#include <algorithm>
#include <cstdint>

namespace {

// The kinds whose writers keep an alpha channel.
bool KeepsAlpha(const QByteArray& kind)
{
    static const QByteArray kinds[] = {"png", "tif", "tiff", "webp", "ico", "cur", "icns", "xpm"};
    return std::find(std::begin(kinds), std::end(kinds), kind) != std::end(kinds);
}

int BitsPerChannel(QImage::Format format)
{
    const QPixelFormat pixel = QImage::toPixelFormat(format);
    if (pixel.colorModel() == QPixelFormat::Grayscale || pixel.colorModel() == QPixelFormat::Alpha)
        return pixel.bitsPerPixel();
    return int(std::max({pixel.redSize(), pixel.greenSize(), pixel.blueSize()}));
}

// Whether any pixel is at least partly see-through.
bool SeeThrough(const QImage& image)
{
    if (!image.hasAlphaChannel())
        return false;
    if (image.format() == QImage::Format_Indexed8) {
        const QList<QRgb> table = image.colorTable();
        return std::any_of(table.begin(), table.end(), [](QRgb c) { return qAlpha(c) != 255; });
    }
    const QImage argb = image.format() == QImage::Format_ARGB32 ? image : image.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < argb.height(); ++y) {
        const auto* row = reinterpret_cast<const std::uint32_t*>(argb.constScanLine(y));
        std::uint32_t all = 0xFF000000u;
        for (int x = 0; x < argb.width(); ++x)
            all &= row[x];
        if (all >> 24 != 0xFF)
            return true;
    }
    return false;
}

QString Named(const QString& fileName) { return QFileInfo(fileName).fileName(); }

} // namespace

QImage Upright(const QImage& image, QImageIOHandler::Transformations orientation)
{
    if (orientation == QImageIOHandler::TransformationNone)
        return image;
    // Mirrored and flipped first, then turned a quarter right: Rotate180 and
    // Rotate270 are the mirror and the flip together, the latter turned.
    QImage out = image;
    if (orientation & (QImageIOHandler::TransformationMirror | QImageIOHandler::TransformationFlip))
        out = out.mirrored(orientation & QImageIOHandler::TransformationMirror,
                           orientation & QImageIOHandler::TransformationFlip);
    if (orientation & QImageIOHandler::TransformationRotate90)
        out = out.transformed(QTransform().rotate(90));
    if (out.isNull())
        return out;
    KeepCarried(image, out);
    return out;
}

void SetWriterOptions(QImageWriter& writer, const QByteArray& kind)
{
    if (kind == "jpg" || kind == "jpeg") {
        writer.setQuality(90);
        writer.setOptimizedWrite(true);
    }
}

QStringList OpenNotices(const QString& fileName, const QImage& image, int frames)
{
    QStringList notices;
    if (const int bits = BitsPerChannel(image.format()); bits > 8)
        notices << QStringLiteral("\"%1\" has %2 bits per channel; imagebench works at 8 and saves 8.")
                       .arg(Named(fileName))
                       .arg(bits);
    if (frames > 1)
        notices << QStringLiteral("\"%1\" holds %2 frames or pages; imagebench shows and saves the first alone.")
                       .arg(Named(fileName))
                       .arg(frames);
    return notices;
}

QStringList SaveNotices(const QString& fileName, const QImage& image, const QByteArray& kind)
{
    if (KeepsAlpha(kind) || !SeeThrough(image))
        return {};
    return {QStringLiteral("\"%1\": %2 files cannot hold see-through pixels; they are saved opaque.")
                .arg(Named(fileName), QString::fromLatin1(kind.toUpper()))};
}
