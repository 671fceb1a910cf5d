#include "Quantizer.h"
#include "Bitmap.h"
#include "Reuse.h"

#include <QList>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <new>
#include <vector>

namespace {

constexpr int kLevels = 32; // histogram cells per channel (5 bits)
constexpr int kCells = kLevels * kLevels * kLevels;

// The cell of a 0xAARRGGBB pixel: red, green, blue bits 7 ... 3.
inline std::uint32_t CellOf(std::uint32_t p)
{
    return ((p >> 9) & 0x7C00u) | ((p >> 6) & 0x03E0u) | ((p >> 3) & 0x001Fu);
}

// The colour a cell stands for: its centre.
inline int Centre(int level) { return (level << 3) + 4; }

template <typename Fn>
void ForEachRow(const QImage& image, Fn fn)
{
    for (int y = 0; y < image.height(); ++y)
        fn(y, reinterpret_cast<const std::uint32_t*>(image.constScanLine(y)));
}

// ---------------------------------------------------------------------------
// Pictures of at most 256 colours: their own palette.

class ExactColours {
public:
    // Adds rgb (alpha bits ignored); false once a 257th colour appears.
    bool Add(std::uint32_t rgb)
    {
        if (index_.Find(rgb) >= 0)
            return true;
        if (colours_.size() == 256)
            return false;
        index_.Insert(rgb, int(colours_.size()));
        colours_.append(0xFF000000u | rgb);
        return true;
    }
    std::uint8_t IndexOf(std::uint32_t rgb) const { return std::uint8_t(index_.Find(rgb)); }
    const QList<QRgb>& Colours() const { return colours_; }

private:
    TColourIndex index_;
    QList<QRgb> colours_;
};

bool CollectExact(const QImage& image, ExactColours& colours)
{
    for (int y = 0; y < image.height(); ++y) {
        const auto* row = reinterpret_cast<const std::uint32_t*>(image.constScanLine(y));
        std::uint32_t last = ~row[0]; // differs from the first pixel
        for (int x = 0; x < image.width(); ++x) {
            if (row[x] == last)
                continue;
            last = row[x];
            if (!colours.Add(last))
                return false;
        }
    }
    return true;
}

// ---------------------------------------------------------------------------
// Median cut: boxes of histogram cells, the box whose colours spread most
// (largest sum of squared distances from its mean) split first, each at the
// plane that removes most of that spread (Wu's criterion).

struct Box {
    int lo[3];
    int hi[3]; // inclusive, in levels: red, green, blue
    double weight = 0;
    double sum[3] = {};
    double spread = 0; // sum of squared distances of the cells' centres from the mean
};

inline int CellIndex(int r, int g, int b) { return (r << 10) | (g << 5) | b; }

void Measure(const std::uint32_t* histogram, Box& box)
{
    box.weight = 0;
    box.sum[0] = box.sum[1] = box.sum[2] = 0;
    double squares = 0;
    for (int r = box.lo[0]; r <= box.hi[0]; ++r)
        for (int g = box.lo[1]; g <= box.hi[1]; ++g)
            for (int b = box.lo[2]; b <= box.hi[2]; ++b) {
                const double w = histogram[CellIndex(r, g, b)];
                if (w == 0)
                    continue;
                const double c[3] = {double(Centre(r)), double(Centre(g)), double(Centre(b))};
                box.weight += w;
                for (int k = 0; k < 3; ++k) {
                    box.sum[k] += w * c[k];
                    squares += w * c[k] * c[k];
                }
            }
    const double sums2 = box.sum[0] * box.sum[0] + box.sum[1] * box.sum[1] + box.sum[2] * box.sum[2];
    const double mean2 = box.weight > 0 ? sums2 / box.weight : 0;
    box.spread = squares - mean2;
}

// Splits box into itself and *other; false when it cannot be split.
bool Split(const std::uint32_t* histogram, Box& box, Box* other)
{
    // Per axis, the weight and colour sums of each slice of the box.
    double bestGain = -1;
    int bestAxis = -1, bestCut = 0;
    for (int axis = 0; axis < 3; ++axis) {
        if (box.lo[axis] == box.hi[axis])
            continue;
        double weight[kLevels] = {}, sum[kLevels][3] = {};
        for (int r = box.lo[0]; r <= box.hi[0]; ++r)
            for (int g = box.lo[1]; g <= box.hi[1]; ++g)
                for (int b = box.lo[2]; b <= box.hi[2]; ++b) {
                    const double w = histogram[CellIndex(r, g, b)];
                    if (w == 0)
                        continue;
                    const int slice = axis == 0 ? r : axis == 1 ? g : b;
                    weight[slice] += w;
                    sum[slice][0] += w * Centre(r);
                    sum[slice][1] += w * Centre(g);
                    sum[slice][2] += w * Centre(b);
                }
        double w1 = 0, s1[3] = {};
        for (int cut = box.lo[axis]; cut < box.hi[axis]; ++cut) { // lower part: lo ... cut
            w1 += weight[cut];
            for (int k = 0; k < 3; ++k)
                s1[k] += sum[cut][k];
            const double w2 = box.weight - w1;
            if (w1 == 0 || w2 == 0)
                continue;
            const double s2[3] = {box.sum[0] - s1[0], box.sum[1] - s1[1], box.sum[2] - s1[2]};
            const double gain = (s1[0] * s1[0] + s1[1] * s1[1] + s1[2] * s1[2]) / w1 +
                                (s2[0] * s2[0] + s2[1] * s2[1] + s2[2] * s2[2]) / w2;
            if (gain > bestGain) {
                bestGain = gain;
                bestAxis = axis;
                bestCut = cut;
            }
        }
    }
    if (bestAxis < 0)
        return false;
    *other = box;
    box.hi[bestAxis] = bestCut;
    other->lo[bestAxis] = bestCut + 1;
    Measure(histogram, box);
    Measure(histogram, *other);
    return true;
}

QList<QRgb> MedianCut(const std::uint32_t* histogram)
{
    std::vector<Box> boxes;
    boxes.reserve(256);
    Box all{{0, 0, 0}, {kLevels - 1, kLevels - 1, kLevels - 1}};
    Measure(histogram, all);
    boxes.push_back(all);
    std::vector<bool> done(1, false); // boxes that cannot be split
    while (boxes.size() < 256) {
        int pick = -1;
        for (int i = 0; i < int(boxes.size()); ++i)
            if (!done[std::size_t(i)] && boxes[std::size_t(i)].spread > 0 &&
                (pick < 0 || boxes[std::size_t(i)].spread > boxes[std::size_t(pick)].spread))
                pick = i;
        if (pick < 0)
            break;
        Box other{};
        if (!Split(histogram, boxes[std::size_t(pick)], &other)) {
            done[std::size_t(pick)] = true;
            continue;
        }
        boxes.push_back(other);
        done.push_back(false);
    }
    QList<QRgb> palette;
    for (const Box& box : boxes) {
        if (box.weight == 0)
            continue;
        const auto mean = [&](int k) { return std::clamp(int(box.sum[k] / box.weight + 0.5), 0, 255); };
        palette.append(qRgb(mean(0), mean(1), mean(2)));
    }
    return palette;
}

// For every cell, the palette index nearest its centre.
void NearestTable(const QList<QRgb>& palette, std::uint8_t* table)
{
    const int n = int(palette.size());
    int pr[256], pg[256], pb[256];
    for (int i = 0; i < n; ++i) {
        pr[i] = qRed(palette[i]);
        pg[i] = qGreen(palette[i]);
        pb[i] = qBlue(palette[i]);
    }
    for (int cell = 0; cell < kCells; ++cell) {
        const int r = Centre(cell >> 10), g = Centre((cell >> 5) & 31), b = Centre(cell & 31);
        // Distance and index in one key, so that the search is a plain minimum.
        std::uint32_t best = ~0u;
        for (int i = 0; i < n; ++i) {
            const int dr = pr[i] - r, dg = pg[i] - g, db = pb[i] - b;
            const std::uint32_t key = (std::uint32_t(dr * dr + dg * dg + db * db) << 8) | std::uint32_t(i);
            best = std::min(best, key);
        }
        table[cell] = std::uint8_t(best);
    }
}

bool AllOpaque(const QImage& image)
{
    std::uint32_t all = 0xFF000000u;
    ForEachRow(image, [&](int, const std::uint32_t* row) {
        for (int x = 0; x < image.width(); ++x)
            all &= row[x];
    });
    return (all >> 24) == 0xFF;
}

} // namespace

