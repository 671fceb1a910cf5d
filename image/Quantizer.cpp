#include "Quantizer.h"
#include "Bitmap.h"
#include "Progress.h"
#include "Reuse.h"
#include "RowBands.h"

#include <QList>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <new>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

constexpr int kLevels = 32; // histogram cells per channel (5 bits)
constexpr int kCells = kLevels * kLevels * kLevels;
constexpr int kSide = kLevels + 1; // the moment table has a zero plane in front
constexpr int kMoments = kSide * kSide * kSide;

// The cell of a 0xAARRGGBB pixel: red, green, blue bits 7 ... 3.
inline std::uint32_t CellOf(std::uint32_t p)
{
    return ((p >> 9) & 0x7C00u) | ((p >> 6) & 0x03E0u) | ((p >> 3) & 0x001Fu);
}

// ---------------------------------------------------------------------------
// Pictures of at most 256 colours: their own palette.

class ExactColours {
public:
    // With alpha, colours that differ only in alpha are told apart and
    // keep it; without, the alpha bits are ignored and the palette opaque.
    explicit ExactColours(bool alpha) : mask_(alpha ? 0xFFFFFFFFu : 0x00FFFFFFu), opaque_(alpha ? 0 : 0xFF000000u) {}
    // Adds pixel p; false once a 257th colour appears.
    bool Add(std::uint32_t p)
    {
        const std::uint32_t key = p & mask_;
        if (index_.Find(key) >= 0)
            return true;
        if (colours_.size() == 256)
            return false;
        index_.Insert(key, int(colours_.size()));
        colours_.append(opaque_ | key);
        return true;
    }
    std::uint8_t IndexOf(std::uint32_t p) const { return std::uint8_t(index_.Find(p & mask_)); }
    const QList<QRgb>& Colours() const { return colours_; }

private:
    std::uint32_t mask_, opaque_;
    TColourIndex index_;
    QList<QRgb> colours_;
};

// ---------------------------------------------------------------------------
// The colour moments of the picture: per histogram cell the number of its
// pixels and the sums of their red, green and blue values.

struct Moments {
    std::int64_t w = 0, r = 0, g = 0, b = 0;
    Moments& operator+=(const Moments& o)
    {
        w += o.w, r += o.r, g += o.g, b += o.b;
        return *this;
    }
    Moments& operator-=(const Moments& o)
    {
        w -= o.w, r -= o.r, g -= o.g, b -= o.b;
        return *this;
    }
    // Sum of squares of the colour sums over the weight: the part of the
    // squared error that the mean removes.
    double Removed() const
    {
        if (w == 0)
            return 0;
        const double dr = double(r), dg = double(g), db = double(b);
        return (dr * dr + dg * dg + db * db) / double(w);
    }
};

// Sums of one stretch of the picture over a cell, in 32-bit words, in the
// order of a pixel's bytes: blue, green, red, alpha. The pixels counted are
// all opaque, so the alpha sum is 255 times their number. Folded into the
// 64-bit moments before any word can overflow.
struct alignas(16) CellCount {
    std::uint32_t b, g, r, a;
};

// Adds the four bytes of pixel p to the cell's four sums.
inline void Count(CellCount& cell, std::uint32_t p)
{
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128();
    const __m128i bytes = _mm_unpacklo_epi16(_mm_unpacklo_epi8(_mm_cvtsi32_si128(int(p)), zero), zero);
    auto* sums = reinterpret_cast<__m128i*>(&cell);
    _mm_store_si128(sums, _mm_add_epi32(_mm_load_si128(sums), bytes));
#else
    cell.b += p & 0xFF;
    cell.g += (p >> 8) & 0xFF;
    cell.r += (p >> 16) & 0xFF;
    cell.a += p >> 24;
#endif
}
// 255 times this many pixels still fits 32 bits.
constexpr std::int64_t kFoldPixels = std::int64_t(1) << 24;

