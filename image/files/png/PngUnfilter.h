// The rows of a PNG file's image data as the reader gets them back: the five
// row filters undone, and the bytes put in the layout of Qt's images.
#pragma once

#include <cstddef>
#include <cstdint>

// Undoes the row filter named by filter (0 None, 1 Sub, 2 Up, 3 Average,
// 4 Paeth) on the n bytes of in, writing out. prev is the row above as
// unfiltered, all zeros for the first row; bpp the bytes of a pixel (1, 3
// or 4). out may be neither in nor prev. False for a filter PNG does not
// know.
bool UnfilterRow(int filter, const std::uint8_t* in, const std::uint8_t* prev, std::uint8_t* out, std::size_t n,
                 int bpp);

// R, G, B bytes to the 0xFFRRGGBB pixels of QImage::Format_RGB32.
void RgbToPixels(const std::uint8_t* in, std::uint32_t* out, int width);
// R, G, B, A bytes to the 0xAARRGGBB pixels of QImage::Format_ARGB32.
void RgbaToPixels(const std::uint8_t* in, std::uint32_t* out, int width);
