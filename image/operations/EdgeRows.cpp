// Edge detection's row kernel: the clamped Laplacian of each colour channel.
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "image/operations/EdgeRows.cpp"
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
// The responses at bytes t ... t + Lanes - 1, none of which wraps: each half
// of the vector widened to 16-bit lanes, 8 x centre less its eight channel
// neighbours (S bytes apart), narrowed back with saturation to 0 ... 255.
// Alpha bytes (S = 4) are mid's.
template <int S, class D8>
HWY_INLINE hn::Vec<D8> Responses(D8 d8, const std::uint8_t* up, const std::uint8_t* mid, const std::uint8_t* down,
                                 int t)
{
    const hn::Half<D8> dh;
    const hn::Rebind<std::int16_t, decltype(dh)> di;
    const auto half = [&](int at) {
        const auto wide = [&](const std::uint8_t* row, int k) { return hn::PromoteTo(di, hn::LoadU(dh, row + k)); };
        const auto above = hn::Add(hn::Add(wide(up, at - S), wide(up, at)), wide(up, at + S));
        const auto below = hn::Add(hn::Add(wide(down, at - S), wide(down, at)), wide(down, at + S));
        const auto sides = hn::Add(wide(mid, at - S), wide(mid, at + S));
        return hn::DemoteTo(dh, hn::Sub(hn::ShiftLeft<3>(wide(mid, at)), hn::Add(hn::Add(above, below), sides)));
    };
    const auto v = hn::Combine(d8, half(t + int(hn::Lanes(dh))), half(t));
    if constexpr (S == 1)
        return v;
    const auto alpha = hn::BitCast(d8, hn::Set(hn::Repartition<std::uint32_t, D8>(), 0xFF000000u)); // from mid
    return hn::IfVecThenElse(alpha, hn::LoadU(d8, mid + t), v);
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
    const hn::ScalableTag<std::uint8_t> d8;
    const int N = int(hn::Lanes(d8));
    if (n >= N + 2 * S) {
        hn::StoreU(Responses<S>(d8, up, mid, down, S), d8, out + S);
        const int skip = int((N - (reinterpret_cast<std::uintptr_t>(out) + S) % N) % N);
        int t = S + (skip == 0 ? N : skip - skip % S); // whole pixels from the start
        for (; t + N + S <= n; t += N)
            hn::StoreU(Responses<S>(d8, up, mid, down, t), d8, out + t);
        if (t < n - S)
            hn::StoreU(Responses<S>(d8, up, mid, down, n - S - N), d8, out + n - S - N);
        for (int k = 0; k < S; ++k) {
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
