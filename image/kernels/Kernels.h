// The inner loops of the picture commands, one row at a time. Each is written
// once with Google Highway and compiled for every instruction set Highway
// attains on the processor family (x86: SSSE3, SSE4, AVX2, AVX-512; ARM:
// NEON, SVE, SVE2) and for plain scalar code; the first call chooses the best
// one the processor runs. The environment variable IMAGEBENCH_PORTABLE (set
// to anything but 0) keeps the scalar code. Each function below returns its
// kernel for the target in use: a command fetches it once, then calls it for
// every row.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace kernels {

// Byte k of p[0 .. n) is xor'ed with byte k % 4 of the little-endian pattern:
// 0xFFFFFFFF complements bytes, 0x00FFFFFF the colour of B, G, R, A pixels.
using XorPatternKernel = void (*)(std::uint8_t* p, std::size_t n, std::uint32_t pattern);
XorPatternKernel XorPattern();

// One row of the clamped Laplacian 9 x centre - 3 x 3 box sum, the first and
// last pixels wrapping round the row. mid is a copy of the row as it was; up
// and down are its neighbours; none of them overlaps out. bpp = 1: n bytes;
// bpp = 4: n B, G, R, A pixels, each channel apart, alpha taken from mid.
using EdgeKernel = void (*)(int bpp, const std::uint8_t* up, const std::uint8_t* mid, const std::uint8_t* down,
                         std::uint8_t* out, int n);
EdgeKernel Edge();

// Reverses n bytes, or n 32-bit pixels, in place, from both ends. ahead (or
// nullptr), a row to be reversed soon, is fetched into the cache meanwhile.
using ReverseBytesKernel = void (*)(std::uint8_t* row, int n, const std::uint8_t* ahead);
using ReverseWordsKernel = void (*)(std::uint32_t* row, int n, const std::uint8_t* ahead);
ReverseBytesKernel ReverseBytes();
ReverseWordsKernel ReverseWords();

// dst[x] = the blue byte of src[x]; whether every pixel had red = green = blue.
using GreyKernel = bool (*)(const std::uint32_t* src, std::uint8_t* dst, int n);
GreyKernel GreyRow();
// cells[x] = the quantizer's histogram cell of src[x]: bits 7 ... 3 of red,
// green and blue, red highest, in 15 bits.
using CellsKernel = void (*)(const std::uint32_t* src, std::uint16_t* cells, int n);
CellsKernel Cells();
// out[x] = table[index[x]].
using LookUpKernel = void (*)(const std::uint8_t* index, const std::int32_t* table, std::int32_t* out, int n);
LookUpKernel LookUp();

// The two palette entries nearest the colour (r, g, b), of n entries held as
// red, green and blue arrays; n a multiple of kNearestBlock, the entries past
// the palette far away (kFarAway). keys[0] and keys[1]: squared distance << 8
// | index of the nearest and the next nearest (of equally near entries the
// lower index first).
constexpr int kNearestBlock = 64;
constexpr std::int32_t kFarAway = 1000;
using NearestKernel = void (*)(const std::int32_t* red, const std::int32_t* green, const std::int32_t* blue, int n,
                               int r, int g, int b, std::uint32_t* keys);
NearestKernel Nearest();

// For tests and benchmarks that compare the instruction sets (Highway's
// target bits): those compiled in that this processor runs, best first (only
// the scalar one under IMAGEBENCH_PORTABLE); Force(target) makes the kernels
// run one of them, Force(0) the best again.
std::vector<std::int64_t> Targets();
void Force(std::int64_t target);
std::int64_t ActiveTarget();
const char* TargetName(std::int64_t target);
bool IsScalar(std::int64_t target);

namespace detail {
void Ready(); // applies IMAGEBENCH_PORTABLE once and chooses the target
} // namespace detail
// In the kernel sources: FUNC's entry in its Highway dispatch table for the target in use.
#define KERNELS_CHOSEN(FUNC) (::kernels::detail::Ready(), HWY_DISPATCH_TABLE(FUNC)[hwy::GetChosenTarget().GetIndex()])

} // namespace kernels
