// What the PNG reader and writer share: the signature, big-endian numbers,
// chunk types, the Paeth predictor, and the chunks of a file read one after
// the other or written one after the other, each with its CRC.
#pragma once

#include <QtGlobal>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

class QFile;
class QIODevice;

// The eight bytes every PNG file starts with.
inline constexpr std::uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

inline std::uint32_t Be32(const std::uint8_t* p)
{
    return std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 | p[3];
}

inline void PutU32(std::uint8_t* p, std::uint32_t v)
{
    p[0] = std::uint8_t(v >> 24);
    p[1] = std::uint8_t(v >> 16);
    p[2] = std::uint8_t(v >> 8);
    p[3] = std::uint8_t(v);
}

// A chunk type as the number its four letters make, big-endian.
constexpr std::uint32_t ChunkType(const char (&name)[5])
{
    return std::uint32_t(std::uint8_t(name[0])) << 24 | std::uint32_t(std::uint8_t(name[1])) << 16 |
           std::uint32_t(std::uint8_t(name[2])) << 8 | std::uint8_t(name[3]);
}

// Ancillary chunks (a lower-case first letter) may be skipped by a reader
// that does not know them.
constexpr bool IsAncillary(std::uint32_t type) { return (type & 0x20000000u) != 0; }

// The neighbour (left a, above b, upper left c) nearest a + b - c, ties in
// that order. Written as two selections, without branches: on a photograph
// the choice is close to random.
inline int Paeth(int a, int b, int c)
{
    const int pa = std::abs(b - c), pb = std::abs(a - c), pc = std::abs(a + b - 2 * c);
    const int bc = pb <= pc ? b : c;
    return pa <= (pb < pc ? pb : pc) ? a : bc;
}

// A file that is not a well-formed PNG file: what is wrong with it.
struct TPngDamaged {
    const char* reason;
};

// The chunks of a file in order: each one's type and length, then its data
// read whole or in pieces, its CRC checked at the end. Throws TPngDamaged
// where the file ends early or a length is out of range.
class TChunkReader {
public:
    explicit TChunkReader(QFile& file) : file_(file) {}

    // The next chunk's header; its data and CRC follow.
    void Next();
    std::uint32_t Type() const { return type_; }
    std::uint32_t Length() const { return length_; }
    std::uint32_t Left() const { return left_; }

    // Up to n bytes of the chunk's data.
    std::uint32_t Data(std::uint8_t* to, std::uint32_t n);
    // The rest of the chunk's data, unread, then its CRC unchecked: for
    // chunks the reader has no use for.
    void Skip();
    // Whether the chunk's CRC matches, once its data is read.
    bool CrcMatches();
    // The same, a mismatch thrown as damage.
    void Check();

private:
    void Read(std::uint8_t* to, std::uint32_t n);

    QFile& file_;
    std::uint32_t type_ = 0, length_ = 0, left_ = 0;
    unsigned long crc_ = 0;
};

// Writes chunks to a device; remembers the first refused write.
class TChunkWriter {
public:
    explicit TChunkWriter(QIODevice& out) : out_(out) {}
    bool Ok() const { return ok_; }

    void Raw(const void* data, std::size_t n);
    void Chunk(const char* type, const std::uint8_t* data, std::size_t n);

    // The zlib stream, cut into IDAT chunks of at most kIdatBytes.
    void Idat(const std::uint8_t* data, std::size_t n);
    void EndIdat();

    // The largest IDAT chunk written.
    static constexpr std::size_t kIdatBytes = std::size_t(1) << 20;

private:
    QIODevice& out_;
    bool ok_ = true;
    std::vector<std::uint8_t> pending_;
};
