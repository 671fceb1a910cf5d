#include "image/bitmap/Graphics.h"
#include "image/operations/Operations.h"

bool IsPalettePicture(const TBitmap& bitmap) { return bitmap.PixelFormat() == pf8bit && !bitmap.HasGreyRamp(); }

void ComplementPalette(TBitmap& bitmap)
{
    QRgb palette[256];
    for (int i = 0; i < 256; ++i)
        palette[i] = bitmap.PaletteEntry(i) ^ 0x00FFFFFFu;
    bitmap.SetPalette(palette);
}
