#include "image/files/png/PngChunks.h"

#include <QFile>

#include <zlib.h>

#include <algorithm>
#include <cstring>

void TChunkReader::Next()
{
    std::uint8_t header[8];
    Read(header, 8);
    length_ = Be32(header);
    type_ = Be32(header + 4);
    if (length_ > 0x7FFFFFFFu)
        throw TPngDamaged{"a chunk's length is out of range"};
    left_ = length_;
    crc_ = crc32(0, header + 4, 4);
}

std::uint32_t TChunkReader::Data(std::uint8_t* to, std::uint32_t n)
{
    n = std::min(n, left_);
    Read(to, n);
    crc_ = crc32(crc_, to, n);
    left_ -= n;
    return n;
}

void TChunkReader::Skip()
{
    if (!file_.seek(file_.pos() + qint64(left_) + 4))
        throw TPngDamaged{"the file ends too early"};
    left_ = 0;
}

bool TChunkReader::CrcMatches()
{
    std::uint8_t crc[4];
    Read(crc, 4);
    return Be32(crc) == std::uint32_t(crc_);
}

void TChunkReader::Check()
{
    if (!CrcMatches())
        throw TPngDamaged{"a chunk's CRC does not match its contents"};
}

void TChunkReader::Read(std::uint8_t* to, std::uint32_t n)
{
    if (n > 0 && file_.read(reinterpret_cast<char*>(to), qint64(n)) != qint64(n))
        throw TPngDamaged{"the file ends too early"};
}

void TChunkWriter::Raw(const void* data, std::size_t n)
{
    if (ok_ && n > 0)
        ok_ = out_.write(static_cast<const char*>(data), qint64(n)) == qint64(n);
}

void TChunkWriter::Chunk(const char* type, const std::uint8_t* data, std::size_t n)
{
    std::uint8_t head[8];
    PutU32(head, std::uint32_t(n));
    std::memcpy(head + 4, type, 4);
    uLong crc = crc32(0, head + 4, 4);
    if (n > 0)
        crc = crc32(crc, data, uInt(n));
    std::uint8_t tail[4];
    PutU32(tail, std::uint32_t(crc));
    Raw(head, 8);
    Raw(data, n);
    Raw(tail, 4);
}

void TChunkWriter::Idat(const std::uint8_t* data, std::size_t n)
{
    while (n > 0 && ok_) {
        if (pending_.empty() && n >= kIdatBytes) {
            Chunk("IDAT", data, kIdatBytes);
            data += kIdatBytes;
            n -= kIdatBytes;
            continue;
        }
        const std::size_t take = std::min(n, kIdatBytes - pending_.size());
        pending_.insert(pending_.end(), data, data + take);
        data += take;
        n -= take;
        if (pending_.size() == kIdatBytes)
            EndIdat();
    }
}

void TChunkWriter::EndIdat()
{
    if (!pending_.empty())
        Chunk("IDAT", pending_.data(), pending_.size());
    pending_.clear();
}