inline int At(int r, int g, int b) { return (r * kSide + g) * kSide + b; }

// A box of cells (lo, hi] on each axis, in the moment table's coordinates.
struct Box {
    int lo[3];
    int hi[3];
    Moments sum;
    double gain = -1; // error its best cut removes; < 0: cannot be cut
    int axis = 0, cut = 0;
};

// The moments of the cells inside box, from the cumulative table (each entry
// the sum of every cell at or below it on all three axes).
Moments Inside(const Moments* m, const int lo[3], const int hi[3])
{
    Moments s = m[At(hi[0], hi[1], hi[2])];
    s -= m[At(hi[0], hi[1], lo[2])];
    s -= m[At(hi[0], lo[1], hi[2])];
    s += m[At(hi[0], lo[1], lo[2])];
    s -= m[At(lo[0], hi[1], hi[2])];
    s += m[At(lo[0], hi[1], lo[2])];
    s += m[At(lo[0], lo[1], hi[2])];
    s -= m[At(lo[0], lo[1], lo[2])];
    return s;
}

// Measures box and finds the cut that removes most of its squared error.
void Measure(const Moments* m, Box& box)
{
    box.sum = Inside(m, box.lo, box.hi);
    box.gain = -1;
    const double whole = box.sum.Removed();
    for (int axis = 0; axis < 3; ++axis)
        for (int cut = box.lo[axis] + 1; cut < box.hi[axis]; ++cut) {
            int hi[3] = {box.hi[0], box.hi[1], box.hi[2]};
            hi[axis] = cut;
            const Moments lower = Inside(m, box.lo, hi);
            Moments upper = box.sum;
            upper -= lower;
            if (lower.w == 0 || upper.w == 0)
                continue;
            const double gain = lower.Removed() + upper.Removed() - whole;
            if (gain > box.gain) {
                box.gain = gain;
                box.axis = axis;
                box.cut = cut;
            }
        }
}

// Up to 256 boxes over the histogram, each time cutting the box whose best
// cut removes most squared error; the palette is each box's mean colour.
QList<QRgb> CutBoxes(const Moments* m)
{
    std::vector<Box> boxes;
    boxes.reserve(256);
    Box all{{0, 0, 0}, {kLevels, kLevels, kLevels}, {}, -1, 0, 0};
    Measure(m, all);
    boxes.push_back(all);
    while (boxes.size() < 256) {
        const auto pick = std::max_element(boxes.begin(), boxes.end(),
                                           [](const Box& a, const Box& b) { return a.gain < b.gain; });
        if (pick->gain < 0)
            break;
        Box upper = *pick;
        pick->hi[pick->axis] = pick->cut;
        upper.lo[upper.axis] = upper.cut;
        Measure(m, *pick);
        Measure(m, upper);
        boxes.push_back(upper);
    }
    QList<QRgb> palette;
    for (const Box& box : boxes) {
        const auto mean = [&](std::int64_t sum) { return int((sum * 2 + box.sum.w) / (box.sum.w * 2)); };
        palette.append(qRgb(mean(box.sum.r), mean(box.sum.g), mean(box.sum.b)));
    }
    return palette;
}

