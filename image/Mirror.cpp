#include "Graphics.h"
#include "Operations.h"

void MirrorHorizontally(TBitmap& bitmap)
{
    (void)bitmap; // not built yet: the command leaves the picture as it is
}
