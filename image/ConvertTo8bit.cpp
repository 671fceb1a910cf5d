#include "Bitmap.h"
#include "Operations.h"
#include "Quantizer.h"

void ConvertTo8bit(TBitmap& bitmap)
{
    if (bitmap.Empty() || bitmap.PixelFormat() == pf8bit)
        return;
    bool grey = false;
    QImage converted = GreyTo8bit(bitmap.Image(), &grey);
    if (!grey)
        converted = QuantizedTo8bit(bitmap.Image());
    // A null image means the new pixels do not fit in memory; the picture
    // must then stay as it was.
    if (converted.isNull())
        throw Exception(QStringLiteral("There is not enough memory to convert a picture of %1 × %2 pixels.")
                            .arg(bitmap.Width())
                            .arg(bitmap.Height()));
    bitmap.SetImage(converted);
}
