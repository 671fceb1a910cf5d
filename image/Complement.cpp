#include "Graphics.h"
#include "Operations.h"

#include <cstdint>

void Complement(TBitmap& bitmap)
{
    if (IsPalettePicture(bitmap)) {
        ComplementPalette(bitmap);
        return;
    }
    const int width = bitmap.Width();
    const int height = bitmap.Height();
    if (bitmap.BytesPerPixel() == 1) {
        for (int y = 0; y < height; ++y) {
            std::uint8_t* row = bitmap.ScanLine(y);
            for (int j = 0; j < width; ++j)
                row[j] = std::uint8_t(255 - row[j]);
        }
        return;
    }
    // 32-bit pixels are 0xAARRGGBB words: invert the three colour channels.
    for (int y = 0; y < height; ++y) {
        auto* row = reinterpret_cast<std::uint32_t*>(bitmap.ScanLine(y));
        for (int x = 0; x < width; ++x)
            row[x] ^= 0x00FFFFFFu;
    }
}
