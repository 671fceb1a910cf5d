#include "image/bitmap/Bitmap.h"
#include "image/kernels/Kernels.h"
#include "image/work/RowBands.h"

#include <cstring>

namespace {

QList<QRgb> GreyRamp()
{
    QList<QRgb> ramp(256);
    for (int i = 0; i < 256; ++i)
        ramp[i] = qRgb(i, i, i);
    return ramp;
}

QImage Indexed8WithGreyRamp(int width, int height)
{
    QImage out(width, height, QImage::Format_Indexed8);
    if (out.isNull())
        return out;
    out.setColorTable(GreyRamp());
    return out;
}

// Pads an 8-bit image's palette to 256 opaque-black entries, so that every
// byte value a byte operation can produce names a real colour.
void PadPalette(QImage& image)
{
    QList<QRgb> table = image.colorTable();
    if (table.size() == 256)
        return;
    table.resize(256, qRgb(0, 0, 0));
    image.setColorTable(table);
}

} // namespace

// The grey check and the conversion go row by row in one pass, so that the
// picture is read from memory once; see-through pixels are looked for in the
// same row while it is in the cache.
QImage GreyTo8bit(const QImage& image, bool* grey, TProgress* progress)
{
    *grey = true;
    QImage out(image.width(), image.height(), QImage::Format_Indexed8); // null when it does not fit
    if (out.isNull())
        return out;
    out.setColorTable(GreyRamp());
    const int w = image.width();
    const bool alpha = image.format() == QImage::Format_ARGB32;
    const auto greyRow = kernels::GreyRow();
    *grey = ForEachRowBand(image, progress, [&](int y, const std::uint32_t* row) {
        std::uint32_t opaque = 0xFF000000u;
        if (alpha)
            for (int x = 0; x < w; ++x)
                opaque &= row[x];
        return greyRow(row, out.scanLine(y), w) && opaque == 0xFF000000u;
    });
    return *grey ? out : QImage();
}

// ---------------------------------------------------------------------------
// TCanvas

TColor TCanvas::Pixels(int x, int y) const
{
    const QImage& image = bitmap_.image_;
    if (unsigned(x) >= unsigned(image.width()) || unsigned(y) >= unsigned(image.height()))
        return clNone;
    const std::uint8_t* line = image.constScanLine(y);
    if (image.format() == QImage::Format_Indexed8)
        return ColorFromRgb(bitmap_.palette_[line[x]]);
    return ColorFromRgb(reinterpret_cast<const QRgb*>(line)[x]);
}

void TCanvas::SetPixels(int x, int y, TColor color)
{
    QImage& image = bitmap_.image_;
    if (unsigned(x) >= unsigned(image.width()) || unsigned(y) >= unsigned(image.height()))
        return;
    const QRgb rgb = RgbFromColor(color);
    std::uint8_t* line = bitmap_.ScanLine(y);
    if (image.format() == QImage::Format_Indexed8)
        line[x] = std::uint8_t(bitmap_.PaletteIndex(rgb));
    else
        reinterpret_cast<QRgb*>(line)[x] = rgb;
}

// ---------------------------------------------------------------------------
// TBitmap

TBitmap::TBitmap() : canvas_(*this) {}

TPixelFormat TBitmap::PixelFormat() const
{
    if (image_.isNull())
        return pfDevice;
    return image_.format() == QImage::Format_Indexed8 ? pf8bit : pf32bit;
}

