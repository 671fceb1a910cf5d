#include "Analysis.h"

#include "image/Graphics.h"

void CaptureBitmap(TBitmap& bitmap)
{
    (void)bitmap; // not built yet
}
