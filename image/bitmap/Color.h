// Colours: the platform's TColor value, its conversions to and from Qt's
// 32-bit pixels, and the small sums over pixels that more than one pass makes.
#pragma once

#include <QRgb>

#include <cstdint>

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

// Whether all n 0xAARRGGBB pixels are opaque (alpha 255).
inline bool AllOpaque(const std::uint32_t* pixels, int n)
{
    std::uint32_t all = 0xFF000000u;
    for (int x = 0; x < n; ++x)
        all &= pixels[x];
    return all == 0xFF000000u;
}

// The mean of count values that add up to sum (count > 0, sum >= 0), rounded
// to the nearest whole number, halves up.
constexpr int RoundedMean(std::int64_t sum, std::int64_t count) { return int((sum * 2 + count) / (count * 2)); }
