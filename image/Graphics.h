// The picture layer in one include: the bitmap and its canvas, and the
// picture with its files.
#pragma once

#include "Bitmap.h"
#include "PictureFiles.h"
