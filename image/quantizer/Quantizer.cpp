#include "image/quantizer/Quantizer.h"
#include "image/bitmap/Color.h"
#include "image/bitmap/ColourIndex.h"
#include "image/quantizer/ColourMoments.h"
#include "image/work/Progress.h"
#include "image/work/RowBands.h"
#include "image/kernels/Kernels.h"

#include <QList>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <new>
#include <vector>


namespace {

using namespace colourmoments;


// Pixels whose histogram cells the vector kernel finds at a time (the
// kernels::Cells kernel: red, green, blue bits 7 ... 3 of a 0xAARRGGBB pixel).
constexpr int kCellChunk = 512;

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

// The low three bits of each byte of pixel p in four 16-bit lanes: blue,
// red (the even bytes, already 16 bits apart), green, alpha (the odd ones).
// A cell's sums of these and its histogram level give the exact sums of its
// pixels' values, in a quarter of the memory of 32-bit sums.
inline std::uint64_t LowBits(std::uint32_t p)
{
    return (p & 0x00070007u) | std::uint64_t((p >> 8) & 0x00070007u) << 32;
}

// The pixels counted are all opaque, so the alpha lane is seven times their
// number; a cell's lanes are moved to its moments before any can overflow.
constexpr std::uint64_t kSpillAt = 65535 - 7;

// Whether some pixel of a 32-bit image is not opaque.
bool SeeThrough(const QImage& image)
{
    for (int y = 0; y < image.height() && image.format() == QImage::Format_ARGB32; ++y)
        if (!AllOpaque(reinterpret_cast<const std::uint32_t*>(image.constScanLine(y)), image.width()))
            return true;
    return false;
}

// At most how many refining steps follow the cut into boxes.
constexpr int kRefineSteps = 32;

// A cell's lanes, moved out of the way before they overflow.
struct Spill {
    std::uint32_t cell;
    std::uint64_t sums;
};

// The tables a conversion works in: per part of the rows its lanes and
// spills, then the moments, the occupied cells and each cell's colour.
struct Workspace {
    std::vector<std::uint64_t> lanes[kMostRowParts];
    std::vector<Spill> spills[kMostRowParts];
    std::vector<Moments> moments;
    std::vector<Cell> cells;
    std::vector<std::uint8_t> table;
};

// A conversion's workspace, or none when it does not fit in memory.
class OwnWorkspace {
public:
    // A workspace cleared for a picture of width x height cut into parts
    // bands of rows; false when it does not fit in memory.
    OwnWorkspace(int parts, int width, int height)
    {
        try {
            ws_ = std::make_unique<Workspace>();
            // A cell spills once per kSpillAt / 7 of its pixels at most.
            const std::size_t room = std::size_t(qint64(width) * (height / parts + 1) / (kSpillAt / 7) + 1);
            for (int part = 0; part < parts; ++part) {
                ws_->lanes[part].assign(kCells, 0);
                ws_->spills[part].reserve(room);
            }
            ws_->moments.assign(kMoments, Moments{});
            ws_->cells.reserve(kCells);
            ws_->table.resize(kCells);
        } catch (const std::bad_alloc&) {
            ws_.reset();
        }
    }
    explicit operator bool() const { return ws_ != nullptr; }
    Workspace* operator->() const { return ws_.get(); }

private:
    std::unique_ptr<Workspace> ws_;
};

} // namespace

