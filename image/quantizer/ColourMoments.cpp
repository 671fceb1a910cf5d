#include "image/quantizer/ColourMoments.h"
#include "image/bitmap/NearestColour.h"

#include <algorithm>
#include <cmath>

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

double Distance(int r, int g, int b, QRgb p)
{
    const int dr = qRed(p) - r, dg = qGreen(p) - g, db = qBlue(p) - b;
    return std::sqrt(double(dr * dr + dg * dg + db * db));
}

// Gives every cell its nearest palette colour; true if any cell's changed.
// A cell searches only where its bounds allow another colour to be as near
// as its own (Hamerly's test); the margin covers the bounds' rounding.
bool Assign(std::vector<Cell>& cells, const QList<QRgb>& palette)
{
    constexpr double kMargin = 1e-6;
    const TNearestColour nearest(palette);
    bool changed = false;
    for (Cell& c : cells) {
        if (c.nearest >= 0) {
            if (c.upper + kMargin < c.lower)
                continue;
            c.upper = Distance(c.r, c.g, c.b, palette[c.nearest]);
            if (c.upper + kMargin < c.lower)
                continue;
        }
        const TNearestColour::Found f = nearest.Of(c.r, c.g, c.b);
        changed = changed || f.index != c.nearest;
        c.nearest = f.index;
        c.upper = std::sqrt(double(f.best));
        c.lower = std::sqrt(double(f.second));
    }
    return changed;
}

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
    for (const Box& box : boxes)
        palette.append(box.sum.Mean());
    return palette;
}

bool Refine(std::vector<Cell>& cells, QList<QRgb>& palette)
{
    if (!Assign(cells, palette))
        return false;
    std::vector<Moments> sums(std::size_t(palette.size()));
    for (const Cell& c : cells)
        sums[std::size_t(c.nearest)] += c.sum;
    // Each colour moves to its mean; a cell's own colour may have moved away
    // by as much as it moved, any other toward it by the most any moved.
    std::vector<double> moved(std::size_t(palette.size()));
    double most = 0, next = 0;
    int mostIndex = -1;
    for (int i = 0; i < int(palette.size()); ++i) {
        const Moments& s = sums[std::size_t(i)];
        if (s.w == 0)
            continue;
        const QRgb was = palette[i];
        palette[i] = s.Mean();
        const double d = Distance(qRed(was), qGreen(was), qBlue(was), palette[i]);
        moved[std::size_t(i)] = d;
        if (d > most) {
            next = most;
            most = d;
            mostIndex = i;
        } else if (d > next) {
            next = d;
        }
    }
    for (Cell& c : cells) {
        c.upper += moved[std::size_t(c.nearest)];
        c.lower -= c.nearest == mostIndex ? next : most;
    }
    return true;
}

void MapCells(std::vector<Cell>& cells, const QList<QRgb>& palette, std::uint8_t* table)
{
    Assign(cells, palette);
    for (const Cell& c : cells)
        table[std::size_t(c.cell)] = std::uint8_t(c.nearest);
}

} // namespace colourmoments
