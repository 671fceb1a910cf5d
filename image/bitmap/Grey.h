// Grey pictures: 8 bits per pixel under the grey ramp, the palette whose
// entry i is the opaque grey of level i, so that a byte is its grey level.
#pragma once

#include <QImage>

class TProgress;

// The grey ramp, 256 entries; a palette is the ramp when it equals this.
const QList<QRgb>& GreyRamp();

// The grey levels of an all-grey, opaque 32-bit image as bytes under the
// grey ramp. A null image, and *grey false, as soon as one pixel is not grey
// or not opaque (the grey ramp has no alpha); a null image with *grey true
// when the copy does not fit in memory. progress advances one step per row
// (the rows left out when a colour pixel ends the check included).
QImage GreyTo8bit(const QImage& image, bool* grey, TProgress* progress = nullptr);