// The nearest palette entry to a colour, searching outward from its green
// level in a palette sorted by green and stopping where green alone is
// farther than the best found.
class Nearest {
public:
    explicit Nearest(const QList<QRgb>& palette)
    {
        for (int i = 0; i < int(palette.size()); ++i)
            entries_.push_back({qGreen(palette[i]), qRed(palette[i]), qBlue(palette[i]), i});
        std::sort(entries_.begin(), entries_.end(), [](const Entry& a, const Entry& b) { return a.g < b.g; });
        for (int g = 0, i = 0; g < 256; ++g) {
            while (i < int(entries_.size()) && entries_[std::size_t(i)].g < g)
                ++i;
            start_[g] = i;
        }
        for (int i = 0; i < int(entries_.size()); ++i)
            position_[entries_[std::size_t(i)].index] = i;
    }
    // hint: an index likely to be near (the colour's last answer), so that
    // the search starts with a close bound.
    int Of(int r, int g, int b, int hint = -1) const
    {
        const int n = int(entries_.size());
        int best = 1 << 30, index = 0;
        const auto consider = [&](const Entry& e) {
            const int dr = e.r - r, db = e.b - b, dg = e.g - g;
            const int d = dr * dr + dg * dg + db * db;
            if (d < best || (d == best && e.index < index)) {
                best = d;
                index = e.index;
            }
        };
        if (hint >= 0)
            consider(entries_[std::size_t(position_[hint])]);
        for (int i = start_[g]; i < n; ++i) {
            const Entry& e = entries_[std::size_t(i)];
            if ((e.g - g) * (e.g - g) > best)
                break;
            consider(e);
        }
        for (int i = start_[g] - 1; i >= 0; --i) {
            const Entry& e = entries_[std::size_t(i)];
            if ((g - e.g) * (g - e.g) > best)
                break;
            consider(e);
        }
        return index;
    }

private:
    struct Entry {
        int g, r, b, index;
    };
    std::vector<Entry> entries_;
    int start_[256];    // the first entry of each green level or above
    int position_[256]; // where each palette index stands in entries_
};

// The colours of the picture's cells: the mean of each occupied cell, its
// pixel count and colour sums.
struct Cell {
    Moments sum;
    int cell;
    int r, g, b;     // mean
    int nearest = -1; // the palette index last found nearest
};

// Moves each palette colour to the mean of the cells nearest it (one step
// of Lloyd's method), so that the boundaries between colours follow the
// picture's colours rather than the box walls.
void Refine(std::vector<Cell>& cells, QList<QRgb>& palette)
{
    const Nearest nearest(palette);
    std::vector<Moments> sums(std::size_t(palette.size()));
    for (Cell& c : cells) {
        c.nearest = nearest.Of(c.r, c.g, c.b, c.nearest);
        sums[std::size_t(c.nearest)] += c.sum;
    }
    for (int i = 0; i < int(palette.size()); ++i) {
        const Moments& s = sums[std::size_t(i)];
        if (s.w == 0)
            continue;
        const auto mean = [&](std::int64_t sum) { return int((sum * 2 + s.w) / (s.w * 2)); };
        palette[i] = qRgb(mean(s.r), mean(s.g), mean(s.b));
    }
}

bool AllOpaque(const QImage& image)
{
    std::uint32_t all = 0xFF000000u;
    for (int y = 0; y < image.height(); ++y) {
        const auto* row = reinterpret_cast<const std::uint32_t*>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x)
            all &= row[x];
    }
    return (all >> 24) == 0xFF;
}

// How many refining steps follow the cut into boxes.
constexpr int kRefineSteps = 2;

} // namespace

