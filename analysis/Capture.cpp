#include "Analysis.h"

#include "image/bitmap/Bitmap.h"
#include "image/operations/Operations.h"
#include "image/kernels/Kernels.h"

#include <algorithm>

void CaptureBitmap(TBitmap& bitmap)
{
    ConvertTo8bit(bitmap);
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
    // The matrix holds a picture row in a column: look a band of rows up,
    // then store the band column by column, a cache line at a time.
    constexpr int kBand = 16;
    std::int32_t band[kBand][MatrixSize];
    const auto lookUp = kernels::LookUp();
    const TBitmap& source = bitmap;
    for (int y0 = 0; y0 < height; y0 += kBand) {
        const int rows = std::min(kBand, height - y0);
        for (int r = 0; r < rows; ++r)
            lookUp(source.ScanLine(y0 + r), colour, band[r], width);
        for (int x = 0; x < width; ++x)
            for (int r = 0; r < rows; ++r)
                At(CaptureMatrix, x, y0 + r) = band[r][x];
    }
}
