#include "image/bitmap/Canvas.h"
#include "image/bitmap/Bitmap.h"

TColor TCanvas::Pixels(int x, int y) const
{
    const QImage& image = bitmap_.image_;
    if (unsigned(x) >= unsigned(image.width()) || unsigned(y) >= unsigned(image.height()))
        return clNone;
    const std::uint8_t* line = image.constScanLine(y);
    if (image.format() == QImage::Format_Indexed8)
        return ColorFromRgb(bitmap_.palette_[line[x]]);
    return ColorFromRgb(reinterpret_cast<const QRgb*>(line)[x]);
}

void TCanvas::SetPixels(int x, int y, TColor color)
{
    QImage& image = bitmap_.image_;
    if (unsigned(x) >= unsigned(image.width()) || unsigned(y) >= unsigned(image.height()))
        return;
    const QRgb rgb = RgbFromColor(color);
    std::uint8_t* line = bitmap_.ScanLine(y);
    if (image.format() == QImage::Format_Indexed8)
        line[x] = std::uint8_t(bitmap_.PaletteIndex(rgb));
    else
        reinterpret_cast<QRgb*>(line)[x] = rgb;
}
