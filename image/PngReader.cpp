#include "PngReader.h"
#include "Progress.h"

#include <QFile>

#ifdef IMAGEBENCH_HAVE_SPNG
#include <spng.h>
#endif

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <system_error>
#include <thread>

#ifdef IMAGEBENCH_HAVE_SPNG

namespace {

// What libspng reads: the file, through Qt, so that every name the system
// accepts opens.
int ReadFromFile(spng_ctx*, void* user, void* destination, size_t length)
{
    auto* file = static_cast<QFile*>(user);
    auto* out = static_cast<char*>(destination);
    while (length > 0) {
        const qint64 got = file->read(out, qint64(length));
        if (got < 0)
            return SPNG_IO_ERROR;
        if (got == 0)
            return SPNG_IO_EOF;
        out += got;
        length -= size_t(got);
    }
    return 0;
}

struct TContextEnd {
    void operator()(spng_ctx* context) const { spng_ctx_free(context); }
};

// Swaps red and blue of every 32-bit pixel: libspng's R, G, B, A bytes
// become the image's B, G, R, A in memory.
void ToBgra(std::uint8_t* row, int width)
{
    auto* pixels = reinterpret_cast<std::uint32_t*>(row);
    for (int x = 0; x < width; ++x) {
        std::uint32_t p;
        std::memcpy(&p, pixels + x, 4);
        p = (p & 0xFF00FF00u) | ((p >> 16) & 0xFFu) | ((p & 0xFFu) << 16);
        std::memcpy(pixels + x, &p, 4);
    }
}

// Brings the new image's memory in (the system maps and clears each page
// at its first write) on a second thread, ahead of the decoder, so that
// the decoding thread only decodes. Rows are handed over through ready_:
// this thread writes only rows at or past it, the decoder only rows below.
class TPrefault {
public:
    TPrefault(std::uint8_t* bits, qsizetype line, int height) : bits_(bits), line_(line), height_(height)
    {
        try {
            thread_ = std::thread([this] { Run(); });
        } catch (const std::system_error&) {
            ready_.store(height_, std::memory_order_release); // the decoder faults them in itself
        }
    }
    ~TPrefault()
    {
        stop_.store(true, std::memory_order_relaxed);
        if (thread_.joinable())
            thread_.join();
    }
    TPrefault(const TPrefault&) = delete;
    TPrefault& operator=(const TPrefault&) = delete;

    // Waits until row y is the decoder's.
    void WaitFor(int y) const
    {
        while (ready_.load(std::memory_order_acquire) <= y)
            std::this_thread::yield();
    }

private:
    void Run()
    {
        constexpr qsizetype kPage = 4096;
        const int step = int(std::max<qsizetype>(1, (qsizetype(1) << 20) / line_)); // about 1 MiB at a time
        for (int y = 0; y < height_; y += step) {
            const int end = std::min(height_, y + step);
            if (stop_.load(std::memory_order_relaxed))
                break;
            for (qsizetype at = qsizetype(y) * line_; at < qsizetype(end) * line_; at += kPage)
                bits_[at] = 0;
            ready_.store(end, std::memory_order_release);
        }
        ready_.store(height_, std::memory_order_release);
    }

