#include "KernelsX86.h"

#ifndef IMAGEBENCH_X86_KERNELS

namespace kernels::x86 {
const Table* Avx2Table() { return nullptr; }
const Table* Avx512Table() { return nullptr; }
} // namespace kernels::x86

#else

#include <immintrin.h>

#include <algorithm>
#include <cstdint>
#include <initializer_list>

#if !defined(__clang__)
// GCC 12's AVX-512 headers start some intrinsics from a deliberately
// undefined vector, which its own warning then reports at every use.
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

#define AVX2 __attribute__((target("avx2")))
#define AVX512 __attribute__((target("avx2,avx512f,avx512bw,avx512vl")))

namespace kernels::x86 {

namespace {

using detail::Response;

// The bytes the vector loops leave over, one at a time.
inline void Leftover(const std::uint8_t* up, const std::uint8_t* mid, const std::uint8_t* down, std::uint8_t* out,
                     int from, int to, int n, int S)
{
    for (int k = from; k < to; ++k)
        out[k] = Response(up, mid, down, k, n, S);
}

// ---------------------------------------------------------------------------
// AVX2: 32 bytes a step.

AVX2 void XorPattern2(std::uint8_t* p, std::size_t n, std::uint32_t pattern)
{
    const __m256i m = _mm256_set1_epi32(int(pattern));
    // Byte by byte up to the first 32-byte boundary, so that no load or store
    // after it straddles two cache lines (p is 4-byte aligned: the pattern
    // stays in step).
    std::size_t k = 0;
    for (; k < n && (reinterpret_cast<std::uintptr_t>(p + k) & 31) != 0; ++k)
        p[k] ^= std::uint8_t(pattern >> (8 * (k & 3)));
    for (; k + 128 <= n; k += 128) {
        auto* v = reinterpret_cast<__m256i*>(p + k);
        const __m256i a = _mm256_load_si256(v), b = _mm256_load_si256(v + 1);
        const __m256i c = _mm256_load_si256(v + 2), d = _mm256_load_si256(v + 3);
        _mm256_store_si256(v, _mm256_xor_si256(a, m));
        _mm256_store_si256(v + 1, _mm256_xor_si256(b, m));
        _mm256_store_si256(v + 2, _mm256_xor_si256(c, m));
        _mm256_store_si256(v + 3, _mm256_xor_si256(d, m));
    }
    for (; k + 32 <= n; k += 32) {
        auto* v = reinterpret_cast<__m256i*>(p + k);
        _mm256_store_si256(v, _mm256_xor_si256(_mm256_load_si256(v), m));
    }
    for (; k < n; ++k)
        p[k] ^= std::uint8_t(pattern >> (8 * (k & 3)));
}

AVX2 inline __m256i Load32(const std::uint8_t* p) { return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)); }

// The Laplacian of the 32 bytes at t. Bytes are taken as 16-bit lanes
// split into their even (low) and odd (high) bytes, so that widening costs
// one AND or shift and no shuffle: an even byte's left and right neighbours
// (S = 1) are the odd bytes of the lanes at t - 2 and t; an odd byte's, the
// even bytes of the lanes at t and t + 2. With S = 4 the neighbours are the
// same halves of the lanes at t - 4 and t + 4. The clamped results are
// packed and interleaved back within each 128-bit lane.
template <int S>
AVX2 inline __m256i LaplacianEvenOdd32(const std::uint8_t* up, const std::uint8_t* mid, const std::uint8_t* down, int t)
{
    constexpr int R = S == 1 ? 2 : S; // how far the neighbouring lanes start
    const __m256i low = _mm256_set1_epi16(0x00FF);
    __m256i leftE = _mm256_setzero_si256(), leftO = leftE, e = leftE, o = leftE, rightE = leftE, rightO = leftE;
    __m256i centreE = leftE, centreO = leftE;
    for (const std::uint8_t* row : {up, mid, down}) {
        const __m256i l = Load32(row + t - R), c = Load32(row + t), r = Load32(row + t + R);
        const __m256i ce = _mm256_and_si256(c, low), co = _mm256_srli_epi16(c, 8);
        e = _mm256_add_epi16(e, ce);
        o = _mm256_add_epi16(o, co);
        leftO = _mm256_add_epi16(leftO, _mm256_srli_epi16(l, 8));
        rightE = _mm256_add_epi16(rightE, _mm256_and_si256(r, low));
        if constexpr (S != 1) {
            leftE = _mm256_add_epi16(leftE, _mm256_and_si256(l, low));
            rightO = _mm256_add_epi16(rightO, _mm256_srli_epi16(r, 8));
        }
        if (row == mid) {
            centreE = ce;
            centreO = co;
        }
    }
    __m256i boxE, boxO;
    if constexpr (S == 1) {
        const __m256i both = _mm256_add_epi16(e, o);
        boxE = _mm256_add_epi16(both, leftO);
        boxO = _mm256_add_epi16(both, rightE);
    } else {
        boxE = _mm256_add_epi16(_mm256_add_epi16(leftE, e), rightE);
        boxO = _mm256_add_epi16(_mm256_add_epi16(leftO, o), rightO);
    }
    const __m256i nine = _mm256_set1_epi16(9);
    const __m256i vE = _mm256_sub_epi16(_mm256_mullo_epi16(centreE, nine), boxE);
    const __m256i vO = _mm256_sub_epi16(_mm256_mullo_epi16(centreO, nine), boxO);
    const __m256i interleave = _mm256_setr_epi8(0, 8, 1, 9, 2, 10, 3, 11, 4, 12, 5, 13, 6, 14, 7, 15, 0, 8, 1, 9, 2, 10,
                                                3, 11, 4, 12, 5, 13, 6, 14, 7, 15);
    return _mm256_shuffle_epi8(_mm256_packus_epi16(vE, vO), interleave);
}

