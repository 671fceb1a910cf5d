// The capture's look-up: palette indices to the colours of a table.
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "image/kernels/LookUp.cpp"
#include <hwy/foreach_target.h> // before highway.h

#include <hwy/highway.h>

#include "image/kernels/Kernels.h"

HWY_BEFORE_NAMESPACE();
namespace kernels::HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

void LookUpRow(const std::uint8_t* index, const std::int32_t* table, std::int32_t* out, int n)
{
    const hn::ScalableTag<std::int32_t> d;
    const hn::Rebind<std::uint8_t, decltype(d)> d8;
    const int N = int(hn::Lanes(d));
    const auto step = [&](int x) { hn::StoreU(hn::GatherIndex(d, table, hn::PromoteTo(d, hn::LoadU(d8, index + x))), d, out + x); };
    int x = 0;
    for (; x + N <= n; x += N)
        step(x);
    if (x < n && n >= N) // the last vector ends at the row's end
        step(n - N);
    else
        for (; x < n; ++x)
            out[x] = table[index[x]];
}

} // namespace kernels::HWY_NAMESPACE
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace kernels {
HWY_EXPORT(LookUpRow);

void LookUp(const std::uint8_t* index, const std::int32_t* table, std::int32_t* out, int n)
{
    detail::Ready();
    HWY_DYNAMIC_DISPATCH(LookUpRow)(index, table, out, n);
}
} // namespace kernels
#endif
