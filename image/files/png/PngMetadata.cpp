#include "image/files/png/PngMetadata.h"
#include "image/files/png/PngChunks.h"

#include <QColorSpace>
#include <QPointF>
#include <QSet>

#include <zlib.h>

#include <algorithm>
#include <limits>
#include <vector>

namespace {

// Texts longer than this are written compressed.
constexpr qsizetype kCompressFrom = 1024;
// PNG's keys and profile names: 1 to 79 Latin-1 bytes.
constexpr qsizetype kMaxKey = 79;

// A zlib stream inflated whole, at most kMaxCarriedBytes; false when it is
// damaged, ends early or would be larger.
bool Inflated(const std::uint8_t* data, std::size_t n, QByteArray& out)
{
    z_stream z{};
    if (inflateInit(&z) != Z_OK)
        return false;
    z.next_in = const_cast<Bytef*>(data);
    z.avail_in = uInt(n);
    std::vector<std::uint8_t> piece(std::size_t(1) << 16);
    out.clear();
    int status = Z_OK;
    while (status == Z_OK) {
        z.next_out = piece.data();
        z.avail_out = uInt(piece.size());
        status = inflate(&z, Z_NO_FLUSH);
        const std::size_t got = piece.size() - z.avail_out;
        if (out.size() + qsizetype(got) > qsizetype(kMaxCarriedBytes)) {
            status = Z_MEM_ERROR;
            break;
        }
        out.append(reinterpret_cast<const char*>(piece.data()), qsizetype(got));
        if (status == Z_BUF_ERROR || (status == Z_OK && got == 0 && z.avail_in == 0))
            break; // the input ends before the stream does
    }
    inflateEnd(&z);
    return status == Z_STREAM_END;
}

QByteArray Deflated(const QByteArray& data)
{
    uLongf size = compressBound(uLong(data.size()));
    QByteArray out(qsizetype(size), Qt::Uninitialized);
    if (compress2(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(data.constData()),
                  uLong(data.size()), Z_BEST_COMPRESSION) != Z_OK)
        throw std::bad_alloc();
    out.truncate(qsizetype(size));
    return out;
}

// The chunk's data split at its NUL bytes, as the text chunks lay it out.
class TFields {
public:
    explicit TFields(const std::vector<std::uint8_t>& data) : data_(data) {}
    // The bytes up to the next NUL (which is passed); false when none is left.
    bool Next(QByteArray& field)
    {
        const auto begin = data_.begin() + std::ptrdiff_t(at_);
        const auto nul = std::find(begin, data_.end(), std::uint8_t(0));
        if (nul == data_.end())
            return false;
        field = QByteArray(reinterpret_cast<const char*>(data_.data() + at_), nul - begin);
        at_ = std::size_t(nul - data_.begin()) + 1;
        return true;
    }
    bool Byte(std::uint8_t& byte)
    {
        if (at_ >= data_.size())
            return false;
        byte = data_[at_++];
        return true;
    }
    const std::uint8_t* Rest() const { return data_.data() + at_; }
    std::size_t RestBytes() const { return data_.size() - at_; }

private:
    const std::vector<std::uint8_t>& data_;
    std::size_t at_ = 0;
};

bool GoodKey(const QByteArray& key) { return !key.isEmpty() && key.size() <= kMaxKey; }

// The text of a tEXt, zTXt or iTXt chunk; false when it is malformed.
bool ReadText(std::uint32_t type, const std::vector<std::uint8_t>& data, TPngCarried& carried)
{
    TFields fields(data);
    QByteArray key;
    if (!fields.Next(key) || !GoodKey(key))
        return false;
    QByteArray value;
    bool utf8 = false;
    if (type == ChunkType("tEXt")) {
        value = QByteArray(reinterpret_cast<const char*>(fields.Rest()), qsizetype(fields.RestBytes()));
    } else if (type == ChunkType("zTXt")) {
        std::uint8_t method = 1;
        if (!fields.Byte(method) || method != 0 || !Inflated(fields.Rest(), fields.RestBytes(), value))
            return false;
    } else {
        std::uint8_t compressed = 2, method = 1;
        QByteArray language, translated;
        if (!fields.Byte(compressed) || !fields.Byte(method) || compressed > 1 || (compressed && method != 0) ||
            !fields.Next(language) || !fields.Next(translated))
            return false;
        if (compressed) {
            if (!Inflated(fields.Rest(), fields.RestBytes(), value))
                return false;
        } else {
            value = QByteArray(reinterpret_cast<const char*>(fields.Rest()), qsizetype(fields.RestBytes()));
        }
        utf8 = true;
    }
    carried.text.append({QString::fromLatin1(key), utf8 ? QString::fromUtf8(value) : QString::fromLatin1(value)});
    return true;
}

bool ReadIcc(const std::vector<std::uint8_t>& data, TPngCarried& carried)
{
    TFields fields(data);
    QByteArray name;
    std::uint8_t method = 1;
    QByteArray profile;
    if (!fields.Next(name) || !GoodKey(name) || !fields.Byte(method) || method != 0 ||
        !Inflated(fields.Rest(), fields.RestBytes(), profile) || !QColorSpace::fromIccProfile(profile).isValid())
        return false;
    carried.icc = profile;
    return true;
}

// One chunk's data, parsed; false (nothing kept) when it is malformed.
bool Parse(std::uint32_t type, const std::vector<std::uint8_t>& data, TPngCarried& carried)
{
    if (type == ChunkType("iCCP"))
        return ReadIcc(data, carried);
    if (type == ChunkType("sRGB")) {
        if (data.size() != 1 || data[0] > 3) // the rendering intent
            return false;
        carried.srgb = true;
        return true;
    }
    if (type == ChunkType("gAMA")) {
        if (data.size() != 4 || Be32(data.data()) == 0)
            return false;
        carried.gamma = Be32(data.data());
        return true;
    }
    if (type == ChunkType("cHRM")) {
        if (data.size() != 32)
            return false;
        for (int i = 0; i < 8; ++i)
            carried.chrm[i] = Be32(data.data() + 4 * i);
        carried.hasChrm = true;
        return true;
    }
    if (type == ChunkType("pHYs")) {
        const std::uint32_t x = data.size() == 9 ? Be32(data.data()) : 0, y = x ? Be32(data.data() + 4) : 0;
        if (data.size() != 9 || data[8] != 1 || x == 0 || y == 0 || x > 0x7FFFFFFFu || y > 0x7FFFFFFFu)
            return false;
        carried.dotsPerMeterX = x;
        carried.dotsPerMeterY = y;
        return true;
    }
    return ReadText(type, data, carried);
}

QPointF Chromaticity(const std::uint32_t* xy) { return QPointF(xy[0] / 100000.0, xy[1] / 100000.0); }

} // namespace