template <int S>
AVX2 void Edge2(const std::uint8_t* up, const std::uint8_t* mid, const std::uint8_t* down, std::uint8_t* out, int n)
{
    constexpr int R = S == 1 ? 2 : S;
    const __m256i alpha = _mm256_set1_epi32(S == 4 ? int(0xFF000000u) : 0);
    int t = R;
    for (; t + 32 + R <= n; t += 32) {
        __m256i v = LaplacianEvenOdd32<S>(up, mid, down, t);
        if constexpr (S == 4) // alpha bytes from mid
            v = _mm256_blendv_epi8(v, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(mid + t)), alpha);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + t), v);
        // The last block ends where the vector reach does, overlapping the
        // one before (the outputs it writes twice come out the same).
        if (t + 32 < n - R && t + 64 + R > n)
            t = n - R - 64;
    }
    if (t == R) // no block: the row is short
        t = 0;
    Leftover(up, mid, down, out, 0, t == 0 ? 0 : R, n, S);
    Leftover(up, mid, down, out, t, n, n, S);
}

AVX2 void EdgeGrey2(const std::uint8_t* up, const std::uint8_t* mid, const std::uint8_t* down, std::uint8_t* out, int n)
{
    Edge2<1>(up, mid, down, out, n);
}

AVX2 void EdgeColour2(const std::uint8_t* up, const std::uint8_t* mid, const std::uint8_t* down, std::uint8_t* out,
                      int n)
{
    Edge2<4>(up, mid, down, out, 4 * n);
}

AVX2 inline __m256i Reversed32Bytes(__m256i v)
{
    const __m256i within = _mm256_setr_epi8(15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0, 15, 14, 13, 12, 11,
                                            10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0);
    return _mm256_permute4x64_epi64(_mm256_shuffle_epi8(v, within), 0x4E);
}

template <typename T>
inline void SwapRange(T* row, int a, int b)
{
    for (--b; a < b; ++a, --b) {
        const T t = row[a];
        row[a] = row[b];
        row[b] = t;
    }
}

// The cache lines of the row ahead at the same places as a and b.
inline void FetchAhead(const std::uint8_t* ahead, int a, int b)
{
    if (ahead) {
        _mm_prefetch(reinterpret_cast<const char*>(ahead + a), _MM_HINT_T0);
        _mm_prefetch(reinterpret_cast<const char*>(ahead + b), _MM_HINT_T0);
    }
}

// Swaps a block from each end per step, until the two ends meet.
AVX2 void ReverseBytes2(std::uint8_t* row, int n, const std::uint8_t* ahead)
{
    int a = 0, b = n;
    for (; b - a >= 64; a += 32, b -= 32) {
        FetchAhead(ahead, a, b - 32);
        auto* left = reinterpret_cast<__m256i*>(row + a);
        auto* right = reinterpret_cast<__m256i*>(row + b - 32);
        const __m256i l = _mm256_loadu_si256(left);
        const __m256i r = _mm256_loadu_si256(right);
        _mm256_storeu_si256(left, Reversed32Bytes(r));
        _mm256_storeu_si256(right, Reversed32Bytes(l));
    }
    SwapRange(row, a, b);
}

