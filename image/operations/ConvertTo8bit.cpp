#include "image/bitmap/Bitmap.h"
#include "image/bitmap/Carried.h"
#include "image/bitmap/Grey.h"
#include "image/operations/Operations.h"
#include "image/work/Progress.h"
#include "image/quantizer/Quantizer.h"

void ConvertTo8bit(TBitmap& bitmap, TProgress* progress)
{
    if (bitmap.Empty() || bitmap.PixelFormat() == pf8bit)
        return;
    // Four passes over the rows at most: the grey check, then the
    // quantizer's three; the grey ramp stands for the quantizer's share.
    const qint64 rows = bitmap.Height();
    if (progress)
        progress->SetTotal(4 * rows);
    bool grey = false;
    QImage converted = GreyTo8bit(bitmap.Image(), &grey, progress);
    if (grey)
        Advance(progress, 3 * rows);
    else
        converted = QuantizedTo8bit(bitmap.Image(), progress);
    // A null image means the new pixels do not fit in memory; the picture
    // must then stay as it was. So must it when the work was cancelled: the
    // new image replaces the old one only here, at the end.
    if (converted.isNull())
        throw Exception(Sentence(NotEnoughMemory(u"to convert", bitmap.Width(), bitmap.Height())));
    KeepCarried(bitmap.Image(), converted);
    bitmap.SetImage(converted);
}
