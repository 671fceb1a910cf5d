// The commands that change a picture's bitmap in place, row by row: one pass
// over the rows each, but the 8-bit conversion, which makes up to four (the
// grey check, then the quantizer's three). An empty bitmap is left as it is.
#pragma once

class TBitmap;
class TProgress;

// Every colour value v becomes 255 - v: each byte of an 8-bit grey bitmap,
// each colour channel of a 32-bit one (alpha is left alone), each palette
// entry's colour of a palette picture (ComplementPalette).
void Complement(TBitmap& bitmap);

// The clamped response of the 3 x 3 Laplacian (centre +8, neighbours -1),
// neighbours wrapping around the picture's edges as on a torus. 32-bit
// bitmaps are filtered channel by channel; alpha is left alone. A palette
// picture is first converted to 32-bit colour, since its bytes are not
// levels and the filtered colours would not fit its palette.
void EdgeDetect(TBitmap& bitmap);

// An 8-bit bitmap whose palette is not the grey ramp: its bytes are palette
// indices, not levels.
bool IsPalettePicture(const TBitmap& bitmap);

// Inverts the colour of every palette entry (alpha kept); the pixel bytes
// stay, so doing it twice restores the palette bit for bit.
void ComplementPalette(TBitmap& bitmap);

// An 8-bit copy of the picture in place of it: an 8-bit bitmap stays as it
// is; an all-grey picture gets the grey ramp (byte = grey level); any other
// picture gets a palette chosen for its colours (QuantizedTo8bit). Throws
// Exception when the copy does not fit in memory; the bitmap then stays as
// it was. progress, when given, gets a total of four times the height and
// reaches it at the end; a cancel throws TCancelled between bands of rows and
// leaves the bitmap as it was.
void ConvertTo8bit(TBitmap& bitmap, TProgress* progress = nullptr);

// Column x becomes column Width - 1 - x, rows in place, through a temporary
// bitmap assigned back (so bitmap's change notification fires).
void MirrorHorizontally(TBitmap& bitmap);
