// The bitmap and canvas every command works through.
//
// A TBitmap wraps a QImage that is always in one of three layouts, so that the
// operations only ever meet these:
//   - 8 bits per pixel with a full 256-entry palette (palette and grey files;
//     grey files get the grey ramp, so a byte is its grey level);
//   - 32 bits per pixel, QImage::Format_RGB32 (colour without alpha);
//   - 32 bits per pixel, QImage::Format_ARGB32 (colour with alpha, not
//     premultiplied, so the colour channels hold the file's own values).
// A null image is the empty bitmap (zero width and height).
#pragma once

#include "image/bitmap/Color.h"
#include "image/bitmap/ColourIndex.h"
#include "image/bitmap/Exception.h"
#include "image/bitmap/NearestColour.h"

#include <QImage>
#include <QStringList>

#include <cstdint>
#include <functional>

enum class TPixelFormat { pfDevice, pf8bit, pf32bit };
using enum TPixelFormat;

class TBitmap;

// Single-pixel access to a bitmap by column and row.
class TCanvas {
public:
    explicit TCanvas(TBitmap& bitmap) : bitmap_(bitmap) {}
    // The pixel's colour (its palette entry's colour on 8-bit bitmaps);
    // clNone outside the bitmap.
    TColor Pixels(int x, int y) const;
    // Sets the pixel to the nearest colour the bitmap can hold; does nothing
    // outside the bitmap.
    void SetPixels(int x, int y, TColor color);

private:
    TBitmap& bitmap_;
};

class TBitmap {
public:
    TBitmap();
    TBitmap(const TBitmap&) = delete;
    TBitmap& operator=(const TBitmap&) = delete;

    int Width() const { return image_.width(); }
    int Height() const { return image_.height(); }
    bool Empty() const { return image_.isNull(); }
    int BytesPerPixel() const { return image_.isNull() ? 0 : image_.depth() / 8; }
    bool HasAlpha() const { return image_.format() == QImage::Format_ARGB32; }

    TPixelFormat PixelFormat() const;
    // Changes the layout only. Converting to pf8bit: an 8-bit bitmap stays as
    // it is; an all-grey opaque picture gets the grey ramp (byte = grey
    // level); any other picture gets Qt's own 8-bit conversion. A palette
    // chosen for the picture's colours is the ConvertTo8bit operation's work.
    // pf32bit converts to 32-bit colour. Throws Exception when the converted
    // picture does not fit in memory; the bitmap then stays as it was.
    void SetPixelFormat(TPixelFormat format);

    // Row y's bytes, row 0 at the top: Width() bytes on 8-bit bitmaps,
    // 4 * Width() (B, G, R, A) on 32-bit ones. Writes through the pointer
    // change the image and notify nobody; whatever shows the image sees them
    // at its next paint (the image's cache key changes on every call).
    std::uint8_t* ScanLine(int y);
    const std::uint8_t* ScanLine(int y) const;
    qsizetype BytesPerLine() const { return image_.bytesPerLine(); }

    TCanvas* Canvas() { return &canvas_; }

    // Makes this bitmap an independent copy of source (size, format, palette,
    // pixels). The copy is shared until either side writes.
    void Assign(const TBitmap& source);

    // Replaces the image by any QImage, brought into one of the layouts above.
    // Throws Exception when there is not enough memory for the conversion.
    void SetImage(const QImage& image);
    const QImage& Image() const { return image_; }
    // The image's text keys in the order of the file they were read from
    // (QImage keeps them sorted), for writing them back in that order. Kept
    // by Assign; any key not in it comes after those that are.
    const QStringList& TextOrder() const { return textOrder_; }
    void SetTextOrder(const QStringList& order) { textOrder_ = order; }
    // Changes whenever the pixels may have changed.
    qint64 ChangeKey() const { return image_.cacheKey(); }

    // Palette access for 8-bit bitmaps (256 entries); 0 on other bitmaps.
    QRgb PaletteEntry(int index) const { return palette_.value(index & 0xFF); }
    // Replaces the 256 palette entries of an 8-bit bitmap (the pixel bytes
    // stay); does nothing on other bitmaps. Throws Exception when there is
    // not enough memory to stop sharing the pixels with a copy.
    void SetPalette(const QRgb (&palette)[256]);
    // True for 8-bit bitmaps whose palette is the grey ramp (entry i is the
    // opaque grey of level i), where a byte is its grey level.
    bool HasGreyRamp() const { return greyRamp_; }

    // Called after Assign, SetPixelFormat, SetImage and SetPalette.
    std::function<void()> OnChange;

    // Brings any QImage into one of the layouts above; a null image on
    // failure (not enough memory). An 8-bit grey image held by nobody else
    // keeps its pixels (no copy).
    static QImage Normalized(QImage image);

private:
    friend class TCanvas;
    void Changed();
    void Detach();
    void ReadPalette();
    int PaletteIndex(QRgb rgb) const;

    QImage image_;
    QStringList textOrder_;
    // The 8-bit palette (empty on other bitmaps), the table from colour to its
    // first palette index, so that writing a colour the palette holds never
    // searches it, and the search for the nearest entry to one it does not.
    QList<QRgb> palette_;
    bool greyRamp_ = false;
    TColourIndex index_;
    TNearestColour nearest_;
    TCanvas canvas_;
};
