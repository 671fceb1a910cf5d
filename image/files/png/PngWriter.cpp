#include "image/files/png/PngWriter.h"
#include "image/bitmap/Grey.h"
#include "image/files/png/PngBands.h"
#include "image/files/png/PngChunks.h"
#include "image/files/png/PngMetadata.h"
#include "image/work/Pool.h"
#include "image/work/Progress.h"

#include <QIODevice>

#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <vector>

using namespace pngbands;

namespace {

// Raw bytes per band: enough to keep every core busy for a while and to
// make the per-band costs (priming, the flush) small, little enough that
// several bands in flight stay far below the memory budget of a save.
constexpr std::size_t kBandBytes = std::size_t(2) << 20;
// At most this much compressed data waits for its turn to be written.
constexpr std::size_t kInFlightBytes = std::size_t(32) << 20;
void WriteHeader(TChunkWriter& chunks, const QImage& image)
{
    chunks.Raw(kPngSignature, sizeof kPngSignature);
    const QList<QRgb> table = image.colorTable();
    const bool indexed = image.format() == QImage::Format_Indexed8;
    const bool grey = indexed && table == GreyRamp();
    std::uint8_t ihdr[13] = {};
    PutU32(ihdr, std::uint32_t(image.width()));
    PutU32(ihdr + 4, std::uint32_t(image.height()));
    ihdr[8] = 8; // bits per sample
    ihdr[9] = grey ? 0 : indexed ? 3 : image.format() == QImage::Format_ARGB32 ? 6 : 2;
    chunks.Chunk("IHDR", ihdr, sizeof ihdr);
    WriteLeadingChunks(chunks, image);
    if (!indexed || grey)
        return;
    // The palette as it is, padded to 256 entries so that every byte is a
    // valid index; tRNS up to the last entry that is not opaque.
    std::uint8_t plte[256 * 3] = {};
    std::uint8_t trns[256];
    int alphaEntries = 0;
    for (int i = 0; i < 256; ++i) {
        const QRgb c = i < table.size() ? table[i] : qRgb(0, 0, 0);
        plte[3 * i] = std::uint8_t(qRed(c));
        plte[3 * i + 1] = std::uint8_t(qGreen(c));
        plte[3 * i + 2] = std::uint8_t(qBlue(c));
        trns[i] = std::uint8_t(qAlpha(c));
        if (trns[i] != 255)
            alphaEntries = i + 1;
    }
    chunks.Chunk("PLTE", plte, sizeof plte);
    if (alphaEntries > 0)
        chunks.Chunk("tRNS", trns, std::size_t(alphaEntries));
}

// The bands of one save, compressed by a few threads and handed to the
// writing thread in order.
class TBandQueue {
public:
    TBandQueue(const QImage& image, const TSettings& settings, TProgress* progress, int threads, int ahead)
        : image_(image), settings_(settings), progress_(progress), ahead_(ahead)
    {
        const int rowsPerBand = PngRowsPerBand(image);
        for (int y = 0; y < image.height(); y += rowsPerBand) {
            TBand band;
            band.firstRow = y;
            band.endRow = std::min(image.height(), y + rowsPerBand);
            band.last = band.endRow == image.height();
            bands_.push_back(std::move(band));
        }
        done_.assign(bands_.size(), false);
        threads = std::min<int>(threads, int(bands_.size()));
        try {
            for (int i = 0; i < threads; ++i)
                workers_.emplace_back([this] { Work(); });
        } catch (...) {
            Join(); // the destructor does not run for a constructor that throws
            throw;
        }
    }
    ~TBandQueue() { Join(); }
    TBandQueue(const TBandQueue&) = delete;
    TBandQueue& operator=(const TBandQueue&) = delete;

    std::size_t Count() const { return bands_.size(); }

    // Band k once compressed; nullptr when the work stopped (cancelled or
    // failed: Stop() then rethrows a failure).
    TBand* Wait(std::size_t k)
    {
        if (workers_.empty()) {
            if (!CompressBand(image_, settings_, bands_[k], stop_, progress_))
                return nullptr;
            return &bands_[k];
        }
        std::unique_lock lock(mutex_);
        if (next_ == k && !stop_) {
            // No worker has taken the band yet (the pool may be busy with
            // other work): the writing thread compresses it itself.
            ++next_;
            lock.unlock();
            const bool finished = CompressBand(image_, settings_, bands_[k], stop_, progress_);
            lock.lock();
            done_[k] = finished;
            if (!finished)
                stop_ = true;
            changed_.notify_all();
        }
        changed_.wait(lock, [&] { return done_[k] || stop_; });
        return done_[k] ? &bands_[k] : nullptr;
    }

