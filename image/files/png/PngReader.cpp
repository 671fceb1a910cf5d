#include "image/files/png/PngReader.h"
#include "image/files/png/PngChunks.h"
#include "image/files/png/PngMetadata.h"
#include "image/work/Pool.h"
#include "image/files/png/PngUnfilter.h"
#include "image/work/Progress.h"

#include <QFile>

#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <exception>
#include <mutex>
#include <new>
#include <vector>

namespace {

// Inflates the image data on a thread of the work pool into a ring of
// filtered rows, while the calling thread unfilters and converts the rows
// already there. When no thread of the pool is free, the calling thread
// inflates each row itself as it asks for it.
class TInflater {
public:
    TInflater(TChunkReader& chunks, std::size_t rowBytes, int height)
        : chunks_(chunks), stride_(rowBytes + 1), height_(height), ring_(kRing * stride_), input_(std::size_t(1) << 18)
    {
        if (inflateInit(&z_) != Z_OK)
            throw std::bad_alloc();
        onPool_ = TryStartTask([this] { Run(); });
    }
    ~TInflater()
    {
        if (onPool_) {
            std::unique_lock<std::mutex> lock(mutex_);
            stop_ = true;
            changed_.notify_all();
            changed_.wait(lock, [&] { return finished_; });
        }
        inflateEnd(&z_);
    }
    TInflater(const TInflater&) = delete;
    TInflater& operator=(const TInflater&) = delete;

    // Filtered row y (its filter byte first), once inflated; throws
    // TPngDamaged when the data ends or fails before it.
    const unsigned char* Row(int y)
    {
        if (!onPool_) {
            try {
                while (inflated_ <= y && inflated_ < height_)
                    Inflate(inflated_++);
            } catch (const std::bad_alloc&) {
                throw TPngDamaged{"there is not enough memory to read it"};
            }
            if (inflated_ <= y)
                throw TPngDamaged{"the image data ends early"};
            return ring_.data() + std::size_t(y % kRing) * stride_;
        }
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [&] { return inflated_ > y || failed_ != nullptr; });
        if (inflated_ <= y)
            throw TPngDamaged{failed_};
        return ring_.data() + std::size_t(y % kRing) * stride_;
    }
    // Row y is taken: its place in the ring may be filled again.
    void Done(int y)
    {
        if (!onPool_)
            return;
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            taken_ = y + 1;
        }
        changed_.notify_all();
    }

private:
    static constexpr int kRing = 64;

    void Run()
    {
        const char* failure = nullptr;
        try {
            for (int y = 0; y < height_; ++y) {
                {
                    std::unique_lock<std::mutex> lock(mutex_);
                    changed_.wait(lock, [&] { return stop_ || y - taken_ < kRing; });
                    if (stop_)
                        break;
                }
                Inflate(y);
                const std::lock_guard<std::mutex> lock(mutex_);
                inflated_ = y + 1;
                changed_.notify_all();
            }
        } catch (const TPngDamaged& damaged) {
            failure = damaged.reason;
        } catch (const std::bad_alloc&) {
            failure = "there is not enough memory to read it";
        }
        // Told under the lock: once it is released this object may go.
        const std::lock_guard<std::mutex> lock(mutex_);
        failed_ = failure ? failure : "the image data ends early";
        finished_ = true;
        changed_.notify_all();
    }

    // Inflates row y into its place in the ring.
    void Inflate(int y)
    {
        z_.next_out = ring_.data() + std::size_t(y % kRing) * stride_;
        z_.avail_out = uInt(stride_);
        while (z_.avail_out > 0) {
            if (z_.avail_in == 0) {
                while (chunks_.Left() == 0) {
                    chunks_.Check();
                    chunks_.Next();
                    if (chunks_.Type() != ChunkType("IDAT"))
                        throw TPngDamaged{"the image data ends early"};
                }
                z_.next_in = input_.data();
                z_.avail_in = chunks_.Data(input_.data(), std::uint32_t(input_.size()));
            }
            const int status = inflate(&z_, Z_NO_FLUSH);
            if (status == Z_STREAM_END && z_.avail_out > 0)
                throw TPngDamaged{"the image data ends early"};
            if (status == Z_MEM_ERROR)
                throw std::bad_alloc();
            if (status != Z_OK && status != Z_STREAM_END && status != Z_BUF_ERROR)
                throw TPngDamaged{"the compressed image data is damaged"};
        }
        if (y + 1 == height_) {
            // The rest of the chunk the last row ends in, for its CRC;
            // compressed data after the last row is of no use.
            while (chunks_.Left() > 0)
                chunks_.Data(input_.data(), std::uint32_t(input_.size()));
            chunks_.Check();
        }
    }

    TChunkReader& chunks_;
    const std::size_t stride_;
    const int height_;
    std::vector<unsigned char> ring_;
    std::vector<unsigned char> input_;
    z_stream z_{};
    bool onPool_ = false;
    std::mutex mutex_;
    std::condition_variable changed_;
    int inflated_ = 0, taken_ = 0;
    bool stop_ = false, finished_ = false;
    const char* failed_ = nullptr;
};

