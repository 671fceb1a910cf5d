// The colour moments of a picture over a 32 x 32 x 32 histogram, and the
// palette made from them: boxes of cells cut where most squared error goes,
// each box's colour the mean of its pixels, then refined by Lloyd's method.
#pragma once

#include "image/bitmap/Color.h"

#include <QList>
#include <QRgb>

#include <cstdint>
#include <vector>

namespace colourmoments {

constexpr int kLevels = 32; // histogram cells per channel (5 bits)
constexpr int kCells = kLevels * kLevels * kLevels;
constexpr int kSide = kLevels + 1; // the moment table has a zero plane in front
constexpr int kMoments = kSide * kSide * kSide;

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
    // The mean colour of the pixels summed (w > 0).
    QRgb Mean() const { return qRgb(RoundedMean(r, w), RoundedMean(g, w), RoundedMean(b, w)); }
};

inline int At(int r, int g, int b) { return (r * kSide + g) * kSide + b; }

// The colours of the picture's cells: the mean of each occupied cell, its
// pixel count and colour sums.
struct Cell {
    Moments sum;
    int cell;
    int r, g, b;      // mean
    int nearest = -1; // the palette index last found nearest
    // Bounds on the distance to that colour (upper) and to every other
    // (lower), kept as the palette moves, so that a cell whose bounds do not
    // cross needs no search.
    double upper = 0, lower = 0;
};

// Makes the table of cell moments cumulative in place: each entry becomes the
// sum of every cell at or below it on all three axes.
void Cumulate(Moments* m);

// Up to 256 boxes over the cumulative table, each time cutting the box whose
// best cut removes most squared error; the palette is each box's mean colour.
QList<QRgb> CutBoxes(const Moments* m);

// Moves each palette colour to the mean of the cells nearest it (one step of
// Lloyd's method), so that the boundaries between colours follow the
// picture's colours rather than the box walls. False once no cell changed
// its nearest colour, when further steps would change nothing.
bool Refine(std::vector<Cell>& cells, QList<QRgb>& palette);

// For every cell, the palette index nearest its mean colour.
void MapCells(std::vector<Cell>& cells, const QList<QRgb>& palette, std::uint8_t* table);

} // namespace colourmoments
