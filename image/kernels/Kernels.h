// The inner loops of the picture commands, one row at a time. Each is
// written once with Google Highway and compiled for every instruction set
// Highway attains on the processor family (x86: SSSE3, SSE4, AVX2, AVX-512;
// ARM: NEON, SVE, SVE2) plus its plain scalar fallback; the best one the
// processor runs is chosen on the first call. Setting the environment
// variable IMAGEBENCH_PORTABLE (to anything but 0) keeps the scalar code.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace kernels {

// Every byte of p[0 .. n) is xor'ed with the byte of pattern at the same
// place in a little-endian 32-bit word starting at p: 0xFFFFFFFF complements
// bytes, 0x00FFFFFF the colour channels of B, G, R, A pixels.
void XorPattern(std::uint8_t* p, std::size_t n, std::uint32_t pattern);

// One row of the clamped Laplacian 9 x centre - 3 x 3 box sum, the first and
// last pixels wrapping round the row. mid is a copy of the row as it was; up
// and down are its neighbours; none of them overlaps out. grey8: n bytes.
// colour32: n B, G, R, A pixels, each channel apart, alpha taken from mid.
void EdgeGrey8(const std::uint8_t* up, const std::uint8_t* mid, const std::uint8_t* down, std::uint8_t* out, int n);
void EdgeColour32(const std::uint8_t* up, const std::uint8_t* mid, const std::uint8_t* down, std::uint8_t* out,
                  int n);

// Reverses n bytes, or n 32-bit pixels, in place, swapping blocks from both
// ends. ahead (or nullptr) is a row to be reversed soon: it is fetched into
// the cache meanwhile, as the processor does not foresee the two-ended order.
void ReverseBytes(std::uint8_t* row, int n, const std::uint8_t* ahead);
void ReverseWords(std::uint32_t* row, int n, const std::uint8_t* ahead);

// dst[x] = the blue byte of src[x]; returns whether every pixel had
// red = green = blue (dst is written either way).
bool GreyRow(const std::uint32_t* src, std::uint8_t* dst, int n);

// out[x] = table[index[x]].
void LookUp(const std::uint8_t* index, const std::int32_t* table, std::int32_t* out, int n);

// The instruction sets (Highway's target bits) compiled in that this
// processor runs, best first; only the scalar one under IMAGEBENCH_PORTABLE.
std::vector<std::int64_t> Targets();
// Makes the kernels run target (one of Targets()); 0 goes back to the best.
// For tests and benchmarks that compare the targets.
void Force(std::int64_t target);
// The target the kernels run now, and its name.
std::int64_t ActiveTarget();
const char* TargetName(std::int64_t target);
// Whether target is the scalar fallback.
bool IsScalar(std::int64_t target);

namespace detail {
// Applies IMAGEBENCH_PORTABLE once, before the first dispatch.
void Ready();
} // namespace detail

} // namespace kernels