QImage QuantizedTo8bit(const QImage& image, TProgress* progress)
{
    if (image.isNull())
        return {};
    const int h = image.height();
    const int w = image.width();
    const bool seeThrough = image.format() == QImage::Format_ARGB32 && !AllOpaque(image);
    QImage out = NewIndexed8(w, h);
    if (out.isNull())
        return out;

    // First pass: the picture's colours, while there are at most 256.
    const std::unique_ptr<ExactColours> exact(new (std::nothrow) ExactColours(seeThrough));
    if (!exact)
        return {};
    const bool few = ForEachRowBand(image, progress, [&](int, const std::uint32_t* row) {
        std::uint32_t last = ~row[0]; // differs from the first pixel
        for (int x = 0; x < w; ++x) {
            if (row[x] == last)
                continue;
            last = row[x];
            if (!exact->Add(last))
                return false;
        }
        return true;
    });
    if (few) {
        Advance(progress, h); // no histogram
        out.setColorTable(exact->Colours());
        ForEachRowBand(image, progress, [&](int y, const std::uint32_t* row) {
            std::uint8_t* dst = out.scanLine(y);
            for (int x = 0; x < w; ++x)
                dst[x] = exact->IndexOf(row[x]);
            return true;
        });
        return out;
    }
    if (seeThrough) {
        // More than 256 colours with transparency: Qt's conversion keeps
        // alpha in the palette.
        out = QImage();
        CheckCancel(progress);
        QImage converted = image.convertToFormat(QImage::Format_Indexed8);
        Advance(progress, 2 * qint64(h));
        return converted;
    }

    // Second pass: the moments of every cell.
    const std::unique_ptr<CellCount[]> counts(new (std::nothrow) CellCount[kCells]());
    const std::unique_ptr<Moments[]> moments(new (std::nothrow) Moments[kMoments]());
    const std::unique_ptr<std::uint8_t[]> table(new (std::nothrow) std::uint8_t[kCells]());
    if (!counts || !moments || !table)
        return {};
    const auto fold = [&] {
        for (int c = 0; c < kCells; ++c) {
            CellCount& k = counts[std::size_t(c)];
            Moments& m = moments[std::size_t(At((c >> 10) + 1, ((c >> 5) & 31) + 1, (c & 31) + 1))];
            m += Moments{k.a / 255, k.r, k.g, k.b};
            k = {};
        }
    };
    std::int64_t pending = 0;
    ForEachRowBand(image, progress, [&](int, const std::uint32_t* row) {
        for (int x0 = 0; x0 < w; x0 += int(kFoldPixels / 2)) {
            const int n = std::min(w - x0, int(kFoldPixels / 2));
            if (pending + n > kFoldPixels) {
                fold();
                pending = 0;
            }
            CellCount* k = counts.get();
            for (int x = x0; x < x0 + n; ++x)
                Count(k[CellOf(row[x])], row[x]);
            pending += n;
        }
        return true;
    });
    fold();

    // The occupied cells and their mean colours, then the table made
    // cumulative in place.
    std::vector<Cell> cells;
    cells.reserve(kCells);
    for (int c = 0; c < kCells; ++c) {
        const Moments& m = moments[std::size_t(At((c >> 10) + 1, ((c >> 5) & 31) + 1, (c & 31) + 1))];
        if (m.w == 0)
            continue;
        const double scale = 1.0 / double(m.w);
        const auto mean = [&](std::int64_t sum) { return int(double(sum) * scale + 0.5); };
        cells.push_back({m, c, mean(m.r), mean(m.g), mean(m.b), -1});
    }
    CheckCancel(progress);
    Moments* m = moments.get();
    for (int r = 1; r < kSide; ++r) {
        Moments area[kSide];
        for (int g = 1; g < kSide; ++g) {
            Moments line;
            for (int b = 1; b < kSide; ++b) {
                line += m[At(r, g, b)];
                area[b] += line;
                m[At(r, g, b)] = m[At(r - 1, g, b)];
                m[At(r, g, b)] += area[b];
            }
        }
    }

    QList<QRgb> palette = CutBoxes(m);
    for (int step = 0; step < kRefineSteps; ++step) {
        CheckCancel(progress);
        Refine(cells, palette);
    }
    const Nearest nearest(palette);
    for (const Cell& c : cells)
        table[std::size_t(c.cell)] = std::uint8_t(nearest.Of(c.r, c.g, c.b, c.nearest));
    out.setColorTable(palette);

    // Third pass: every pixel the colour its cell was given.
    const std::uint8_t* t = table.get();
    ForEachRowBand(image, progress, [&](int y, const std::uint32_t* row) {
        std::uint8_t* dst = out.scanLine(y);
        for (int x = 0; x < w; ++x)
            dst[x] = t[CellOf(row[x])];
        return true;
    });
    return out;
}
