// Single-pixel access to a bitmap by column and row.
#pragma once

#include "image/bitmap/Color.h"

class TBitmap;

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
