// Between 32-bit pixels and 8-bit ones: the grey check and conversion, the
// quantizer's histogram cells, and the capture's look-up of palette indices
// in a table of colours.
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "image/quantizer/IndexedRows.cpp"
#include <hwy/foreach_target.h> // before highway.h
#include <hwy/highway.h>
#include "image/kernels/Kernels.h"

HWY_BEFORE_NAMESPACE();
namespace kernels::HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

// step(x) for each whole vector of N of a row of n elements, four at a time
// while they last, the last one ending at the row's end (overlapping the one
// before); a row shorter than a vector goes to one(x) element by element.
template <class Step, class One>
void EachVector(int n, int N, const Step& step, const One& one)
{
    int x = 0;
    for (; x + 4 * N <= n; x += 4 * N)
        step(x), step(x + N), step(x + 2 * N), step(x + 3 * N);
    for (; x + N <= n; x += N)
        step(x);
    if (x < n && n >= N)
        step(n - N);
    else
        for (; x < n; ++x)
            one(x);
}

bool GreyRowOf(const std::uint32_t* src, std::uint8_t* dst, int n)
{
    const hn::ScalableTag<std::uint32_t> d;
    const hn::Rebind<std::uint8_t, decltype(d)> d8;
    // Blue ^ green and green ^ red of each pixel gather in the low 16 bits of
    // tint, or of differs for a row shorter than a vector.
    auto tint = hn::Zero(d);
    std::uint32_t differs = 0;
    const auto step = [&](int x) {
        const auto v = hn::LoadU(d, src + x);
        tint = hn::Or(tint, hn::Xor(v, hn::ShiftRight<8>(v)));
        hn::StoreU(hn::TruncateTo(d8, v), d8, dst + x);
    };
    EachVector(n, int(hn::Lanes(d)), step, [&](int x) {
        differs |= (src[x] ^ (src[x] >> 8)) & 0xFFFF;
        dst[x] = std::uint8_t(src[x]);
    });
    return differs == 0 && hn::AllTrue(d, hn::Eq(hn::And(tint, hn::Set(d, 0xFFFF)), hn::Zero(d)));
}

void CellsRow(const std::uint32_t* src, std::uint16_t* cells, int n)
{
    const hn::ScalableTag<std::uint32_t> d;
    const hn::Rebind<std::uint16_t, decltype(d)> d16;
    const auto step = [&](int x) {
        const auto p = hn::LoadU(d, src + x);
        const auto red = hn::And(hn::ShiftRight<9>(p), hn::Set(d, 0x7C00u));
        const auto green = hn::And(hn::ShiftRight<6>(p), hn::Set(d, 0x03E0u));
        const auto blue = hn::And(hn::ShiftRight<3>(p), hn::Set(d, 0x001Fu));
        hn::StoreU(hn::TruncateTo(d16, hn::Or(hn::Or(red, green), blue)), d16, cells + x);
    };
    EachVector(n, int(hn::Lanes(d)), step, [&](int x) {
        cells[x] = std::uint16_t(((src[x] >> 9) & 0x7C00u) | ((src[x] >> 6) & 0x03E0u) | ((src[x] >> 3) & 0x1Fu));
    });
}

void LookUpRow(const std::uint8_t* index, const std::int32_t* table, std::int32_t* out, int n)
{
    const hn::ScalableTag<std::int32_t> d;
    const hn::Rebind<std::uint8_t, decltype(d)> d8;
    const auto step = [&](int x) {
        hn::StoreU(hn::GatherIndex(d, table, hn::PromoteTo(d, hn::LoadU(d8, index + x))), d, out + x);
    };
    EachVector(n, int(hn::Lanes(d)), step, [&](int x) { out[x] = table[index[x]]; });
}

} // namespace kernels::HWY_NAMESPACE
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace kernels {
HWY_EXPORT(GreyRowOf);
HWY_EXPORT(CellsRow);
HWY_EXPORT(LookUpRow);
GreyKernel GreyRow() { return KERNELS_CHOSEN(GreyRowOf); }
CellsKernel Cells() { return KERNELS_CHOSEN(CellsRow); }
LookUpKernel LookUp() { return KERNELS_CHOSEN(LookUpRow); }
} // namespace kernels
#endif
