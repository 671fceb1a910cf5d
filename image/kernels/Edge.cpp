// Edge detection's row kernel: the clamped Laplacian of each colour channel.
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "image/kernels/Edge.cpp"
#include <hwy/foreach_target.h> // before highway.h
#include <hwy/highway.h>
#include "image/kernels/Kernels.h"

HWY_BEFORE_NAMESPACE();
namespace kernels::HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

// The response at byte k of a row of n bytes whose channel neighbours lie S
// bytes apart, wrapping round the row; alpha bytes (S = 4, k % 4 == 3) keep
// mid's value. For the ends of the row and rows too short for a vector.
inline std::uint8_t Response(const std::uint8_t* up, const std::uint8_t* mid, const std::uint8_t* down, int k,
                             int n, int S)
{
    if (S == 4 && (k & 3) == 3)
        return mid[k];
    const int l = k - S < 0 ? k - S + n : k - S, r = k + S >= n ? k + S - n : k + S;
    const int v = 9 * mid[k] - (up[l] + up[k] + up[r] + mid[l] + mid[k] + mid[r] + down[l] + down[k] + down[r]);
    return std::uint8_t(v < 0 ? 0 : v > 255 ? 255 : v);
}

#if HWY_TARGET != HWY_SCALAR
// The responses at bytes t ... t + Lanes - 1, none of which wraps. Byte pairs
// are 16-bit lanes, the even byte taken by an AND, the odd one by a shift: no
// widening shuffle. With S = 1 an even byte's left and right neighbours are
// the odd bytes of the lanes at t - 2 and t, an odd byte's the even bytes of
// the lanes at t and t + 2; with S = 4 they are the same halves of the lanes
// at t - 4 and t + 4. |9 x centre - box| <= 2295 fits the lanes; the clamped
// results go back into the two halves of each lane.
template <int S, class D8>
HWY_INLINE hn::Vec<D8> Responses(D8 d8, const std::uint8_t* up, const std::uint8_t* mid, const std::uint8_t* down,
                                 int t)
{
    constexpr int R = S == 1 ? 2 : S;
    const hn::Repartition<std::uint16_t, D8> d;
    const hn::RebindToSigned<decltype(d)> di;
    const auto even = [&](auto v) { return hn::And(v, hn::Set(d, 0xFF)); };
    const auto odd = [](auto v) { return hn::ShiftRight<8>(v); };
    const auto load = [&](const std::uint8_t* row, int at) { return hn::BitCast(d, hn::LoadU(d8, row + at)); };
    auto boxE = hn::Zero(d), boxO = boxE;
    for (const std::uint8_t* row : {up, mid, down}) {
        const auto l = load(row, t - R), c = load(row, t), r = load(row, t + R);
        if constexpr (S == 1) {
            const auto both = hn::Add(even(c), odd(c));
            boxE = hn::Add(boxE, hn::Add(both, odd(l)));
            boxO = hn::Add(boxO, hn::Add(both, even(r)));
        } else {
            boxE = hn::Add(boxE, hn::Add(hn::Add(even(l), even(c)), even(r)));
            boxO = hn::Add(boxO, hn::Add(hn::Add(odd(l), odd(c)), odd(r)));
        }
    }
    const auto clamped = [&](auto centre, auto box) {
        const auto v = hn::BitCast(di, hn::Sub(hn::Mul(centre, hn::Set(d, 9)), box));
        return hn::BitCast(d, hn::Min(hn::Max(v, hn::Zero(di)), hn::Set(di, 255)));
    };
    const auto centre = load(mid, t);
    const auto v = hn::BitCast(d8, hn::Or(clamped(even(centre), boxE), hn::ShiftLeft<8>(clamped(odd(centre), boxO))));
    if constexpr (S == 1)
        return v;
    const auto alpha = hn::BitCast(d8, hn::Set(hn::Repartition<std::uint32_t, D8>(), 0xFF000000u)); // from mid
    return hn::Or(hn::AndNot(alpha, v), hn::And(alpha, hn::LoadU(d8, mid + t)));
}
#endif

// The first vector starts at the first byte with no wrap, the next ones
// where out has a vector boundary (no store then straddles two cache lines;
// 32-bit rows start at 4-byte boundaries, so the vectors stay on pixels),
// and the last one ends where the bytes without wrap do; vectors that
// overlap write the same bytes twice.
template <int S>
void Row(const std::uint8_t* up, const std::uint8_t* mid, const std::uint8_t* down, std::uint8_t* out, int n)
{
#if HWY_TARGET != HWY_SCALAR
    constexpr int R = S == 1 ? 2 : S;
    const hn::ScalableTag<std::uint8_t> d8;
    const int N = int(hn::Lanes(d8));
    if (n >= N + 2 * R) {
        hn::StoreU(Responses<S>(d8, up, mid, down, R), d8, out + R);
        const int skip = int((N - (reinterpret_cast<std::uintptr_t>(out) + R) % N) % N);
        int t = R + (skip == 0 ? N : skip - skip % S); // whole pixels from the start
        for (; t + N + R <= n; t += N)
            hn::StoreU(Responses<S>(d8, up, mid, down, t), d8, out + t);
        if (t < n - R)
            hn::StoreU(Responses<S>(d8, up, mid, down, n - R - N), d8, out + n - R - N);
        for (int k = 0; k < R; ++k) {
            out[k] = Response(up, mid, down, k, n, S);
            out[n - 1 - k] = Response(up, mid, down, n - 1 - k, n, S);
        }
        return;
    }
#endif
    for (int k = 0; k < n; ++k)
        out[k] = Response(up, mid, down, k, n, S);
}

// bpp = 1: n bytes; 4: n B, G, R, A pixels.
void EdgeRow(int bpp, const std::uint8_t* up, const std::uint8_t* mid, const std::uint8_t* down, std::uint8_t* out,
             int n)
{
    bpp == 1 ? Row<1>(up, mid, down, out, n) : Row<4>(up, mid, down, out, 4 * n);
}

} // namespace kernels::HWY_NAMESPACE
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace kernels {
HWY_EXPORT(EdgeRow);
EdgeKernel Edge() { return KERNELS_CHOSEN(EdgeRow); }
} // namespace kernels
#endif