AVX2 void ReverseWords2(std::uint32_t* row, int n, const std::uint8_t* ahead)
{
    const __m256i order = _mm256_setr_epi32(7, 6, 5, 4, 3, 2, 1, 0);
    int a = 0, b = n;
    for (; b - a >= 16; a += 8, b -= 8) {
        FetchAhead(ahead, 4 * a, 4 * (b - 8));
        auto* left = reinterpret_cast<__m256i*>(row + a);
        auto* right = reinterpret_cast<__m256i*>(row + b - 8);
        const __m256i l = _mm256_loadu_si256(left);
        const __m256i r = _mm256_loadu_si256(right);
        _mm256_storeu_si256(left, _mm256_permutevar8x32_epi32(r, order));
        _mm256_storeu_si256(right, _mm256_permutevar8x32_epi32(l, order));
    }
    SwapRange(row, a, b);
}

// Blue ^ green and green ^ red of each pixel, in its low 16 bits.
AVX2 inline __m256i Tint2(__m256i v)
{
    return _mm256_and_si256(_mm256_xor_si256(v, _mm256_srli_epi32(v, 8)), _mm256_set1_epi32(0xFFFF));
}

AVX2 bool GreyRow2(const std::uint32_t* src, std::uint8_t* dst, int n)
{
    const __m256i low = _mm256_set1_epi32(0xFF);
    const __m256i order = _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7);
    __m256i tint = _mm256_setzero_si256();
    int x = 0;
    for (; x + 32 <= n; x += 32) {
        const auto* s = reinterpret_cast<const __m256i*>(src + x);
        const __m256i a = _mm256_loadu_si256(s), b = _mm256_loadu_si256(s + 1);
        const __m256i c = _mm256_loadu_si256(s + 2), d = _mm256_loadu_si256(s + 3);
        tint = _mm256_or_si256(tint, _mm256_or_si256(_mm256_or_si256(Tint2(a), Tint2(b)),
                                                     _mm256_or_si256(Tint2(c), Tint2(d))));
        const __m256i ab = _mm256_packus_epi32(_mm256_and_si256(a, low), _mm256_and_si256(b, low));
        const __m256i cd = _mm256_packus_epi32(_mm256_and_si256(c, low), _mm256_and_si256(d, low));
        const __m256i bytes = _mm256_permutevar8x32_epi32(_mm256_packus_epi16(ab, cd), order);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + x), bytes);
    }
    std::uint32_t differs = std::uint32_t(!_mm256_testz_si256(tint, tint));
    for (; x < n; ++x) {
        const std::uint32_t v = src[x];
        differs |= (v ^ (v >> 8)) & 0xFFFF;
        dst[x] = std::uint8_t(v);
    }
    return differs == 0;
}

AVX2 void LookUp2(const std::uint8_t* index, const std::int32_t* table, std::int32_t* out, int n)
{
    int x = 0;
    for (; x + 8 <= n; x += 8) {
        const __m256i i = _mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(index + x)));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + x), _mm256_i32gather_epi32(table, i, 4));
    }
    for (; x < n; ++x)
        out[x] = table[index[x]];
}

// ---------------------------------------------------------------------------
// AVX-512 (with BW and VL): 64 bytes a step, tails through masks.

AVX512 void XorPattern5(std::uint8_t* p, std::size_t n, std::uint32_t pattern)
{
    const __m512i m = _mm512_set1_epi32(int(pattern));
    // Up to the first 64-byte boundary through a mask, so that no load or
    // store after it straddles two cache lines. p is 4-byte aligned, so the
    // pattern stays in step.
    std::size_t k = std::min<std::size_t>((64 - (reinterpret_cast<std::uintptr_t>(p) & 63)) & 63, n);
    if (k > 0) {
        const __mmask64 mask = (__mmask64(1) << k) - 1;
        _mm512_mask_storeu_epi8(p, mask, _mm512_xor_si512(_mm512_maskz_loadu_epi8(mask, p), m));
    }
    for (; k + 256 <= n; k += 256) {
        auto* q = reinterpret_cast<__m512i*>(p + k);
        const __m512i a = _mm512_load_si512(q), b = _mm512_load_si512(q + 1);
        const __m512i c = _mm512_load_si512(q + 2), d = _mm512_load_si512(q + 3);
        _mm512_store_si512(q, _mm512_xor_si512(a, m));
        _mm512_store_si512(q + 1, _mm512_xor_si512(b, m));
        _mm512_store_si512(q + 2, _mm512_xor_si512(c, m));
        _mm512_store_si512(q + 3, _mm512_xor_si512(d, m));
    }
    for (; k < n; k += 64) {
        const std::size_t left = n - k;
        const __mmask64 mask = left >= 64 ? ~__mmask64(0) : (__mmask64(1) << left) - 1;
        const __m512i v = _mm512_maskz_loadu_epi8(mask, p + k);
        _mm512_mask_storeu_epi8(p + k, mask, _mm512_xor_si512(v, m));
    }
}

