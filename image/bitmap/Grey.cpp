#include "image/bitmap/Grey.h"
#include "image/bitmap/Color.h"
#include "image/kernels/Kernels.h"
#include "image/work/RowBands.h"

const QList<QRgb>& GreyRamp()
{
    static const QList<QRgb> ramp = [] {
        QList<QRgb> levels(256);
        for (int i = 0; i < 256; ++i)
            levels[i] = qRgb(i, i, i);
        return levels;
    }();
    return ramp;
}

// The grey check and the conversion go row by row in one pass, so that the
// picture is read from memory once; see-through pixels are looked for in the
// same row while it is in the cache.
QImage GreyTo8bit(const QImage& image, bool* grey, TProgress* progress)
{
    *grey = true;
    QImage out(image.width(), image.height(), QImage::Format_Indexed8); // null when it does not fit
    if (out.isNull())
        return out;
    out.setColorTable(GreyRamp());
    const int w = image.width();
    const bool alpha = image.format() == QImage::Format_ARGB32;
    const auto greyRow = kernels::GreyRow();
    *grey = ForEachRowBand(image, progress, [&](int y, const std::uint32_t* row) {
        return greyRow(row, out.scanLine(y), w) && (!alpha || AllOpaque(row, w));
    });
    return *grey ? out : QImage();
}
