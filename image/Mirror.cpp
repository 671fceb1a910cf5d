#include "Graphics.h"
#include "Operations.h"

#include <QColorSpace>

#include <cstdint>
#include <cstring>

namespace {

// dst gets src's n bytes in reverse order, eight at a time through a byte
// swap of 64-bit words.
void ReverseBytes(const std::uint8_t* __restrict src, std::uint8_t* __restrict dst, int n)
{
    int k = 0;
    for (; k + 8 <= n; k += 8) {
        std::uint64_t word;
        std::memcpy(&word, src + k, 8);
        word = __builtin_bswap64(word);
        std::memcpy(dst + n - 8 - k, &word, 8);
    }
    for (; k < n; ++k)
        dst[n - 1 - k] = src[k];
}

void ReverseWords(const std::uint32_t* __restrict src, std::uint32_t* __restrict dst, int n)
{
    for (int x = 0; x < n; ++x)
        dst[x] = src[n - 1 - x];
}

// An image of image's size, layout, palette and metadata, its pixels not set.
QImage Blank(const QImage& image)
{
    QImage out(image.size(), image.format());
    if (out.isNull())
        return out;
    out.setColorTable(image.colorTable());
    out.setDotsPerMeterX(image.dotsPerMeterX());
    out.setDotsPerMeterY(image.dotsPerMeterY());
    out.setOffset(image.offset());
    out.setColorSpace(image.colorSpace());
    for (const QString& key : image.textKeys())
        out.setText(key, image.text(key));
    return out;
}

} // namespace

void MirrorHorizontally(TBitmap& bitmap)
{
    if (bitmap.Empty())
        return;
    const int width = bitmap.Width();
    const int height = bitmap.Height();

    // The mirror is written into a temporary bitmap of the same layout and
    // palette, byte for byte, so that every pixel keeps its exact bytes
    // (even where the palette holds one colour twice).
    TBitmap tmp;
    {
        const QImage blank = Blank(bitmap.Image());
        if (blank.isNull())
            throw Exception(QStringLiteral("There is not enough memory to mirror a picture of %1 × %2 pixels.")
                                .arg(width)
                                .arg(height));
        tmp.SetImage(blank);
    } // tmp now holds the only reference, so writing its rows copies nothing

    const TBitmap& src = bitmap;
    if (bitmap.BytesPerPixel() == 1) {
        for (int y = 0; y < height; ++y)
            ReverseBytes(src.ScanLine(y), tmp.ScanLine(y), width);
    } else {
        for (int y = 0; y < height; ++y)
            ReverseWords(reinterpret_cast<const std::uint32_t*>(src.ScanLine(y)),
                         reinterpret_cast<std::uint32_t*>(tmp.ScanLine(y)), width);
    }
    bitmap.Assign(tmp);
}