    // The image's memory, taken once by the decoding thread: the other
    // thread never calls the image's own functions.
    std::uint8_t* const bits_;
    const qsizetype line_;
    const int height_;
    std::atomic<int> ready_{0};
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

TPngRead Failed(int error)
{
    TPngRead result;
    result.outcome = TPngRead::Failed;
    result.reason = QString::fromLatin1(spng_strerror(error));
    return result;
}

} // namespace

bool OwnPngReader() { return true; }

TPngRead ReadPng(const QString& fileName, qint64 maxBytes, TProgress* progress)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        TPngRead result;
        result.outcome = TPngRead::Failed;
        result.reason = file.errorString();
        return result;
    }
    std::unique_ptr<spng_ctx, TContextEnd> owner(spng_ctx_new(0));
    if (!owner)
        throw std::bad_alloc();
    spng_ctx* context = owner.get();
    // Bounds for hostile files: the size any picture may have, and the
    // memory ancillary chunks (text, profiles) may hold.
    spng_set_image_limits(context, 1u << 24, 1u << 24);
    spng_set_chunk_limits(context, std::size_t(16) << 20, std::size_t(64) << 20);
    spng_set_crc_action(context, SPNG_CRC_ERROR, SPNG_CRC_DISCARD);
    if (int error = spng_set_png_stream(context, ReadFromFile, &file))
        return Failed(error);

    spng_ihdr header{};
    if (int error = spng_get_ihdr(context, &header))
        return Failed(error);
    if (header.bit_depth != 8 || header.interlace_method != 0 ||
        (header.color_type != SPNG_COLOR_TYPE_GRAYSCALE && header.color_type != SPNG_COLOR_TYPE_INDEXED &&
         header.color_type != SPNG_COLOR_TYPE_TRUECOLOR && header.color_type != SPNG_COLOR_TYPE_TRUECOLOR_ALPHA))
        return {};
    spng_trns trns{};
    const bool hasTrns = spng_get_trns(context, &trns) == 0;
    if (hasTrns && header.color_type != SPNG_COLOR_TYPE_INDEXED)
        return {}; // a transparent colour key: Qt's reader turns it into alpha
    const int width = int(header.width);
    const int height = int(header.height);
    if (qint64(width) * height * 4 > maxBytes) {
        TPngRead result;
        result.outcome = TPngRead::Failed;
        result.tooLarge = QSize(width, height);
        return result;
    }

    QImage::Format format = QImage::Format_Grayscale8;
    int spngFormat = SPNG_FMT_RAW;
    QList<QRgb> table;
    switch (header.color_type) {
    case SPNG_COLOR_TYPE_INDEXED: {
        spng_plte plte{};
        if (int error = spng_get_plte(context, &plte))
            return Failed(error);
        format = QImage::Format_Indexed8;
        table.resize(qsizetype(plte.n_entries));
        for (std::uint32_t i = 0; i < plte.n_entries; ++i) {
            const int alpha = hasTrns && i < trns.n_type3_entries ? trns.type3_alpha[i] : 255;
            table[qsizetype(i)] = qRgba(plte.entries[i].red, plte.entries[i].green, plte.entries[i].blue, alpha);
        }
        break;
    }
    case SPNG_COLOR_TYPE_TRUECOLOR:
        format = QImage::Format_RGB32;
        spngFormat = SPNG_FMT_RGBA8;
        break;
    case SPNG_COLOR_TYPE_TRUECOLOR_ALPHA:
        format = QImage::Format_ARGB32;
        spngFormat = SPNG_FMT_RGBA8;
        break;
    default:
        break;
    }

    QImage image(width, height, format);
    if (image.isNull())
        throw std::bad_alloc();
    if (format == QImage::Format_Indexed8)
        image.setColorTable(table);
    size_t rowBytes = 0;
    if (int error = spng_decoded_image_size(context, spngFormat, &rowBytes))
        return Failed(error);
    rowBytes /= size_t(height);
    if (int error = spng_decode_image(context, nullptr, 0, spngFormat, SPNG_DECODE_PROGRESSIVE))
        return Failed(error);
    if (progress)
        progress->Restart(height);
    std::uint8_t* const bits = image.bits(); // detached once, here, before the other thread starts
    const qsizetype line = image.bytesPerLine();
    TPrefault prefault(bits, line, height);
    for (int y = 0; y < height; ++y) {
        CheckCancel(progress);
        prefault.WaitFor(y);
        std::uint8_t* row = bits + qsizetype(y) * line;
        const int error = spng_decode_row(context, row, rowBytes);
        if (error != 0 && !(error == SPNG_EOI && y == height - 1))
            return Failed(error);
        if (spngFormat == SPNG_FMT_RGBA8)
            ToBgra(row, width);
        Advance(progress, 1);
    }
    TPngRead result;
    result.outcome = TPngRead::Read;
    result.image = std::move(image);
    return result;
}

#else

bool OwnPngReader() { return false; }

TPngRead ReadPng(const QString&, qint64, TProgress*) { return {}; }

#endif