bool ReadCarriedChunk(TChunkReader& chunks, TPngCarried& carried)
{
    const std::uint32_t type = chunks.Type();
    if (type != ChunkType("iCCP") && type != ChunkType("sRGB") && type != ChunkType("gAMA") &&
        type != ChunkType("cHRM") && type != ChunkType("pHYs") && type != ChunkType("tEXt") &&
        type != ChunkType("zTXt") && type != ChunkType("iTXt"))
        return false;
    if (chunks.Length() > kMaxCarriedBytes) {
        chunks.Skip();
        return true;
    }
    std::vector<std::uint8_t> data(chunks.Length());
    chunks.Data(data.data(), chunks.Length());
    if (chunks.CrcMatches()) {
        TPngCarried parsed = carried;
        if (Parse(type, data, parsed))
            carried = std::move(parsed);
    }
    return true;
}

void ApplyCarried(const TPngCarried& carried, QImage& image, QStringList* textOrder)
{
    QColorSpace space;
    if (!carried.icc.isEmpty())
        space = QColorSpace::fromIccProfile(carried.icc);
    else if (carried.srgb)
        space = QColorSpace(QColorSpace::SRgb);
    else if (carried.gamma && carried.hasChrm)
        space = QColorSpace(Chromaticity(carried.chrm), Chromaticity(carried.chrm + 2),
                            Chromaticity(carried.chrm + 4), Chromaticity(carried.chrm + 6),
                            QColorSpace::TransferFunction::Gamma, float(100000.0 / carried.gamma));
    else if (carried.gamma)
        space = QColorSpace(QColorSpace::Primaries::SRgb, float(100000.0 / carried.gamma));
    if (space.isValid())
        image.setColorSpace(space);
    if (carried.dotsPerMeterX) {
        image.setDotsPerMeterX(int(carried.dotsPerMeterX));
        image.setDotsPerMeterY(int(carried.dotsPerMeterY));
    }
    for (const auto& [key, value] : carried.text) {
        image.setText(key, value);
        if (textOrder && !textOrder->contains(key))
            textOrder->append(key);
    }
}

