// Memory for 8-bit pictures that conversions make.
#pragma once

#include <QImage>

// A new 8-bit (Format_Indexed8) image without a colour table, or a null one
// when it does not fit in memory. Large pictures take the memory of the
// last such image released, when that is about the right size: the system
// has already mapped it, so filling it costs no page faults (each a few
// microseconds, a large part of a conversion). One released block at most
// is kept for that.
QImage NewIndexed8(int width, int height);
