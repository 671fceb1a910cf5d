// Our PNG writer: every bitmap layout straight into the file's own colour
// type (8-bit grey, 8-bit palette with tRNS where entries are see-through,
// 8-bit RGB, 8-bit RGBA), rows filtered with one filter picked per picture,
// deflated in bands on every core and written in order as they finish, so
// that the memory a save needs beyond the picture stays small.
#pragma once

#include <QImage>
#include <QStringList>

class QIODevice;
class TProgress;

namespace pngbands {
struct TSettings;
}

// Writes image (Format_Indexed8, Format_RGB32 or Format_ARGB32; any other
// format is converted first) as a PNG file to out. Returns false when the
// device refused a write (its error says why). Sets the progress's total to
// the rows and advances it by each row; throws TCancelled once the progress
// was cancelled (the device then holds part of a file), std::bad_alloc when
// memory runs out. settings, when given, replaces the per-picture choice of
// filter, level and strategy. The image's colour space and resolution are
// written before the image data, its text after it, the keys of textOrder
// first and in that order.
bool WritePng(QIODevice& out, const QImage& image, TProgress* progress = nullptr,
              const pngbands::TSettings* settings = nullptr, const QStringList& textOrder = {});

// The rows in one band of the image's file (every band but the last).
int PngRowsPerBand(const QImage& image);
