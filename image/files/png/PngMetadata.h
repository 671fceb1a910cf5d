// What a PNG file holds beside its pixels, to and from the QImage it is read
// into: the ICC profile (iCCP) or the sRGB, gAMA and cHRM chunks as the
// image's colour space, the resolution (pHYs, per metre) as its dots per
// metre, and the text chunks (tEXt, zTXt, iTXt) as its text, in file order.
// A damaged chunk of these (bad CRC or zlib stream, lengths past its end, a
// profile Qt rejects, an empty or overlong key, more than kMaxCarriedBytes
// promised) is skipped and the picture is read as if it were not there.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <utility>

class TChunkReader;
class TChunkWriter;

// The most a profile or a text may take, stored or inflated.
inline constexpr std::uint32_t kMaxCarriedBytes = std::uint32_t(16) << 20;

struct TPngCarried {
    QByteArray icc;            // the profile's bytes, inflated
    bool srgb = false;         // an sRGB chunk
    std::uint32_t gamma = 0;   // gAMA: the file's gamma times 100000
    std::uint32_t chrm[8] = {}; // cHRM: white, red, green, blue x and y times 100000
    bool hasChrm = false;
    std::uint32_t dotsPerMeterX = 0, dotsPerMeterY = 0;
    QList<std::pair<QString, QString>> text; // key and value, in file order
};

// When the chunk the reader stands at is one of the above, reads it (its CRC
// included) into carried and returns true; a damaged one is passed over the
// same way, leaving carried as it was. False for any other chunk, untouched.
bool ReadCarriedChunk(TChunkReader& chunks, TPngCarried& carried);

// Gives image the colour space, resolution and text carried; the text's keys
// in file order go to textOrder.
void ApplyCarried(const TPngCarried& carried, QImage& image, QStringList* textOrder);

// The chunks before the image data: iCCP from the image's colour space, and
// pHYs when its resolution is not the one every new QImage has.
void WriteLeadingChunks(TChunkWriter& chunks, const QImage& image);

// The chunks after the image data: one text chunk per text key of image,
// the keys of textOrder first in that order, then any others. A value in
// Latin-1 goes into tEXt (zTXt when long), any other into iTXt as UTF-8.
void WriteTextChunks(TChunkWriter& chunks, const QImage& image, const QStringList& textOrder);