TPngRead Failed(const QString& reason)
{
    TPngRead result;
    result.outcome = TPngRead::Failed;
    result.reason = reason;
    return result;
}

// The picture of a file whose header was read: its rows decoded into image.
void DecodeRows(TChunkReader& chunks, QImage& image, int channels, TProgress* progress)
{
    const int width = image.width(), height = image.height();
    const std::size_t rowBytes = std::size_t(width) * std::size_t(channels);
    std::vector<unsigned char> rows(2 * rowBytes); // the row above and this one, unfiltered
    unsigned char* above = rows.data();
    unsigned char* row = above + rowBytes;
    if (progress)
        progress->Restart(height);
    std::uint8_t* const bits = image.bits(); // detached once, here, before the other threads start
    const qsizetype line = image.bytesPerLine();
    TInflater inflater(chunks, rowBytes, height);
    for (int y = 0; y < height; ++y) {
        CheckCancel(progress);
        const unsigned char* filtered = inflater.Row(y);
        std::uint8_t* out = bits + qsizetype(y) * line;
        // One byte a pixel: the image row is the unfiltered row itself.
        unsigned char* to = channels == 1 ? out : row;
        if (!UnfilterRow(filtered[0], filtered + 1, above, to, rowBytes, channels))
            throw TPngDamaged{"a row names a filter PNG does not have"};
        inflater.Done(y);
        if (channels == 3)
            RgbToPixels(row, reinterpret_cast<std::uint32_t*>(out), width);
        else if (channels == 4)
            RgbaToPixels(row, reinterpret_cast<std::uint32_t*>(out), width);
        if (channels == 1)
            above = out;
        else
            std::swap(above, row);
        Advance(progress, 1);
    }
}

// The chunks after the image data, where text may stand, up to the end. The
// picture is complete by then: a file damaged or cut short here still opens
// with what was read.
void ReadTrailingChunks(TChunkReader& chunks, TPngCarried& carried)
{
    try {
        for (chunks.Next(); chunks.Type() != ChunkType("IEND"); chunks.Next())
            if (!ReadCarriedChunk(chunks, carried))
                chunks.Skip();
    } catch (const TPngDamaged&) {
    }
}

} // namespace