AVX512 inline __m512i Widen5(const std::uint8_t* p)
{
    return _mm512_cvtepu8_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)));
}

// The 32 responses from mid + t, clamped to 0 ... 255.
template <int S>
AVX512 inline __m256i Laplacian32(const std::uint8_t* up, const std::uint8_t* mid, const std::uint8_t* down, int t)
{
    const __m512i a = _mm512_add_epi16(_mm512_add_epi16(Widen5(up + t - S), Widen5(up + t)), Widen5(up + t + S));
    const __m512i b = _mm512_add_epi16(_mm512_add_epi16(Widen5(down + t - S), Widen5(down + t)),
                                       Widen5(down + t + S));
    const __m512i c = _mm512_add_epi16(Widen5(mid + t - S), Widen5(mid + t + S));
    const __m512i neighbours = _mm512_add_epi16(_mm512_add_epi16(a, b), c);
    const __m512i v = _mm512_sub_epi16(_mm512_slli_epi16(Widen5(mid + t), 3), neighbours);
    return _mm512_cvtusepi16_epi8(_mm512_max_epi16(v, _mm512_setzero_si512()));
}

template <int S>
AVX512 inline void Block5(const std::uint8_t* up, const std::uint8_t* mid, const std::uint8_t* down, std::uint8_t* out,
                          int t)
{
    const __m256i lo = Laplacian32<S>(up, mid, down, t);
    const __m256i hi = Laplacian32<S>(up, mid, down, t + 32);
    __m512i v = _mm512_inserti64x4(_mm512_castsi256_si512(lo), hi, 1);
    if constexpr (S == 4)
        v = _mm512_mask_loadu_epi8(v, 0x8888888888888888ull, mid + t); // alpha from mid
    _mm512_storeu_si512(out + t, v);
}

// The first block starts at S, the next ones where out has a 64-byte
// boundary (no store then straddles two cache lines), and the last one ends
// where the interior does; blocks that overlap write the same outputs twice.
template <int S>
AVX512 void Edge5(const std::uint8_t* up, const std::uint8_t* mid, const std::uint8_t* down, std::uint8_t* out, int n)
{
    if (n < 64 + 2 * S) {
        Leftover(up, mid, down, out, 0, n, n, S);
        return;
    }
    Block5<S>(up, mid, down, out, S);
    int t = S + int((64 - ((reinterpret_cast<std::uintptr_t>(out) + S) & 63)) & 63);
    if (t == S)
        t += 64;
    for (; t + 64 + S <= n; t += 64)
        Block5<S>(up, mid, down, out, t);
    if (t < n - S)
        Block5<S>(up, mid, down, out, n - S - 64);
    Leftover(up, mid, down, out, 0, S, n, S);
    Leftover(up, mid, down, out, n - S, n, n, S);
}

AVX512 void EdgeGrey5(const std::uint8_t* up, const std::uint8_t* mid, const std::uint8_t* down, std::uint8_t* out,
                      int n)
{
    Edge5<1>(up, mid, down, out, n);
}

AVX512 void EdgeColour5(const std::uint8_t* up, const std::uint8_t* mid, const std::uint8_t* down, std::uint8_t* out,
                        int n)
{
    Edge5<4>(up, mid, down, out, 4 * n);
}

AVX512 inline __m512i Reversed64Bytes(__m512i v)
{
    const __m512i within = _mm512_broadcast_i32x4(_mm_setr_epi8(15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0));
    const __m512i reversed = _mm512_shuffle_epi8(v, within);
    return _mm512_shuffle_i64x2(reversed, reversed, 0x1B); // 128-bit quarters in reverse order
}