QImage QuantizedTo8bit(const QImage& image, TProgress* progress)
{
    if (image.isNull())
        return {};
    const int h = image.height();
    const int w = image.width();
    const bool seeThrough = SeeThrough(image);
    QImage out(w, h, QImage::Format_Indexed8); // null when it does not fit in memory
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

    // Second pass: the moments of every cell, each part of the rows into
    // lanes of its own, added up afterwards.
    const int parts = RowParts(qint64(w) * h);
    const OwnWorkspace ws(parts, w, h);
    if (!ws)
        return {};
    const kernels::CellsKernel cellsOf = kernels::Cells();
    ForEachRowInParts(image, progress, parts, [&](int part, int, const std::uint32_t* row) {
        std::uint64_t* const k = ws->lanes[part].data();
        std::vector<Spill>& spills = ws->spills[part];
        std::uint16_t chunk[kCellChunk];
        for (int x0 = 0; x0 < w; x0 += kCellChunk) {
            const int n = std::min(kCellChunk, w - x0);
            cellsOf(row + x0, chunk, n);
            for (int i = 0; i < n; ++i) {
                const std::uint32_t c = chunk[i];
                std::uint64_t sums = k[c] + LowBits(row[x0 + i]);
                if ((sums >> 48) >= kSpillAt) {
                    spills.push_back({c, sums}); // within the room reserved
                    sums = 0;
                }
                k[c] = sums;
            }
        }
    });
    // The lanes and spills of every part added up, and each cell's level
    // added to its low bits.
    Moments* const m = ws->moments.data();
    const auto momentsOf = [m](std::uint32_t c) -> Moments& {
        return m[std::size_t(At(int(c >> 10) + 1, int((c >> 5) & 31) + 1, int(c & 31) + 1))];
    };
    const auto add = [&](std::uint32_t c, std::uint64_t sums) {
        momentsOf(c) += Moments{std::int64_t(sums >> 48) / 7, std::int64_t((sums >> 16) & 0xFFFF),
                                std::int64_t((sums >> 32) & 0xFFFF), std::int64_t(sums & 0xFFFF)};
    };
    for (int part = 0; part < parts; ++part)
        for (const Spill& spill : ws->spills[part])
            add(spill.cell, spill.sums);
    for (std::uint32_t c = 0; c < std::uint32_t(kCells); ++c) {
        for (int part = 0; part < parts; ++part)
            add(c, ws->lanes[part][c]);
        Moments& cell = momentsOf(c);
        cell.r += 8 * std::int64_t(c >> 10) * cell.w;
        cell.g += 8 * std::int64_t((c >> 5) & 31) * cell.w;
        cell.b += 8 * std::int64_t(c & 31) * cell.w;
    }

    // The new picture's rows are reached from the bits taken once: no
    // thread but this one calls the picture's own functions.
    std::uint8_t* const bits = out.bits();
    const qsizetype stride = out.bytesPerLine();

    // The occupied cells and their mean colours, then the table made
    // cumulative in place.
    std::vector<Cell>& cells = ws->cells;
    for (int c = 0; c < kCells; ++c) {
        const Moments& sum = momentsOf(std::uint32_t(c));
        if (sum.w == 0)
            continue;
        const QRgb mean = sum.Mean();
        cells.push_back({sum, c, qRed(mean), qGreen(mean), qBlue(mean), -1});
    }
    CheckCancel(progress);
    Cumulate(m);

    QList<QRgb> palette = CutBoxes(m);
    for (int step = 0; step < kRefineSteps; ++step) {
        CheckCancel(progress);
        if (!Refine(cells, palette))
            break;
    }
    MapCells(cells, palette, ws->table.data());
    out.setColorTable(palette);

    // Third pass: every pixel the colour its cell was given.
    ForEachRowInParts(image, progress, parts, [&](int, int y, const std::uint32_t* row) {
        // The table and width in locals: read through the lambda's captures
        // they would be loaded again after every byte stored.
        const std::uint8_t* const t = ws->table.data();
        const int width = w;
        std::uint8_t* const dst = bits + qsizetype(y) * stride;
        std::uint16_t chunk[kCellChunk];
        for (int x0 = 0; x0 < width; x0 += kCellChunk) {
            const int n = std::min(kCellChunk, width - x0);
            cellsOf(row + x0, chunk, n);
            for (int i = 0; i < n; ++i)
                dst[x0 + i] = t[chunk[i]];
        }
    });
    return out;
}
