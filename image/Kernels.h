// The inner loops of the picture commands, one row at a time. Each has a
// portable version (the reference) and, on x86 processors with AVX2 or
// AVX-512, vector versions; the fastest one the processor runs is chosen
// once, the first time a command asks. Setting the environment variable
// IMAGEBENCH_PORTABLE (to anything but 0) keeps the portable versions.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kernels {

enum class Path { Portable, Avx2, Avx512 };

struct Table {
    // Every byte b of p[0 .. n) becomes b ^ the byte of pattern at the same
    // place in a little-endian 32-bit word (p is 4-byte aligned): 0xFFFFFFFF
    // complements bytes, 0x00FFFFFF the colour channels of B, G, R, A pixels.
    void (*xorPattern)(std::uint8_t* p, std::size_t n, std::uint32_t pattern);
    // One row of the clamped Laplacian 9 x centre - 3 x 3 box sum, the first
    // and last pixels wrapping round the row. mid is a copy of the row as it
    // was; up and down are its neighbours; none of them overlaps out.
    // grey8: n bytes. colour32: n pixels, alpha taken from mid unchanged.
    void (*edgeGrey8)(const std::uint8_t* up, const std::uint8_t* mid, const std::uint8_t* down, std::uint8_t* out,
                      int n);
    void (*edgeColour32)(const std::uint8_t* up, const std::uint8_t* mid, const std::uint8_t* down,
                         std::uint8_t* out, int n);
    // Reverses n bytes, or n 32-bit pixels, in place, swapping blocks from
    // both ends. ahead (or nullptr) is a row to be reversed soon: the vector
    // versions fetch it into the cache meanwhile, as the processor does not
    // foresee the two-ended order.
    void (*reverseBytes)(std::uint8_t* row, int n, const std::uint8_t* ahead);
    void (*reverseWords)(std::uint32_t* row, int n, const std::uint8_t* ahead);
    // dst[x] = the blue byte of src[x]; returns whether every pixel had
    // red = green = blue (dst is written either way).
    bool (*greyRow)(const std::uint32_t* src, std::uint8_t* dst, int n);
    // out[x] = table[index[x]].
    void (*lookUp)(const std::uint8_t* index, const std::int32_t* table, std::int32_t* out, int n);
};

// The table in use.
const Table& Active();
Path ActivePath();
const char* PathName(Path path);
// The table of one path; nullptr where this build or processor lacks it.
const Table* TableFor(Path path);
// Makes path the one in use when the processor has it; returns the one in
// use before (for tests and benchmarks that compare the paths).
Path Use(Path path);

namespace detail {

// The Laplacian's response at byte k of a row of n bytes whose channel
// neighbours lie S bytes apart, neighbours wrapping round the row; alpha
// bytes (S = 4, k % 4 == 3) keep mid's value. For the ends of the rows the
// vector loops leave over.
inline std::uint8_t Response(const std::uint8_t* up, const std::uint8_t* mid, const std::uint8_t* down, int k, int n,
                             int S)
{
    if (S == 4 && (k & 3) == 3)
        return mid[k];
    const int l = k - S < 0 ? k - S + n : k - S;
    const int r = k + S >= n ? k + S - n : k + S;
    const int box = up[l] + up[k] + up[r] + mid[l] + mid[k] + mid[r] + down[l] + down[k] + down[r];
    const int v = 9 * mid[k] - box;
    return std::uint8_t(v < 0 ? 0 : v > 255 ? 255 : v);
}

} // namespace detail

} // namespace kernels
