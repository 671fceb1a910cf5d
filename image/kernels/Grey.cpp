// The grey check and conversion: 32-bit pixels to their blue bytes, telling
// whether every pixel had red = green = blue.
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "image/kernels/Grey.cpp"
#include <hwy/foreach_target.h> // before highway.h

#include <hwy/highway.h>

#include "image/kernels/Kernels.h"

HWY_BEFORE_NAMESPACE();
namespace kernels::HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

bool GreyRowOf(const std::uint32_t* src, std::uint8_t* dst, int n)
{
    const hn::ScalableTag<std::uint32_t> d;
    const hn::RebindToSigned<decltype(d)> di;
    const hn::Rebind<std::uint8_t, decltype(d)> d8;
    const int N = int(hn::Lanes(d));
    if (n >= N) {
        // Blue ^ green and green ^ red of each pixel gather in the low 16
        // bits of tint; the last vector ends at the row's end, overlapping
        // the one before.
        const auto low = hn::Set(d, 0xFF);
        auto tint = hn::Zero(d);
        const auto step = [&](int x) {
            const auto v = hn::LoadU(d, src + x);
            tint = hn::Or(tint, hn::Xor(v, hn::ShiftRight<8>(v)));
            hn::StoreU(hn::DemoteTo(d8, hn::BitCast(di, hn::And(v, low))), d8, dst + x);
        };
        int x = 0;
        for (; x + 2 * N <= n; x += 2 * N) {
            step(x);
            step(x + N);
        }
        if (x + N <= n)
            step(x);
        if (n % N != 0)
            step(n - N);
        return hn::AllTrue(d, hn::Eq(hn::And(tint, hn::Set(d, 0xFFFF)), hn::Zero(d)));
    }
    std::uint32_t differs = 0;
    for (int x = 0; x < n; ++x) {
        differs |= (src[x] ^ (src[x] >> 8)) & 0xFFFF;
        dst[x] = std::uint8_t(src[x]);
    }
    return differs == 0;
}

} // namespace kernels::HWY_NAMESPACE
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace kernels {
HWY_EXPORT(GreyRowOf);

bool GreyRow(const std::uint32_t* src, std::uint8_t* dst, int n)
{
    detail::Ready();
    return HWY_DYNAMIC_DISPATCH(GreyRowOf)(src, dst, n);
}
} // namespace kernels
#endif
