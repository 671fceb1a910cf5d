// The mirror's row kernels: a row of bytes or of 32-bit pixels reversed in
// place.
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "image/operations/ReverseRows.cpp"
#include <hwy/foreach_target.h> // before highway.h
#include <hwy/cache_control.h>
#include <hwy/highway.h>
#include "image/kernels/Kernels.h"
#include <utility>

HWY_BEFORE_NAMESPACE();
namespace kernels::HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

#if HWY_TARGET != HWY_SCALAR
// A vector in reverse order. Bytes: those of each 64-bit lane reversed by a
// byte shuffle within 128-bit blocks, then the lanes reversed.
template <class D>
HWY_INLINE hn::Vec<D> Reversed(D d, hn::Vec<D> v)
{
    if constexpr (sizeof(hn::TFromD<D>) > 1) {
        return hn::Reverse(d, v);
    } else {
        alignas(16) static constexpr std::uint8_t kWithin[16] = {7, 6, 5, 4, 3, 2, 1, 0, 15, 14, 13, 12, 11, 10, 9, 8};
        const hn::Repartition<std::uint64_t, D> d64;
        const auto within = hn::TableLookupBytes(v, hn::LoadDup128(d, kWithin));
        return hn::BitCast(d, hn::Reverse(d64, hn::BitCast(d64, within)));
    }
}

// Swaps a vector from each end per step while the two ends are at least two
// vectors apart; a and b are left where they met. The row ahead is fetched at
// the same places.
template <class D>
HWY_INLINE void SwapEnds(D d, hn::TFromD<D>* row, int& a, int& b, const std::uint8_t* ahead)
{
    const int N = int(hn::Lanes(d)), size = int(sizeof(hn::TFromD<D>));
    for (; b - a >= 2 * N; a += N, b -= N) {
        if (ahead)
            hwy::Prefetch(ahead + size * a), hwy::Prefetch(ahead + size * (b - N));
        const auto l = hn::LoadU(d, row + a), r = hn::LoadU(d, row + b - N);
        hn::StoreU(Reversed(d, r), d, row + a);
        hn::StoreU(Reversed(d, l), d, row + b - N);
    }
}
#endif

template <typename T>
void RowOf(T* row, int n, const std::uint8_t* ahead)
{
    int a = 0, b = n;
#if HWY_TARGET != HWY_SCALAR
    SwapEnds(hn::ScalableTag<T>(), row, a, b, ahead);
    SwapEnds(hn::CappedTag<T, 16 / sizeof(T)>(), row, a, b, nullptr); // the middle, 16 bytes a step
#else
    (void)ahead; // one element at a time: nothing to fetch ahead of
#endif
    for (--b; a < b; ++a, --b)
        std::swap(row[a], row[b]);
}

void BytesRow(std::uint8_t* row, int n, const std::uint8_t* ahead) { RowOf(row, n, ahead); }
void WordsRow(std::uint32_t* row, int n, const std::uint8_t* ahead) { RowOf(row, n, ahead); }

} // namespace kernels::HWY_NAMESPACE
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace kernels {
HWY_EXPORT(BytesRow);
HWY_EXPORT(WordsRow);
ReverseBytesKernel ReverseBytes() { return KERNELS_CHOSEN(BytesRow); }
ReverseWordsKernel ReverseWords() { return KERNELS_CHOSEN(WordsRow); }
} // namespace kernels
#endif