    // Band k is written: its memory goes and one more band may start.
    void Written(std::size_t k)
    {
        std::lock_guard lock(mutex_);
        bands_[k].deflated.reset();
        written_ = k + 1;
        changed_.notify_all();
    }

    // Stops the workers and waits for them.
    void Join()
    {
        {
            std::lock_guard lock(mutex_);
            stop_ = true;
            changed_.notify_all();
        }
        // A worker the pool has not started yet runs here, and finds the
        // queue stopped.
        for (TPoolTask& worker : workers_)
            worker.Wait();
    }
    // Join, then rethrows what one of the workers threw.
    void Stop()
    {
        Join();
        if (error_) {
            std::exception_ptr error = error_;
            error_ = nullptr;
            std::rethrow_exception(error);
        }
    }

private:
    void Work()
    {
        for (;;) {
            std::size_t k;
            {
                std::unique_lock lock(mutex_);
                changed_.wait(lock, [&] { return stop_ || next_ >= bands_.size() || next_ < written_ + ahead_; });
                if (stop_ || next_ >= bands_.size())
                    return;
                k = next_++;
            }
            bool finished = false;
            try {
                finished = CompressBand(image_, settings_, bands_[k], stop_, progress_);
            } catch (...) {
                std::lock_guard lock(mutex_);
                if (!error_)
                    error_ = std::current_exception();
            }
            std::lock_guard lock(mutex_);
            if (finished)
                done_[k] = true;
            else
                stop_ = true;
            changed_.notify_all();
        }
    }

    const QImage& image_;
    const TSettings settings_;
    TProgress* progress_;
    const std::size_t ahead_;
    std::vector<TBand> bands_;
    std::vector<bool> done_;
    std::size_t next_ = 0;
    std::size_t written_ = 0;
    std::atomic<bool> stop_{false};
    std::exception_ptr error_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<TPoolTask> workers_;
};

} // namespace

int PngRowsPerBand(const QImage& image)
{
    const std::size_t rowBytes = 1 + std::size_t(image.width()) * std::size_t(FileBytesPerPixel(image));
    return int(std::clamp<std::size_t>(kBandBytes / rowBytes, 1, std::size_t(1) << 30));
}

bool WritePng(QIODevice& out, const QImage& source, TProgress* progress, const TSettings* forced,
              const QStringList& textOrder)
{
    const QImage::Format format = source.format();
    const QImage image = format == QImage::Format_Indexed8 || format == QImage::Format_RGB32 ||
                                 format == QImage::Format_ARGB32
                             ? source
                             : source.convertToFormat(source.hasAlphaChannel() ? QImage::Format_ARGB32
                                                                               : QImage::Format_RGB32);
    if (image.isNull())
        throw std::bad_alloc();
    if (progress)
        progress->SetTotal(image.height());
    CheckCancel(progress);
    const TSettings settings = forced ? *forced : PickSettings(image);

    TChunkWriter chunks(out);
    WriteHeader(chunks, image);

    const std::size_t rowBytes = 1 + std::size_t(image.width()) * std::size_t(FileBytesPerPixel(image));
    const std::size_t bandBytes = std::max(kBandBytes, rowBytes);
    const int ahead = int(std::max<std::size_t>(1, kInFlightBytes / bandBytes));
    const int cores = std::max(1, WorkPool().maxThreadCount());
    TBandQueue queue(image, settings, progress, std::min(cores, ahead), ahead);

    // zlib's header: deflate with a 32 KiB window, the level's class, and
    // the check bits that make the pair a multiple of 31.
    const int levelClass = settings.level <= 1 ? 0 : settings.level <= 5 ? 1 : settings.level == 6 ? 2 : 3;
    std::uint8_t header[2] = {0x78, std::uint8_t(levelClass << 6)};
    header[1] = std::uint8_t(header[1] + 31 - (header[0] * 256 + header[1]) % 31);
    chunks.Idat(header, 2);

    std::uint32_t adler = 1;
    for (std::size_t k = 0; k < queue.Count() && chunks.Ok(); ++k) {
        TBand* band = queue.Wait(k);
        if (!band)
            break;
        chunks.Idat(band->deflated.get(), band->deflatedBytes);
        adler = CombineAdler(adler, band->adler, band->rawBytes);
        queue.Written(k);
    }
    queue.Stop(); // rethrows a worker's failure
    CheckCancel(progress);
    if (!chunks.Ok())
        return false;
    std::uint8_t trailer[4];
    PutU32(trailer, adler);
    chunks.Idat(trailer, 4);
    chunks.EndIdat();
    WriteTextChunks(chunks, image, textOrder);
    chunks.Chunk("IEND", nullptr, 0);
    return chunks.Ok();
}
