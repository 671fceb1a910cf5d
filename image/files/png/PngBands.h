// The row pipeline and the band compressor behind the PNG writer.
//
// A picture's rows are turned into the file's bytes (R, G, B [, A] or one
// byte per pixel), filtered with one fixed filter, and deflated in bands of
// rows. Each band is a raw deflate segment of its own, primed with the last
// 32 KiB of the rows before it, so that bands can be compressed at the same
// time on different threads and simply be concatenated: every band but the
// last ends on a sync flush (byte-aligned, not final), the last on finish.
#pragma once

#include <QImage>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

class TProgress;

namespace pngbands {

enum class TFilter : std::uint8_t { None = 0, Sub = 1, Up = 2, Average = 3, Paeth = 4 };

// How a picture is compressed; chosen per picture by PickSettings.
struct TSettings {
    TFilter filter = TFilter::Up;
    int level = 1;    // zlib's compression level
    int strategy = 0; // zlib's strategy (Z_DEFAULT_STRATEGY ...)
};

// The file's bytes per pixel for an image in one of the bitmap layouts:
// 1 (8-bit palette or grey), 3 (RGB32), 4 (ARGB32).
int FileBytesPerPixel(const QImage& image);

// Produces the filtered rows of the file one after the other.
class TRowFilter {
public:
    TRowFilter(const QImage& image, TFilter filter);
    // The next call to Next() gives row y.
    void Start(int y);
    // Row y's filtered bytes (the filter byte first, RowBytes() in all);
    // valid until the next call.
    const std::uint8_t* Next();
    std::size_t RowBytes() const { return 1 + rawBytes_; }

private:
    const std::uint8_t* Raw(int y, std::uint8_t* buffer);

    const QImage& image_;
    TFilter filter_;
    int bpp_;
    std::size_t rawBytes_;
    int y_ = 0;
    const std::uint8_t* previous_ = nullptr; // row y-1 in the file's bytes, or zeros
    std::vector<std::uint8_t> zeros_, rowA_, rowB_, out_;
    bool useA_ = true;
};

// One band of rows and what compressing it gave.
struct TBand {
    int firstRow = 0;
    int endRow = 0; // one past the last row
    bool last = false;
    std::unique_ptr<std::uint8_t[]> deflated;
    std::size_t deflatedBytes = 0;
    std::uint32_t adler = 1;  // Adler-32 of the band's filtered bytes
    std::size_t rawBytes = 0; // their count
};

// Filters and deflates the band's rows. Returns false when stop became true
// meanwhile (the band is then incomplete). Advances progress by each row.
// Throws std::bad_alloc when memory runs out.
bool CompressBand(const QImage& image, const TSettings& settings, TBand& band, const std::atomic<bool>& stop,
                  TProgress* progress);

// The Adler-32 of a followed by b (b of bBytes bytes).
std::uint32_t CombineAdler(std::uint32_t a, std::uint32_t b, std::size_t bBytes);

// A filter, level and strategy for the picture, from a sample of its rows:
// the filter whose output has the smallest sum of magnitudes (or none, on
// flat pictures where that compresses better); a middle level where the
// sample shows long flat stretches (screens, drawings), the fast level on
// pictures with noise (photographs), where a stronger one costs much and
// saves little.
TSettings PickSettings(const QImage& image);

} // namespace pngbands
