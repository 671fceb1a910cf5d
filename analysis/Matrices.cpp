#include "Matrices.h"

TMatrix CaptureMatrix = {};
TMatrix ChannelMatrix = {};
TMatrix HaarMatrix = {};
