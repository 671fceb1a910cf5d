// The picture layer in one include: the bitmap and its canvas, and the
// picture with its files.
#pragma once

#include "image/bitmap/Bitmap.h"
#include "image/files/PictureFiles.h"