QImage QuantizedTo8bit(const QImage& image)
{
    if (image.isNull())
        return {};
    if (image.format() == QImage::Format_ARGB32 && !AllOpaque(image))
        return image.convertToFormat(QImage::Format_Indexed8);
    const int w = image.width();
    QImage out = NewIndexed8(w, image.height());
    if (out.isNull())
        return out;

    const std::unique_ptr<ExactColours> exact(new (std::nothrow) ExactColours);
    if (!exact)
        return {};
    if (CollectExact(image, *exact)) {
        out.setColorTable(exact->Colours());
        ForEachRow(image, [&](int y, const std::uint32_t* row) {
            std::uint8_t* dst = out.scanLine(y);
            for (int x = 0; x < w; ++x)
                dst[x] = exact->IndexOf(row[x]);
        });
        return out;
    }

    // Two histograms, even and odd pixels, so that runs of one colour do not
    // wait on their own counts.
    const std::unique_ptr<std::uint32_t[]> histogram(new (std::nothrow) std::uint32_t[2 * kCells]());
    const std::unique_ptr<std::uint8_t[]> nearest(new (std::nothrow) std::uint8_t[kCells]);
    if (!histogram || !nearest)
        return {};
    std::uint32_t* even = histogram.get();
    std::uint32_t* odd = even + kCells;
    ForEachRow(image, [&](int, const std::uint32_t* row) {
        int x = 0;
        for (; x + 2 <= w; x += 2) {
            ++even[CellOf(row[x])];
            ++odd[CellOf(row[x + 1])];
        }
        if (x < w)
            ++even[CellOf(row[x])];
    });
    for (int i = 0; i < kCells; ++i)
        even[i] += odd[i];

    const QList<QRgb> palette = MedianCut(even);
    NearestTable(palette, nearest.get());
    out.setColorTable(palette);
    const std::uint8_t* table = nearest.get();
    ForEachRow(image, [&](int y, const std::uint32_t* row) {
        std::uint8_t* dst = out.scanLine(y);
        for (int x = 0; x < w; ++x)
            dst[x] = table[CellOf(row[x])];
    });
    return out;
}
