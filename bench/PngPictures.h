// The pictures the PNG rows save and open.
#pragma once

#include <QImage>

namespace bench {

// Smooth gradients over the whole picture with seeded noise of about 6
// levels' standard deviation on every channel (the sum of four uniform
// numbers, close to Gaussian): what a photograph gives a PNG writer.
QImage PhotoPicture(int width, int height, unsigned seed = 7);
// A desktop: flat backgrounds, windows with title bars and borders, thin
// grid lines and many lines of text.
QImage ScreenshotPicture(int width, int height);
// Gradients with a little uniform noise (0..7), colour or grey: the
// picture the open and save rows of every kind use.
QImage NoisyGradient(int side, bool grey);

} // namespace bench