AVX512 void ReverseBytes5(std::uint8_t* row, int n, const std::uint8_t* ahead)
{
    int a = 0, b = n;
    for (; b - a >= 128; a += 64, b -= 64) {
        FetchAhead(ahead, a, b - 64);
        const __m512i l = _mm512_loadu_si512(row + a);
        const __m512i r = _mm512_loadu_si512(row + b - 64);
        _mm512_storeu_si512(row + a, Reversed64Bytes(r));
        _mm512_storeu_si512(row + b - 64, Reversed64Bytes(l));
    }
    // The middle, under 128 bytes, is reversed in place 32 bytes a step.
    ReverseBytes2(row + a, b - a, nullptr);
}

AVX512 void ReverseWords5(std::uint32_t* row, int n, const std::uint8_t* ahead)
{
    const __m512i order = _mm512_setr_epi32(15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0);
    int a = 0, b = n;
    for (; b - a >= 32; a += 16, b -= 16) {
        FetchAhead(ahead, 4 * a, 4 * (b - 16));
        const __m512i l = _mm512_loadu_si512(row + a);
        const __m512i r = _mm512_loadu_si512(row + b - 16);
        _mm512_storeu_si512(row + a, _mm512_permutexvar_epi32(order, r));
        _mm512_storeu_si512(row + b - 16, _mm512_permutexvar_epi32(order, l));
    }
    SwapRange(row, a, b);
}

AVX512 bool GreyRow5(const std::uint32_t* src, std::uint8_t* dst, int n)
{
    const __m512i tintBits = _mm512_set1_epi32(0xFFFF);
    __m512i tint = _mm512_setzero_si512();
    int x = 0;
    for (; x + 64 <= n; x += 64) {
        const __m512i a = _mm512_loadu_si512(src + x), b = _mm512_loadu_si512(src + x + 16);
        const __m512i c = _mm512_loadu_si512(src + x + 32), d = _mm512_loadu_si512(src + x + 48);
        const __m512i ab = _mm512_or_si512(_mm512_xor_si512(a, _mm512_srli_epi32(a, 8)),
                                           _mm512_xor_si512(b, _mm512_srli_epi32(b, 8)));
        const __m512i cd = _mm512_or_si512(_mm512_xor_si512(c, _mm512_srli_epi32(c, 8)),
                                           _mm512_xor_si512(d, _mm512_srli_epi32(d, 8)));
        tint = _mm512_or_si512(tint, _mm512_or_si512(ab, cd));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + x), _mm512_cvtepi32_epi8(a));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + x + 16), _mm512_cvtepi32_epi8(b));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + x + 32), _mm512_cvtepi32_epi8(c));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + x + 48), _mm512_cvtepi32_epi8(d));
    }
    __mmask16 tinted = _mm512_test_epi32_mask(tint, tintBits);
    for (; x < n; x += 16) {
        const int left = n - x;
        const __mmask16 mask = left >= 16 ? __mmask16(0xFFFF) : __mmask16((1u << left) - 1);
        const __m512i v = _mm512_maskz_loadu_epi32(mask, src + x);
        tinted |= _mm512_test_epi32_mask(_mm512_xor_si512(v, _mm512_srli_epi32(v, 8)), tintBits);
        _mm_mask_storeu_epi8(dst + x, mask, _mm512_cvtepi32_epi8(v));
    }
    return tinted == 0;
}

AVX512 void LookUp5(const std::uint8_t* index, const std::int32_t* table, std::int32_t* out, int n)
{
    int x = 0;
    for (; x + 16 <= n; x += 16) {
        const __m512i i = _mm512_cvtepu8_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(index + x)));
        _mm512_storeu_si512(out + x, _mm512_i32gather_epi32(i, table, 4));
    }
    for (; x < n; ++x)
        out[x] = table[index[x]];
}

constexpr Table kAvx2 = {XorPattern2, EdgeGrey2, EdgeColour2, ReverseBytes2, ReverseWords2, GreyRow2, LookUp2};
constexpr Table kAvx512 = {XorPattern5, EdgeGrey5, EdgeColour5, ReverseBytes5, ReverseWords5, GreyRow5, LookUp5};

} // namespace

const Table* Avx2Table()
{
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") ? &kAvx2 : nullptr;
}

const Table* Avx512Table()
{
    __builtin_cpu_init();
    const bool has = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("avx512f") &&
                     __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512vl");
    return has ? &kAvx512 : nullptr;
}

} // namespace kernels::x86

#endif
