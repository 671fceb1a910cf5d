#include "image/bitmap/Bitmap.h"
#include "image/kernels/Kernels.h"
#include "image/operations/Operations.h"

#include <cstdint>
#include <cstring>
#include <memory>
#include <utility>

void EdgeDetect(TBitmap& bitmap)
{
    if (IsPalettePicture(bitmap))
        bitmap.SetPixelFormat(pf32bit);
    if (bitmap.Empty())
        return;
    const int width = bitmap.Width();
    const int height = bitmap.Height();
    const bool colour = bitmap.BytesPerPixel() == 4;
    const int rowBytes = colour ? 4 * width : width;
    const auto filter = kernels::Edge();

    // Every output comes from the picture as it was. The rows below the one
    // being written are still untouched, so the copy of the old picture only
    // needs three rows: row 0 (the last row's lower neighbour) and the two
    // rows overwritten last. Filtering in place this way touches no fresh
    // memory; a picture shared with another bitmap becomes its own copy at
    // the first write, and the other keeps the old pixels.
    const std::unique_ptr<std::uint8_t[]> saved(new std::uint8_t[3 * std::size_t(rowBytes)]);
    std::uint8_t* const first = saved.get();
    std::uint8_t* above = first + rowBytes;
    std::uint8_t* current = above + rowBytes;
    const TBitmap& before = bitmap;

    for (int i = 0; i < height; ++i) {
        std::uint8_t* out = bitmap.ScanLine(i);
        std::memcpy(current, out, std::size_t(rowBytes));
        if (i == 0)
            std::memcpy(first, out, std::size_t(rowBytes));
        // Row 0's upper neighbour is the last row, untouched until the end.
        const std::uint8_t* up = i > 0 ? above : height > 1 ? before.ScanLine(height - 1) : first;
        const std::uint8_t* down = i + 1 < height ? before.ScanLine(i + 1) : first;
        filter(colour ? 4 : 1, up, current, down, out, width);
        std::swap(above, current);
    }
}
