#include "Analysis.h"

#include "image/Graphics.h"

#include <algorithm>

void CaptureBitmap(TBitmap& bitmap)
{
    bitmap.SetPixelFormat(pf8bit);
    // Only the top-left MatrixSize x MatrixSize pixels fit the matrix.
    const int width = std::min(bitmap.Width(), MatrixSize);
    const int height = std::min(bitmap.Height(), MatrixSize);
    if (width <= 0 || height <= 0)
        return;

    // After the conversion every pixel is a palette byte: look its colour up
    // in a local copy of the palette rather than through the canvas.
    TColor colour[256];
    for (int i = 0; i < 256; ++i)
        colour[i] = ColorFromRgb(bitmap.PaletteEntry(i));
    const TBitmap& source = bitmap;
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* row = source.ScanLine(y);
        for (int x = 0; x < width; ++x)
            At(CaptureMatrix, x, y) = colour[row[x]];
    }
}