void TBitmap::SetPixelFormat(TPixelFormat format)
{
    if (image_.isNull() || format == pfDevice || format == PixelFormat())
        return;
    QImage converted;
    if (format == pf8bit) {
        bool grey = false;
        converted = GreyTo8bit(image_, &grey);
        if (!grey)
            converted = image_.convertToFormat(QImage::Format_Indexed8);
    } else {
        converted = image_.convertToFormat(image_.hasAlphaChannel() ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    }
    // Qt returns a null image when the new pixels do not fit in memory; the
    // picture must then stay as it was.
    if (converted.isNull())
        throw Exception(QStringLiteral("There is not enough memory to convert a picture of %1 × %2 pixels.")
                            .arg(Width())
                            .arg(Height()));
    SetImage(converted);
}

std::uint8_t* TBitmap::ScanLine(int y)
{
    Q_ASSERT(unsigned(y) < unsigned(Height()));
    Detach();
    return image_.scanLine(y);
}

void TBitmap::Detach()
{
    if (!image_.isDetached()) {
        // The pixels are still shared with a copy (Assign): take our own
        // before the first write. QImage would turn itself null if that copy
        // failed; here the picture stays as it was and the command ends.
        QImage own = image_.copy();
        if (own.isNull())
            throw Exception(QStringLiteral("There is not enough memory to change a picture of %1 × %2 pixels.")
                                .arg(Width())
                                .arg(Height()));
        image_ = std::move(own);
    }
}

void TBitmap::SetPalette(const QRgb (&palette)[256])
{
    if (image_.format() != QImage::Format_Indexed8)
        return;
    Detach();
    image_.setColorTable(QList<QRgb>(palette, palette + 256));
    ReadPalette();
    Changed();
}

const std::uint8_t* TBitmap::ScanLine(int y) const
{
    Q_ASSERT(unsigned(y) < unsigned(Height()));
    return image_.constScanLine(y);
}

void TBitmap::Assign(const TBitmap& source)
{
    if (&source == this)
        return;
    image_ = source.image_;
    std::memcpy(palette_, source.palette_, sizeof palette_);
    greyRamp_ = source.greyRamp_;
    index_ = source.index_;
    Changed();
}

void TBitmap::SetImage(const QImage& image)
{
    QImage normalized = Normalized(image);
    if (normalized.isNull() && !image.isNull())
        throw Exception(QStringLiteral("There is not enough memory for a picture of %1 × %2 pixels.")
                            .arg(image.width())
                            .arg(image.height()));
    image_ = std::move(normalized);
    ReadPalette();
    Changed();
}

QImage TBitmap::Normalized(QImage image)
{
    if (image.isNull())
        return {};
    QImage out;
    switch (image.format()) {
    case QImage::Format_Indexed8:
    case QImage::Format_RGB32:
    case QImage::Format_ARGB32:
        out = image;
        break;
    case QImage::Format_Mono:
    case QImage::Format_MonoLSB:
        out = image.convertToFormat(QImage::Format_Indexed8);
        break;
    case QImage::Format_Grayscale8:
        if (image.isDetached()) {
            // The grey bytes are already what the grey ramp shows: take
            // them over rather than copy them.
            image.reinterpretAsFormat(QImage::Format_Indexed8);
            image.setColorTable(GreyRamp());
            out = std::move(image);
            break;
        }
        [[fallthrough]];
    case QImage::Format_Grayscale16: {
        const QImage grey = image.convertToFormat(QImage::Format_Grayscale8);
        out = Indexed8WithGreyRamp(image.width(), image.height());
        if (grey.isNull() || out.isNull())
            return {};
        for (int y = 0; y < image.height(); ++y)
            std::memcpy(out.scanLine(y), grey.constScanLine(y), size_t(image.width()));
        break;
    }
    default:
        out = image.convertToFormat(image.hasAlphaChannel() ? QImage::Format_ARGB32 : QImage::Format_RGB32);
        break;
    }
    if (out.format() == QImage::Format_Indexed8)
        PadPalette(out);
    return out;
}

void TBitmap::Changed()
{
    if (OnChange)
        OnChange();
}

void TBitmap::ReadPalette()
{
    std::memset(palette_, 0, sizeof palette_);
    index_.Clear();
    greyRamp_ = false;
    if (image_.format() != QImage::Format_Indexed8)
        return;
    const QList<QRgb> table = image_.colorTable();
    greyRamp_ = table.size() == 256;
    for (int i = 0; i < 256 && i < table.size(); ++i) {
        palette_[i] = table[i];
        greyRamp_ = greyRamp_ && table[i] == qRgb(i, i, i);
        index_.Insert(table[i] & 0xFFFFFFu, i); // colours only: pixels are written without alpha
    }
}

int TBitmap::PaletteIndex(QRgb rgb) const
{
    if (const int index = index_.Find(rgb & 0xFFFFFFu); index >= 0)
        return index;
    // Not in the palette: the nearest entry by squared distance.
    int best = 0;
    int bestDistance = 1 << 30;
    for (int i = 0; i < 256; ++i) {
        const int dr = qRed(palette_[i]) - qRed(rgb);
        const int dg = qGreen(palette_[i]) - qGreen(rgb);
        const int db = qBlue(palette_[i]) - qBlue(rgb);
        const int distance = dr * dr + dg * dg + db * db;
        if (distance < bestDistance) {
            bestDistance = distance;
            best = i;
        }
    }
    return best;
}

