// The references on single values, on Qt Gui alone, so that the tools use them too.
#pragma once

#include <QRgb>

#include <cstdint>

namespace reference {
// Complement xors every byte of an 8-bit picture, every pixel of a 32-bit one but its alpha.
constexpr std::uint32_t kComplementBytes = 0xFFFFFFFFu, kComplementColour = 0x00FFFFFFu;
constexpr QRgb Complement(QRgb colour) { return colour ^ kComplementColour; }
} // namespace reference
