// The commands that change a picture's bitmap in place. Each is one pass over
// the bitmap's rows; an empty bitmap is left as it is.
#pragma once

class TBitmap;

// Every colour value v becomes 255 - v: each byte of an 8-bit bitmap, each
// colour channel of a 32-bit one (alpha is left alone).
void Complement(TBitmap& bitmap);

// The clamped response of the 3 x 3 Laplacian (centre +8, neighbours -1),
// neighbours wrapping around the picture's edges as on a torus. 32-bit
// bitmaps are filtered channel by channel; alpha is left alone.
void EdgeDetect(TBitmap& bitmap);

// Column x becomes column Width - 1 - x, rows in place, through a temporary
// bitmap assigned back (so bitmap's change notification fires).
void MirrorHorizontally(TBitmap& bitmap);