TPngRead ReadPng(const QString& fileName, qint64 maxBytes, TProgress* progress)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return Failed(file.errorString());
    try {
        unsigned char signature[8];
        if (file.read(reinterpret_cast<char*>(signature), 8) != 8 || std::memcmp(signature, kPngSignature, 8) != 0)
            return {};
        TChunkReader chunks(file);
        chunks.Next();
        unsigned char ihdr[13];
        if (chunks.Type() != ChunkType("IHDR") || chunks.Length() != 13)
            throw TPngDamaged{"the file does not start with its header"};
        chunks.Data(ihdr, 13);
        chunks.Check();
        const std::uint32_t width = Be32(ihdr), height = Be32(ihdr + 4);
        const int depth = ihdr[8], colourType = ihdr[9];
        if (width == 0 || height == 0 || width > 0x7FFFFFFFu || height > 0x7FFFFFFFu)
            throw TPngDamaged{"the header gives an impossible size"};
        if (ihdr[10] != 0 || ihdr[11] != 0 || ihdr[12] > 1)
            throw TPngDamaged{"the header names an unknown method"};
        // The kinds left to Qt's reader.
        if (depth != 8 || ihdr[12] != 0 || (colourType != 0 && colourType != 2 && colourType != 3 && colourType != 6))
            return {};
        if (width > (1u << 24) || height > (1u << 24) || qint64(width) * height * 4 > maxBytes) {
            TPngRead result;
            result.outcome = TPngRead::Failed;
            result.tooLarge = QSize(int(std::min<std::uint32_t>(width, 0x7FFFFFFF)), int(height));
            return result;
        }

        // The chunks before the image data: the palette and its
        // transparency, what the picture carries; the others are skipped.
        QList<QRgb> table;
        TPngCarried carried;
        for (chunks.Next(); chunks.Type() != ChunkType("IDAT"); chunks.Next()) {
            const std::uint32_t type = chunks.Type();
            if (type == ChunkType("PLTE") || type == ChunkType("tRNS")) {
                unsigned char data[768];
                const bool malformed = type == ChunkType("PLTE") && (chunks.Length() % 3 != 0 || chunks.Length() == 0);
                if (chunks.Length() > sizeof data || malformed)
                    throw TPngDamaged{"the palette is malformed"};
                chunks.Data(data, chunks.Length());
                chunks.Check();
                if (type == ChunkType("tRNS")) {
                    if (colourType != 3)
                        return {}; // a transparent colour key: Qt's reader turns it into alpha
                    if (chunks.Length() > std::uint32_t(table.size()))
                        throw TPngDamaged{"the transparency names more colours than the palette has"};
                    for (std::uint32_t i = 0; i < chunks.Length(); ++i)
                        table[qsizetype(i)] = qRgba(qRed(table[qsizetype(i)]), qGreen(table[qsizetype(i)]),
                                                    qBlue(table[qsizetype(i)]), data[i]);
                } else if (colourType == 3) {
                    table.clear();
                    for (std::uint32_t i = 0; i < chunks.Length(); i += 3)
                        table.append(qRgb(data[i], data[i + 1], data[i + 2]));
                }
            } else if (type == ChunkType("IEND")) {
                throw TPngDamaged{"the file has no image data"};
            } else if (!IsAncillary(type)) {
                throw TPngDamaged{"the file has a critical chunk this reader does not know"};
            } else if (!ReadCarriedChunk(chunks, carried)) {
                chunks.Skip();
            }
        }
        if (colourType == 3 && table.isEmpty())
            throw TPngDamaged{"a palette picture without its palette"};

        const int channels = colourType == 2 ? 3 : colourType == 6 ? 4 : 1;
        const QImage::Format format = colourType == 0   ? QImage::Format_Grayscale8
                                      : colourType == 3 ? QImage::Format_Indexed8
                                      : colourType == 2 ? QImage::Format_RGB32
                                                        : QImage::Format_ARGB32;
        QImage image(int(width), int(height), format);
        if (image.isNull())
            throw std::bad_alloc();
        if (format == QImage::Format_Indexed8)
            image.setColorTable(table);
        DecodeRows(chunks, image, channels, progress);
        ReadTrailingChunks(chunks, carried);
        TPngRead result;
        ApplyCarried(carried, image, &result.textOrder);
        result.outcome = TPngRead::Read;
        result.image = std::move(image);
        return result;
    } catch (const TPngDamaged& damaged) {
        return Failed(QString::fromLatin1(damaged.reason));
    }
}
