#include "Kernels.h"
#include "KernelsX86.h"

#include <QtEndian>

#include <cstdlib>
#include <cstring>
#include <initializer_list>

namespace kernels {

namespace {

void XorPattern(std::uint8_t* p, std::size_t n, std::uint32_t pattern)
{
    std::size_t k = 0;
    for (; k + 4 <= n; k += 4) {
        std::uint32_t word;
        std::memcpy(&word, p + k, 4);
        word ^= pattern; // the pattern is in memory order on little-endian machines
        std::memcpy(p + k, &word, 4);
    }
    for (; k < n; ++k)
        p[k] ^= std::uint8_t(pattern >> (8 * (k & 3)));
}

// Filters one row of n bytes whose channel neighbours lie S bytes apart
// (S = 1 for 8-bit rows, 4 for the B, G, R, A bytes of 32-bit rows). The
// first and last pixels wrap around the row; the interior has no wrap test.
// It goes in chunks: first the column sums up + mid + down, then each output
// as 9 x centre minus three neighbouring column sums, all in 16-bit lanes
// (|v| <= 2295) so that the compiler vectorizes both loops.
template <int S>
void FilterRow(const std::uint8_t* __restrict up, const std::uint8_t* __restrict mid,
               const std::uint8_t* __restrict down, std::uint8_t* __restrict out, int n)
{
    for (int k = 0; k < S && k < n; ++k)
        out[k] = detail::Response(up, mid, down, k, n, S);
    if (n <= S)
        return;
    constexpr int kChunk = 2048;
    std::uint16_t sums[kChunk + 2 * S];
    for (int start = S; start < n - S; start += kChunk) {
        const int length = n - S - start < kChunk ? n - S - start : kChunk;
        // sums[t] is the column sum at byte start - S + t.
        const std::uint8_t* u = up + start - S;
        const std::uint8_t* m = mid + start - S;
        const std::uint8_t* d = down + start - S;
        for (int t = 0; t < length + 2 * S; ++t)
            sums[t] = std::uint16_t(u[t] + m[t] + d[t]);
        const std::uint8_t* centre = mid + start;
        std::uint8_t* o = out + start;
        for (int t = 0; t < length; ++t) {
            const std::int16_t v = std::int16_t(9 * centre[t] - (sums[t] + sums[t + S] + sums[t + 2 * S]));
            o[t] = std::uint8_t(v < 0 ? 0 : v > 255 ? 255 : v);
        }
    }
    for (int k = n - S; k < n; ++k)
        out[k] = detail::Response(up, mid, down, k, n, S);
}

void EdgeGrey8(const std::uint8_t* up, const std::uint8_t* mid, const std::uint8_t* down, std::uint8_t* out, int n)
{
    FilterRow<1>(up, mid, down, out, n);
}

void EdgeColour32(const std::uint8_t* up, const std::uint8_t* mid, const std::uint8_t* down, std::uint8_t* out, int n)
{
    FilterRow<4>(up, mid, down, out, 4 * n);
    // Alpha bytes back to what they were.
    const auto* from = reinterpret_cast<const std::uint32_t*>(mid);
    auto* to = reinterpret_cast<std::uint32_t*>(out);
    for (int x = 0; x < n; ++x)
        to[x] = (to[x] & 0x00FFFFFFu) | (from[x] & 0xFF000000u);
}

// Eight bytes from each end at a time, through byte swaps of 64-bit words.
void ReverseBytes(std::uint8_t* row, int n, const std::uint8_t*)
{
    int a = 0, b = n;
    for (; b - a >= 16; a += 8, b -= 8) {
        const quint64 left = qFromUnaligned<quint64>(row + a);
        qToUnaligned(qbswap(qFromUnaligned<quint64>(row + b - 8)), row + a);
        qToUnaligned(qbswap(left), row + b - 8);
    }
    for (--b; a < b; ++a, --b) {
        const std::uint8_t t = row[a];
        row[a] = row[b];
        row[b] = t;
    }
}

// Swaps the two halves' mirror pairs.
void ReverseWords(std::uint32_t* row, int n, const std::uint8_t*)
{
    std::uint32_t* __restrict left = row;
    std::uint32_t* __restrict right = row + (n + 1) / 2; // the odd middle pixel stays
    const int half = n / 2;
    for (int x = 0; x < half; ++x) {
        const std::uint32_t a = left[x];
        left[x] = right[half - 1 - x];
        right[half - 1 - x] = a;
    }
}

bool GreyRow(const std::uint32_t* src, std::uint8_t* dst, int n)
{
    std::uint32_t differs = 0;
    for (int x = 0; x < n; ++x) {
        const std::uint32_t v = src[x];
        differs |= ((v >> 16) ^ v) & 0xFF;
        differs |= ((v >> 8) ^ v) & 0xFF;
        dst[x] = std::uint8_t(v);
    }
    return differs == 0;
}

void LookUp(const std::uint8_t* index, const std::int32_t* table, std::int32_t* out, int n)
{
    for (int x = 0; x < n; ++x)
        out[x] = table[index[x]];
}

constexpr Table kPortable = {XorPattern, EdgeGrey8, EdgeColour32, ReverseBytes, ReverseWords, GreyRow, LookUp};

bool ForcedPortable()
{
    const char* value = std::getenv("IMAGEBENCH_PORTABLE");
    return value && *value && std::strcmp(value, "0") != 0;
}

struct Choice {
    const Table* table;
    Path path;
};

Choice& Current()
{
    static Choice choice = [] {
        if (!ForcedPortable())
            for (Path path : {Path::Avx512, Path::Avx2})
                if (const Table* table = TableFor(path))
                    return Choice{table, path};
        return Choice{&kPortable, Path::Portable};
    }();
    return choice;
}

} // namespace

const Table& Active() { return *Current().table; }

Path ActivePath() { return Current().path; }

const char* PathName(Path path)
{
    switch (path) {
    case Path::Avx2:
        return "AVX2";
    case Path::Avx512:
        return "AVX-512";
    default:
        return "portable";
    }
}

const Table* TableFor(Path path)
{
    switch (path) {
    case Path::Portable:
        return &kPortable;
    case Path::Avx2:
        return x86::Avx2Table();
    case Path::Avx512:
        return x86::Avx512Table();
    }
    return nullptr;
}

Path Use(Path path)
{
    Choice& choice = Current();
    const Path before = choice.path;
    if (const Table* table = TableFor(path))
        choice = Choice{table, path};
    return before;
}

} // namespace kernels
