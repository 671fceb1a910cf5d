// The nearest-colour kernel: the squared distance from one colour to every
// palette entry at once, keeping the two smallest per lane.
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "image/bitmap/NearestRows.cpp"
#include <hwy/foreach_target.h> // before highway.h
#include <hwy/highway.h>
#include "image/kernels/Kernels.h"

HWY_BEFORE_NAMESPACE();
namespace kernels::HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

void NearestTwo(const std::int32_t* red, const std::int32_t* green, const std::int32_t* blue, int n, int r, int g,
                int b, std::uint32_t* keys)
{
    const hn::ScalableTag<std::int32_t> d;
    const hn::RebindToUnsigned<decltype(d)> du;
    const int N = int(hn::Lanes(d));
    const auto vr = hn::Set(d, r), vg = hn::Set(d, g), vb = hn::Set(d, b);
    const auto step = hn::Set(du, std::uint32_t(N));
    auto index = hn::Iota(du, 0);
    auto first = hn::Set(du, ~0u), second = first; // the two smallest keys of each lane
    for (int i = 0; i < n; i += N) {
        const auto dr = hn::Sub(hn::LoadU(d, red + i), vr);
        const auto dg = hn::Sub(hn::LoadU(d, green + i), vg);
        const auto db = hn::Sub(hn::LoadU(d, blue + i), vb);
        const auto distance = hn::Add(hn::Add(hn::Mul(dr, dr), hn::Mul(dg, dg)), hn::Mul(db, db));
        const auto key = hn::Or(hn::ShiftLeft<8>(hn::BitCast(du, distance)), hn::And(index, hn::Set(du, 255u)));
        second = hn::Min(second, hn::Max(first, key));
        first = hn::Min(first, key);
        index = hn::Add(index, step);
    }
    // Keys are unique: the nearest stands in one lane; the next nearest is
    // that lane's second or another lane's first.
    const auto best = hn::MinOfLanes(du, first);
    const auto others = hn::IfThenElse(hn::Eq(first, best), second, first);
    keys[0] = hn::GetLane(best);
    keys[1] = hn::GetLane(hn::MinOfLanes(du, others));
}

} // namespace kernels::HWY_NAMESPACE
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace kernels {
HWY_EXPORT(NearestTwo);
NearestKernel Nearest() { return KERNELS_CHOSEN(NearestTwo); }
} // namespace kernels
#endif
