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

#include <QImage>
#include <QString>
#include <QStringList>

class TProgress;

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>

// The colour of one pixel: 0x00BBGGRR, red in the low byte.
using TColor = std::int32_t;

constexpr TColor clBlack = 0x000000;
constexpr TColor clWhite = 0xFFFFFF;
// What a pixel read outside the bitmap returns: not a real colour (bits 24-31
// are not zero), so it can never be mistaken for a pixel of the picture.
constexpr TColor clNone = 0x1FFFFFFF;

// <windows.h> defines these four as macros (COLORREF has the same layout); a
// translation unit that includes it before this header gets the functions.
#undef GetRValue
#undef GetGValue
#undef GetBValue
#undef RGB
constexpr int GetRValue(TColor c) { return c & 0xFF; }
constexpr int GetGValue(TColor c) { return (c >> 8) & 0xFF; }
constexpr int GetBValue(TColor c) { return (c >> 16) & 0xFF; }
constexpr TColor RGB(int r, int g, int b) { return TColor(r | (g << 8) | (b << 16)); }

inline TColor ColorFromRgb(QRgb rgb) { return RGB(qRed(rgb), qGreen(rgb), qBlue(rgb)); }
inline QRgb RgbFromColor(TColor c) { return qRgb(GetRValue(c), GetGValue(c), GetBValue(c)); }

// Failures of the picture layer: a file that can't be read or written, a
// picture too large for memory. The message is meant for the user.
class Exception : public std::runtime_error {
public:
    explicit Exception(const QString& message) : std::runtime_error(message.toStdString()) {}
    QString Message() const { return QString::fromStdString(what()); }
};

enum class TPixelFormat { pfDevice, pf8bit, pf32bit };
using enum TPixelFormat;

// A small table from a 32-bit key (a colour, with or without its alpha) to a
// palette index, open addressed, for palettes of at most 256 colours: the one
// place a colour finds its index without searching the palette.
class TColourIndex {
public:
    TColourIndex() { Clear(); }
    void Clear()
    {
        for (auto& index : index_)
            index = -1;
    }
    // The index stored for key, or -1.
    int Find(std::uint32_t key) const
    {
        for (std::uint32_t slot = Slot(key); index_[slot] >= 0; slot = (slot + 1) & (kSlots - 1))
            if (key_[slot] == key)
                return index_[slot];
        return -1;
    }
    // Stores index for key unless the key has one already (so a repeated
    // palette colour keeps its first index); the key's index.
    int Insert(std::uint32_t key, int index)
    {
        std::uint32_t slot = Slot(key);
        for (; index_[slot] >= 0; slot = (slot + 1) & (kSlots - 1))
            if (key_[slot] == key)
                return index_[slot];
        key_[slot] = key;
        index_[slot] = std::int16_t(index);
        return index;
    }

private:
    static constexpr std::uint32_t kSlots = 1024; // four times the largest palette
    static std::uint32_t Slot(std::uint32_t key) { return (key * 2654435761u) >> 22; } // 10 bits
    std::uint32_t key_[kSlots] = {};
    std::int16_t index_[kSlots];
};

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

    // Palette access for 8-bit bitmaps (256 entries).
    QRgb PaletteEntry(int index) const { return palette_[index & 0xFF]; }
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
    // Copy of the 8-bit palette, and the table from colour to its first
    // palette index, so that writing a colour the palette holds never
    // searches it.
    QRgb palette_[256] = {};
    bool greyRamp_ = false;
    TColourIndex index_;
    TCanvas canvas_;
};

// The grey levels of an all-grey, opaque 32-bit image as bytes under the
// grey ramp. A null image, and *grey false, as soon as one pixel is not grey
// or not opaque (the grey ramp has no alpha); a null image with *grey true
// when the copy does not fit in memory. progress advances one step per row
// (the rows left out when a colour pixel ends the check included).
QImage GreyTo8bit(const QImage& image, bool* grey, TProgress* progress = nullptr);
