#include "image/bitmap/Bitmap.h"
#include "image/bitmap/Carried.h"
#include "image/bitmap/Grey.h"

namespace {

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

TColor TCanvas::Pixels(int x, int y) const
{
    const QImage& image = bitmap_.image_;
    if (!image.valid(x, y))
        return clNone;
    const std::uint8_t* line = image.constScanLine(y);
    return ColorFromRgb(image.depth() == 8 ? bitmap_.palette_[line[x]] : reinterpret_cast<const QRgb*>(line)[x]);
}

void TCanvas::SetPixels(int x, int y, TColor color)
{
    QImage& image = bitmap_.image_;
    if (!image.valid(x, y))
        return;
    const QRgb rgb = RgbFromColor(color);
    std::uint8_t* line = bitmap_.ScanLine(y);
    if (image.format() == QImage::Format_Indexed8)
        line[x] = std::uint8_t(bitmap_.PaletteIndex(rgb));
    else
        reinterpret_cast<QRgb*>(line)[x] = rgb;
}

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
        throw Exception(Sentence(NotEnoughMemory(u"to convert", Width(), Height())));
    KeepCarried(image_, converted);
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
            throw Exception(Sentence(NotEnoughMemory(u"to change", Width(), Height())));
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
    textOrder_ = source.textOrder_;
    ReadPalette();
    Changed();
}

void TBitmap::SetImage(const QImage& image)
{
    QImage normalized = Normalized(image);
    if (normalized.isNull() && !image.isNull())
        throw Exception(Sentence(NotEnoughMemory(u"for", image.width(), image.height())));
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
    case QImage::Format_Grayscale16:
        // The grey bytes are what the grey ramp shows: an 8-bit grey image
        // held by nobody else is taken over as it is, any other copied.
        out = image.format() == QImage::Format_Grayscale8 ? std::move(image)
                                                          : image.convertToFormat(QImage::Format_Grayscale8);
        if (!out.reinterpretAsFormat(QImage::Format_Indexed8))
            return {};
        out.setColorTable(GreyRamp());
        break;
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
    palette_.clear();
    index_.Clear();
    if (image_.format() == QImage::Format_Indexed8)
        palette_ = image_.colorTable();
    greyRamp_ = palette_ == GreyRamp();
    for (int i = 0; i < palette_.size(); ++i)
        index_.Insert(palette_[i] & 0xFFFFFFu, i); // colours only: pixels are written without alpha
    nearest_ = TNearestColour(palette_);
}

int TBitmap::PaletteIndex(QRgb rgb) const
{
    if (const int index = index_.Find(rgb & 0xFFFFFFu); index >= 0)
        return index;
    return nearest_.IndexOf(rgb); // not in the palette: the nearest entry
}