void WriteLeadingChunks(TChunkWriter& chunks, const QImage& image)
{
    if (const QColorSpace space = image.colorSpace(); space.isValid()) {
        if (const QByteArray profile = space.iccProfile(); !profile.isEmpty()) {
            QByteArray name = space.description().toLatin1().left(kMaxKey).trimmed();
            if (name.isEmpty() || name.contains('\0'))
                name = "ICC profile";
            const QByteArray data = name + '\0' + '\0' + Deflated(profile);
            chunks.Chunk("iCCP", reinterpret_cast<const std::uint8_t*>(data.constData()), std::size_t(data.size()));
        }
    }
    static const QImage fresh(1, 1, QImage::Format_RGB32);
    if (image.dotsPerMeterX() > 0 && image.dotsPerMeterY() > 0 &&
        (image.dotsPerMeterX() != fresh.dotsPerMeterX() || image.dotsPerMeterY() != fresh.dotsPerMeterY())) {
        std::uint8_t phys[9];
        PutU32(phys, std::uint32_t(image.dotsPerMeterX()));
        PutU32(phys + 4, std::uint32_t(image.dotsPerMeterY()));
        phys[8] = 1; // per metre
        chunks.Chunk("pHYs", phys, sizeof phys);
    }
}

void WriteTextChunks(TChunkWriter& chunks, const QImage& image, const QStringList& textOrder)
{
    const QStringList present = image.textKeys();
    if (present.isEmpty())
        return;
    QStringList keys;
    for (const QString& key : textOrder)
        if (present.contains(key) && !keys.contains(key))
            keys.append(key);
    for (const QString& key : present)
        if (!keys.contains(key))
            keys.append(key);
    for (const QString& key : keys) {
        const QByteArray name = key.toLatin1().left(kMaxKey);
        const QString value = image.text(key);
        if (name.isEmpty() || name.contains('\0'))
            continue;
        const bool latin1 = std::all_of(value.begin(), value.end(), [](QChar c) { return c.unicode() <= 0xFF; });
        const QByteArray bytes = latin1 ? value.toLatin1() : value.toUtf8();
        const bool compress = bytes.size() > kCompressFrom;
        QByteArray data = name + '\0';
        const char* type = "tEXt";
        if (!latin1) {
            type = "iTXt";
            data += char(compress ? 1 : 0);
            data += '\0'; // zlib
            data += '\0'; // no language tag
            data += '\0'; // no translated key
        } else if (compress) {
            type = "zTXt";
            data += '\0'; // zlib
        }
        data += compress ? Deflated(bytes) : bytes;
        chunks.Chunk(type, reinterpret_cast<const std::uint8_t*>(data.constData()), std::size_t(data.size()));
    }
}
