// The complement's row kernel: bytes xor'ed with a repeating 32-bit pattern.
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "image/operations/ComplementRows.cpp"
#include <hwy/foreach_target.h> // before highway.h
#include <hwy/highway.h>
#include "image/kernels/Kernels.h"
#include <bit>

HWY_BEFORE_NAMESPACE();
namespace kernels::HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

void XorPatternRow(std::uint8_t* p, std::size_t n, std::uint32_t pattern)
{
    const hn::ScalableTag<std::uint32_t> d;
    const std::size_t bytes = hn::Lanes(d) * 4;
    std::size_t k = 0;
    if (n >= 4 * bytes) {
        // Byte by byte up to a vector boundary, so that no load or store
        // after it straddles two cache lines; from there the pattern starts
        // at byte k & 3 of itself.
        const std::size_t head = (bytes - reinterpret_cast<std::uintptr_t>(p) % bytes) % bytes;
        for (; k < head; ++k)
            p[k] ^= std::uint8_t(pattern >> (8 * (k & 3)));
        const auto m = hn::Set(d, std::rotr(pattern, int(8 * (head & 3))));
        auto* q = reinterpret_cast<std::uint32_t*>(p + k); // aligned to the vector
        const std::size_t words = (n - k) / 4, N = hn::Lanes(d);
        std::size_t i = 0;
        for (; i + 4 * N <= words; i += 4 * N) { // four vectors a step, the loads first
            const auto a = hn::Load(d, q + i), b = hn::Load(d, q + i + N);
            const auto c = hn::Load(d, q + i + 2 * N), e = hn::Load(d, q + i + 3 * N);
            hn::Store(hn::Xor(a, m), d, q + i), hn::Store(hn::Xor(b, m), d, q + i + N);
            hn::Store(hn::Xor(c, m), d, q + i + 2 * N), hn::Store(hn::Xor(e, m), d, q + i + 3 * N);
        }
        for (; i + N <= words; i += N)
            hn::Store(hn::Xor(hn::Load(d, q + i), m), d, q + i);
        k += 4 * i;
    }
    for (; k < n; ++k)
        p[k] ^= std::uint8_t(pattern >> (8 * (k & 3)));
}

} // namespace kernels::HWY_NAMESPACE
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace kernels {
HWY_EXPORT(XorPatternRow);
XorPatternKernel XorPattern() { return KERNELS_CHOSEN(XorPatternRow); }
} // namespace kernels
#endif
