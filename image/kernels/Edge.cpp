// Edge detection's row kernel: the clamped Laplacian of 8-bit rows and of
// each colour channel of 32-bit rows.
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
    const int l = k - S < 0 ? k - S + n : k - S;
    const int r = k + S >= n ? k + S - n : k + S;
    const int box = up[l] + up[k] + up[r] + mid[l] + mid[k] + mid[r] + down[l] + down[k] + down[r];
    const int v = 9 * mid[k] - box;
    return std::uint8_t(v < 0 ? 0 : v > 255 ? 255 : v);
}

#if HWY_TARGET != HWY_SCALAR
// The responses at bytes t ... t + Lanes - 1, none of which wraps. Bytes are
// taken in pairs as 16-bit lanes, the even byte by an AND, the odd one by a
// shift: no widening shuffle. With S = 1 an even byte's left and right
// neighbours are the odd bytes of the lanes at t - 2 and t, an odd byte's the
// even bytes of the lanes at t and t + 2; with S = 4 they are the same
// halves of the lanes at t - 4 and t + 4. |9 x centre - box| <= 2295 fits the
// lanes; the clamped results go back into the two halves of each lane.
template <int S, class D8>
HWY_INLINE hn::Vec<D8> Responses(D8 d8, const std::uint8_t* up, const std::uint8_t* mid, const std::uint8_t* down,
                                 int t)
{
    constexpr int R = S == 1 ? 2 : S;
    const hn::Repartition<std::uint16_t, D8> d;
    const hn::RebindToSigned<decltype(d)> di;
    const auto low = hn::Set(d, 0xFF);
    auto e = hn::Zero(d), o = e, leftE = e, leftO = e, rightE = e, rightO = e, centreE = e, centreO = e;
    const std::uint8_t* rows[3] = {up, mid, down};
    for (int i = 0; i < 3; ++i) {
        const auto l = hn::BitCast(d, hn::LoadU(d8, rows[i] + t - R));
        const auto c = hn::BitCast(d, hn::LoadU(d8, rows[i] + t));
        const auto r = hn::BitCast(d, hn::LoadU(d8, rows[i] + t + R));
        const auto ce = hn::And(c, low), co = hn::ShiftRight<8>(c);
        e = hn::Add(e, ce);
        o = hn::Add(o, co);
        leftO = hn::Add(leftO, hn::ShiftRight<8>(l));
        rightE = hn::Add(rightE, hn::And(r, low));
        if constexpr (S != 1) {
            leftE = hn::Add(leftE, hn::And(l, low));
            rightO = hn::Add(rightO, hn::ShiftRight<8>(r));
        }
        if (i == 1) {
            centreE = ce;
            centreO = co;
        }
    }
    const auto both = hn::Add(e, o);
    const auto boxE = S == 1 ? hn::Add(both, leftO) : hn::Add(hn::Add(leftE, e), rightE);
    const auto boxO = S == 1 ? hn::Add(both, rightE) : hn::Add(hn::Add(leftO, o), rightO);
    const auto nine = hn::Set(d, 9);
    const auto zero = hn::Zero(di), top = hn::Set(di, 255);
    const auto vE = hn::Min(hn::Max(hn::BitCast(di, hn::Sub(hn::Mul(centreE, nine), boxE)), zero), top);
    const auto vO = hn::Min(hn::Max(hn::BitCast(di, hn::Sub(hn::Mul(centreO, nine), boxO)), zero), top);
    const auto v = hn::BitCast(d8, hn::Or(hn::BitCast(d, vE), hn::ShiftLeft<8>(hn::BitCast(d, vO))));
    if constexpr (S == 1)
        return v;
    // Alpha bytes from mid.
    const hn::Repartition<std::uint32_t, D8> d32;
    const auto alpha = hn::BitCast(d8, hn::Set(d32, 0xFF000000u));
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

void Grey8Row(const std::uint8_t* up, const std::uint8_t* mid, const std::uint8_t* down, std::uint8_t* out, int n)
{
    Row<1>(up, mid, down, out, n);
}

void Colour32Row(const std::uint8_t* up, const std::uint8_t* mid, const std::uint8_t* down, std::uint8_t* out, int n)
{
    Row<4>(up, mid, down, out, 4 * n);
}

} // namespace kernels::HWY_NAMESPACE
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace kernels {
HWY_EXPORT(Grey8Row);
HWY_EXPORT(Colour32Row);

void EdgeGrey8(const std::uint8_t* up, const std::uint8_t* mid, const std::uint8_t* down, std::uint8_t* out, int n)
{
    detail::Ready();
    HWY_DYNAMIC_DISPATCH(Grey8Row)(up, mid, down, out, n);
}

void EdgeColour32(const std::uint8_t* up, const std::uint8_t* mid, const std::uint8_t* down, std::uint8_t* out, int n)
{
    detail::Ready();
    HWY_DYNAMIC_DISPATCH(Colour32Row)(up, mid, down, out, n);
}
} // namespace kernels
#endif
