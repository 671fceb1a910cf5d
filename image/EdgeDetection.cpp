#include "Graphics.h"
#include "Operations.h"

#include <cstdint>
#include <cstring>
#include <memory>
#include <utility>

namespace {

// The Laplacian's response at one byte: 9 x centre minus the 3 x 3 box sum
// (the same as 8 x centre minus the eight neighbours), clamped to 0 ... 255.
// l and r are the byte offsets of the left and right neighbours.
inline std::uint8_t Response(const std::uint8_t* up, const std::uint8_t* mid, const std::uint8_t* down, int k, int l,
                             int r)
{
    const int box = up[l] + up[k] + up[r] + mid[l] + mid[k] + mid[r] + down[l] + down[k] + down[r];
    const int v = 9 * mid[k] - box;
    return std::uint8_t(v < 0 ? 0 : v > 255 ? 255 : v);
}

// Filters one row of n bytes whose channel neighbours lie S bytes apart
// (S = 1 for 8-bit rows, 4 for the B, G, R, A bytes of 32-bit rows). The
// first and last pixels wrap around the row; the interior has no wrap test.
// It goes in chunks: first the column sums up + mid + down, then each output
// as 9 x centre minus three neighbouring column sums, all in 16-bit lanes
// (|v| <= 2295) so that the compiler vectorizes both loops.
template <int S>
void FilterRow(const std::uint8_t* __restrict up, const std::uint8_t* __restrict mid,
               const std::uint8_t* __restrict down, std::uint8_t* __restrict out, int n)
{
    for (int k = 0; k < S && k < n; ++k)
        out[k] = Response(up, mid, down, k, k + n - S, k + S < n ? k + S : k);
    if (n <= S)
        return;
    constexpr int kChunk = 2048;
    std::uint16_t sums[kChunk + 2 * S];
    for (int start = S; start < n - S; start += kChunk) {
        const int length = n - S - start < kChunk ? n - S - start : kChunk;
        // sums[t] is the column sum at byte start - S + t.
        const std::uint8_t* u = up + start - S;
        const std::uint8_t* m = mid + start - S;
        const std::uint8_t* d = down + start - S;
        for (int t = 0; t < length + 2 * S; ++t)
            sums[t] = std::uint16_t(u[t] + m[t] + d[t]);
        const std::uint8_t* centre = mid + start;
        std::uint8_t* o = out + start;
        for (int t = 0; t < length; ++t) {
            const std::int16_t v = std::int16_t(9 * centre[t] - (sums[t] + sums[t + S] + sums[t + 2 * S]));
            o[t] = std::uint8_t(v < 0 ? 0 : v > 255 ? 255 : v);
        }
    }
    for (int k = n - S; k < n; ++k)
        out[k] = Response(up, mid, down, k, k - S, k + S - n);
}

// Puts the alpha bytes of a 32-bit row back to what they were.
void KeepAlpha(const std::uint8_t* __restrict before, std::uint8_t* __restrict out, int width)
{
    const auto* from = reinterpret_cast<const std::uint32_t*>(before);
    auto* to = reinterpret_cast<std::uint32_t*>(out);
    for (int x = 0; x < width; ++x)
        to[x] = (to[x] & 0x00FFFFFFu) | (from[x] & 0xFF000000u);
}

} // namespace

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
        if (colour) {
            FilterRow<4>(up, current, down, out, rowBytes);
            KeepAlpha(current, out, width);
        } else {
            FilterRow<1>(up, current, down, out, rowBytes);
        }
        std::swap(above, current);
    }
}
