// The operations' references on single values, with nothing but Qt Gui, so
// that the tools can use them too (support/Reference.h builds the picture
// references on them).
#pragma once

#include <QRgb>

#include <cstdint>

namespace reference {

// Complement: every byte of an 8-bit picture is xor'ed with the first
// pattern, every pixel of a 32-bit one with the second (its colour bytes,
// not alpha).
constexpr std::uint32_t kComplementBytes = 0xFFFFFFFFu;
constexpr std::uint32_t kComplementColour = 0x00FFFFFFu;

// The complement of one colour: 255 - v for red, green and blue, alpha kept.
constexpr QRgb Complement(QRgb colour)
{
    return colour ^ kComplementColour;
}

} // namespace reference
