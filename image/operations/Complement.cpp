#include "image/bitmap/Bitmap.h"
#include "image/kernels/Kernels.h"
#include "image/operations/Operations.h"

#include <cstdint>

bool IsPalettePicture(const TBitmap& bitmap) { return bitmap.PixelFormat() == pf8bit && !bitmap.HasGreyRamp(); }

void ComplementPalette(TBitmap& bitmap)
{
    QRgb palette[256];
    for (int i = 0; i < 256; ++i)
        palette[i] = bitmap.PaletteEntry(i) ^ 0x00FFFFFFu;
    bitmap.SetPalette(palette);
}

void Complement(TBitmap& bitmap)
{
    if (IsPalettePicture(bitmap)) {
        ComplementPalette(bitmap);
        return;
    }
    // 8-bit rows: every byte; 32-bit B, G, R, A pixels: the colour bytes.
    const std::uint32_t pattern = bitmap.BytesPerPixel() == 1 ? 0xFFFFFFFFu : 0x00FFFFFFu;
    const std::size_t rowBytes = std::size_t(bitmap.Width()) * std::size_t(bitmap.BytesPerPixel());
    const auto xorPattern = kernels::XorPattern();
    if (bitmap.Height() > 1 && std::size_t(bitmap.BytesPerLine()) == rowBytes) {
        // Rows without padding follow each other: one pass over them all.
        xorPattern(bitmap.ScanLine(0), rowBytes * std::size_t(bitmap.Height()), pattern);
        return;
    }
    for (int y = 0; y < bitmap.Height(); ++y)
        xorPattern(bitmap.ScanLine(y), rowBytes, pattern);
}
