#include "image/files/png/PngBands.h"
#include "image/files/png/PngChunks.h"
#include "image/work/Progress.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <new>

namespace pngbands {

namespace {

constexpr std::size_t kWindow = 32768; // deflate's window: what a band is primed with

// Filters n bytes of cur (previous row prev) into out; Bpp bytes per pixel.
template <int Bpp>
void FilterRow(TFilter filter, const std::uint8_t* cur, const std::uint8_t* prev, std::uint8_t* out, std::size_t n)
{
    switch (filter) {
    case TFilter::None:
        std::memcpy(out, cur, n);
        break;
    case TFilter::Sub:
        for (std::size_t i = 0; i < n && i < Bpp; ++i)
            out[i] = cur[i];
        for (std::size_t i = Bpp; i < n; ++i)
            out[i] = std::uint8_t(cur[i] - cur[i - Bpp]);
        break;
    case TFilter::Up:
        for (std::size_t i = 0; i < n; ++i)
            out[i] = std::uint8_t(cur[i] - prev[i]);
        break;
    case TFilter::Average:
        for (std::size_t i = 0; i < n && i < Bpp; ++i)
            out[i] = std::uint8_t(cur[i] - (prev[i] >> 1));
        for (std::size_t i = Bpp; i < n; ++i)
            out[i] = std::uint8_t(cur[i] - ((cur[i - Bpp] + prev[i]) >> 1));
        break;
    case TFilter::Paeth:
        for (std::size_t i = 0; i < n && i < Bpp; ++i)
            out[i] = std::uint8_t(cur[i] - prev[i]);
        for (std::size_t i = Bpp; i < n; ++i)
            out[i] = std::uint8_t(cur[i] - Paeth(cur[i - Bpp], prev[i], prev[i - Bpp]));
        break;
    }
}

void Filter(int bpp, TFilter filter, const std::uint8_t* cur, const std::uint8_t* prev, std::uint8_t* out,
            std::size_t n)
{
    out[0] = std::uint8_t(filter);
    if (bpp == 1)
        FilterRow<1>(filter, cur, prev, out + 1, n);
    else if (bpp == 3)
        FilterRow<3>(filter, cur, prev, out + 1, n);
    else
        FilterRow<4>(filter, cur, prev, out + 1, n);
}

// Ends a z_stream however the function leaves.
struct TDeflater {
    z_stream stream{};
    bool open = false;
    ~TDeflater()
    {
        if (open)
            deflateEnd(&stream);
    }
};

// The compressed size of about 256 KiB of rows from the middle of the
// picture, filtered and deflated with the settings and the strategy.
std::size_t BlockBytes(const QImage& image, TSettings settings, int strategy)
{
    settings.strategy = strategy;
    TRowFilter rows(image, settings.filter);
    const int count = int(std::clamp<std::size_t>((std::size_t(256) << 10) / rows.RowBytes(), 1,
                                                  std::size_t(image.height())));
    TBand band;
    band.firstRow = (image.height() - count) / 2;
    band.endRow = band.firstRow + count;
    band.last = true;
    const std::atomic<bool> stop{false};
    CompressBand(image, settings, band, stop, nullptr);
    return band.deflatedBytes;
}

} // namespace

int FileBytesPerPixel(const QImage& image)
{
    switch (image.format()) {
    case QImage::Format_ARGB32:
        return 4;
    case QImage::Format_RGB32:
        return 3;
    default:
        return 1;
    }
}

TRowFilter::TRowFilter(const QImage& image, TFilter filter)
    : image_(image), filter_(filter), bpp_(FileBytesPerPixel(image)),
      rawBytes_(std::size_t(image.width()) * std::size_t(bpp_)), zeros_(rawBytes_, 0), rowA_(rawBytes_),
      rowB_(rawBytes_), out_(rawBytes_ + 1)
{
}

const std::uint8_t* TRowFilter::Raw(int y, std::uint8_t* buffer)
{
    const std::uint8_t* line = image_.constScanLine(y);
    if (bpp_ == 1)
        return line; // palette indices and grey levels are the file's bytes already
    const auto* pixels = reinterpret_cast<const QRgb*>(line);
    const int width = image_.width();
    if (bpp_ == 3) {
        for (int x = 0; x < width; ++x) {
            const QRgb p = pixels[x];
            buffer[3 * x] = std::uint8_t(p >> 16);
            buffer[3 * x + 1] = std::uint8_t(p >> 8);
            buffer[3 * x + 2] = std::uint8_t(p);
        }
    } else {
        for (int x = 0; x < width; ++x) {
            const QRgb p = pixels[x];
            buffer[4 * x] = std::uint8_t(p >> 16);
            buffer[4 * x + 1] = std::uint8_t(p >> 8);
            buffer[4 * x + 2] = std::uint8_t(p);
            buffer[4 * x + 3] = std::uint8_t(p >> 24);
        }
    }
    return buffer;
}

void TRowFilter::Start(int y)
{
    y_ = y;
    useA_ = true;
    previous_ = y == 0 ? zeros_.data() : Raw(y - 1, rowB_.data());
}

const std::uint8_t* TRowFilter::Next()
{
    const std::uint8_t* cur = Raw(y_, useA_ ? rowA_.data() : rowB_.data());
    Filter(bpp_, filter_, cur, previous_, out_.data(), rawBytes_);
    previous_ = cur;
    useA_ = !useA_;
    ++y_;
    return out_.data();
}

bool CompressBand(const QImage& image, const TSettings& settings, TBand& band, const std::atomic<bool>& stop,
                  TProgress* progress)
{
    const auto stopped = [&] {
        return stop.load(std::memory_order_relaxed) || (progress && progress->Cancelled());
    };
    TDeflater deflater;
    z_stream& z = deflater.stream;
    // Raw deflate (no zlib header or trailer): the writer puts those around
    // the concatenated bands.
    const int init = deflateInit2(&z, settings.level, Z_DEFLATED, -15, 8, settings.strategy);
    if (init == Z_MEM_ERROR)
        throw std::bad_alloc();
    if (init != Z_OK)
        throw std::invalid_argument("deflate settings");
    deflater.open = true;

    TRowFilter rows(image, settings.filter);
    const std::size_t rowBytes = rows.RowBytes();
    if (band.firstRow > 0) {
        // The bytes of the rows just before the band, filtered as the band
        // before compressed them, prime the window: matches reach back into
        // them as if the stream had never been cut.
        const int tailRows = int(std::min<std::size_t>(std::size_t(band.firstRow), (kWindow + rowBytes - 1) / rowBytes));
        std::vector<std::uint8_t> tail;
        tail.reserve(std::size_t(tailRows) * rowBytes);
        rows.Start(band.firstRow - tailRows);
        for (int i = 0; i < tailRows; ++i) {
            const std::uint8_t* row = rows.Next();
            tail.insert(tail.end(), row, row + rowBytes);
        }
        const std::size_t keep = std::min(tail.size(), kWindow);
        deflateSetDictionary(&z, tail.data() + tail.size() - keep, uInt(keep));
    } else {
        rows.Start(0);
    }

    band.rawBytes = std::size_t(band.endRow - band.firstRow) * rowBytes;
    // deflateBound covers the data; the flush at the end adds a few bytes.
    const std::size_t capacity = deflateBound(&z, uLong(band.rawBytes)) + 64;
    band.deflated.reset(new std::uint8_t[capacity]);
    z.next_out = band.deflated.get();
    z.avail_out = uInt(capacity);

    uLong adler = adler32(0, nullptr, 0);
    for (int y = band.firstRow; y < band.endRow; ++y) {
        if (stopped())
            return false;
        const std::uint8_t* row = rows.Next();
        adler = adler32(adler, row, uInt(rowBytes));
        z.next_in = const_cast<Bytef*>(row);
        z.avail_in = uInt(rowBytes);
        if (deflate(&z, Z_NO_FLUSH) != Z_OK || z.avail_in != 0)
            throw std::runtime_error("deflate failed");
        Advance(progress, 1);
    }
    const int end = deflate(&z, band.last ? Z_FINISH : Z_SYNC_FLUSH);
    if (end != (band.last ? Z_STREAM_END : Z_OK))
        throw std::runtime_error("deflate failed");
    band.deflatedBytes = capacity - z.avail_out;
    band.adler = std::uint32_t(adler);
    return true;
}

std::uint32_t CombineAdler(std::uint32_t a, std::uint32_t b, std::size_t bBytes)
{
    return std::uint32_t(adler32_combine(a, b, z_off_t(bBytes)));
}

TSettings PickSettings(const QImage& image)
{
    TSettings settings;
    const int height = image.height();
    if (height == 0 || image.width() == 0)
        return settings;
    // Up to 32 rows spread over the picture, each with the row above it.
    const int samples = std::min(height, 32);
    const TFilter filters[] = {TFilter::None, TFilter::Sub, TFilter::Up, TFilter::Average, TFilter::Paeth};
    std::uint64_t cost[5] = {};
    std::uint64_t zeros[5] = {};
    std::uint64_t bytes = 0;
    for (int f = 0; f < 5; ++f) {
        TRowFilter rows(image, filters[f]);
        for (int s = 0; s < samples; ++s) {
            // Row 0 has no row above; it would favour the filters that
            // do not look up.
            const int y = height == 1 ? 0 : 1 + int(std::int64_t(s) * (height - 1) / samples);
            rows.Start(y);
            const std::uint8_t* row = rows.Next();
            for (std::size_t i = 1; i < rows.RowBytes(); ++i) {
                const int v = row[i];
                cost[f] += std::uint64_t(v < 128 ? v : 256 - v);
                zeros[f] += v == 0;
            }
            if (f == 0)
                bytes += rows.RowBytes() - 1;
        }
    }
    int best = 0;
    for (int f = 1; f < 5; ++f)
        if (cost[f] < cost[best])
            best = f;
    settings.filter = filters[best];
    // Flat stretches: most filtered bytes are zero. Deflate's match search
    // pays there (long repeats of text and lines), and is fast because the
    // matches are long.
    if (zeros[best] * 2 > bytes) {
        // Screens and drawings: no filter often does best, as deflate then
        // matches whole runs of repeated pixels and glyphs; a block of rows
        // compressed both ways decides.
        settings.level = 3;
        settings.strategy = Z_DEFAULT_STRATEGY;
        TSettings unfiltered = settings;
        unfiltered.filter = TFilter::None;
        if (BlockBytes(image, unfiltered, Z_DEFAULT_STRATEGY) <= BlockBytes(image, settings, Z_DEFAULT_STRATEGY))
            return unfiltered;
        return settings;
    }
    // Elsewhere the fast level, with or without its match search: noise
    // around smooth shades (photographs) leaves little to match, and
    // run-length matching with Huffman codes does as well there at a fraction
    // of the time; repeated patterns in noise need the search. A block of
    // rows from the middle, compressed both ways, decides.
    settings.level = 1;
    settings.strategy = BlockBytes(image, settings, Z_RLE) <= BlockBytes(image, settings, Z_DEFAULT_STRATEGY)
                            ? Z_RLE
                            : Z_DEFAULT_STRATEGY;
    return settings;
}

} // namespace pngbands
