#include "ColourMoments.h"

#include <algorithm>

namespace colourmoments {

namespace {

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

} // namespace

void Cumulate(Moments* m)
{
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

}

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

bool Refine(std::vector<Cell>& cells, QList<QRgb>& palette)
{
    const Nearest nearest(palette);
    std::vector<Moments> sums(std::size_t(palette.size()));
    bool changed = false;
    for (Cell& c : cells) {
        const int was = c.nearest;
        c.nearest = nearest.Of(c.r, c.g, c.b, c.nearest);
        changed = changed || c.nearest != was;
        sums[std::size_t(c.nearest)] += c.sum;
    }
    if (!changed)
        return false;
    for (int i = 0; i < int(palette.size()); ++i) {
        const Moments& s = sums[std::size_t(i)];
        if (s.w == 0)
            continue;
        const auto mean = [&](std::int64_t sum) { return int((sum * 2 + s.w) / (s.w * 2)); };
        palette[i] = qRgb(mean(s.r), mean(s.g), mean(s.b));
    }
    return true;
}

void MapCells(const std::vector<Cell>& cells, const QList<QRgb>& palette, std::uint8_t* table)
{
    const Nearest nearest(palette);
    for (const Cell& c : cells)
        table[std::size_t(c.cell)] = std::uint8_t(nearest.Of(c.r, c.g, c.b, c.nearest));
}

} // namespace colourmoments
