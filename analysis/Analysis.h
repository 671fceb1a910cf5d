// The capture of the picture into CaptureMatrix, and the Haar step.
#pragma once

#include "Matrices.h"

class TBitmap;

// Converts the bitmap to 8 bits per pixel and stores the colour of each
// pixel of its top-left 512 x 512 area into CaptureMatrix.
void CaptureBitmap(TBitmap& bitmap);

// ChannelMatrix = CaptureMatrix >> 16; HaarMatrix = pairwise sums and
// differences of neighbouring columns of ChannelMatrix, row by row.
void HaarStep();
