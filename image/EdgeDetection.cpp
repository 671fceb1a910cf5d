#include "Graphics.h"
#include "Operations.h"

void EdgeDetect(TBitmap& bitmap)
{
    (void)bitmap; // not built yet: the command leaves the picture as it is
}
