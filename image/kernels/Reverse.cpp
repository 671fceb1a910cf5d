// The mirror's row kernels: a row of bytes or of 32-bit pixels reversed in
// place.
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "image/kernels/Reverse.cpp"
#include <hwy/foreach_target.h> // before highway.h

#include <hwy/cache_control.h>
#include <hwy/highway.h>

#include "image/kernels/Kernels.h"

HWY_BEFORE_NAMESPACE();
namespace kernels::HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

// A vector of bytes in reverse order: the bytes of each 64-bit lane reversed
// by a byte shuffle within 128-bit blocks, then the lanes reversed.
template <class D>
HWY_INLINE hn::Vec<D> ReversedBytes(D d, hn::Vec<D> v)
{
    const hn::Repartition<std::uint64_t, D> d64;
    alignas(16) static constexpr std::uint8_t kWithinLanes[16] = {7, 6, 5, 4, 3, 2, 1, 0, 15, 14, 13, 12, 11, 10, 9, 8};
    return hn::BitCast(d, hn::Reverse(d64, hn::BitCast(d64, hn::TableLookupBytes(v, hn::LoadDup128(d, kWithinLanes)))));
}

// Swaps a vector from each end per step while the two ends are at least two
// vectors apart; a and b are left where they met. The row ahead is fetched at
// the same places.
template <class D, class Reversed>
HWY_INLINE void SwapEnds(D d, hn::TFromD<D>* row, int& a, int& b, const std::uint8_t* ahead, Reversed reversed)
{
    using T = hn::TFromD<D>;
    const int N = int(hn::Lanes(d));
    for (; b - a >= 2 * N; a += N, b -= N) {
        if (ahead) {
            hwy::Prefetch(ahead + sizeof(T) * a);
            hwy::Prefetch(ahead + sizeof(T) * (b - N));
        }
        const auto l = hn::LoadU(d, row + a), r = hn::LoadU(d, row + b - N);
        hn::StoreU(reversed(d, r), d, row + a);
        hn::StoreU(reversed(d, l), d, row + b - N);
    }
}

template <typename T>
void SwapRest(T* row, int a, int b)
{
    for (--b; a < b; ++a, --b) {
        const T t = row[a];
        row[a] = row[b];
        row[b] = t;
    }
}

void BytesRow(std::uint8_t* row, int n, const std::uint8_t* ahead)
{
    int a = 0, b = n;
#if HWY_TARGET != HWY_SCALAR
    const auto reversed = [](auto d, auto v) { return ReversedBytes(d, v); };
    SwapEnds(hn::ScalableTag<std::uint8_t>(), row, a, b, ahead, reversed);
    // The middle, under two full vectors, 16 bytes a step.
    SwapEnds(hn::CappedTag<std::uint8_t, 16>(), row, a, b, nullptr, reversed);
#else
    (void)ahead; // bytes go one at a time: nothing to fetch ahead of
#endif
    SwapRest(row, a, b);
}

void WordsRow(std::uint32_t* row, int n, const std::uint8_t* ahead)
{
    int a = 0, b = n;
    const auto reversed = [](auto d, auto v) { return hn::Reverse(d, v); };
    SwapEnds(hn::ScalableTag<std::uint32_t>(), row, a, b, ahead, reversed);
    SwapEnds(hn::CappedTag<std::uint32_t, 4>(), row, a, b, nullptr, reversed);
    SwapRest(row, a, b);
}

} // namespace kernels::HWY_NAMESPACE
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace kernels {
HWY_EXPORT(BytesRow);
HWY_EXPORT(WordsRow);

void ReverseBytes(std::uint8_t* row, int n, const std::uint8_t* ahead)
{
    detail::Ready();
    HWY_DYNAMIC_DISPATCH(BytesRow)(row, n, ahead);
}

void ReverseWords(std::uint32_t* row, int n, const std::uint8_t* ahead)
{
    detail::Ready();
    HWY_DYNAMIC_DISPATCH(WordsRow)(row, n, ahead);
}
} // namespace kernels
#endif
