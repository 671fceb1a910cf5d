#include "PngPictures.h"

#include <QFont>
#include <QPainter>

#include <algorithm>
#include <cstdint>

namespace bench {

QImage PhotoPicture(int width, int height, unsigned seed)
{
    QImage image(width, height, QImage::Format_RGB32);
    std::uint64_t counter = 0x9E3779B97F4A7C15ull * (seed + 1);
    const auto noise = [&counter] {
        // splitmix64: neighbouring draws independent in every bit.
        std::uint64_t state = (counter += 0x9E3779B97F4A7C15ull);
        state = (state ^ (state >> 30)) * 0xBF58476D1CE4E5B9ull;
        state = (state ^ (state >> 27)) * 0x94D049BB133111EBull;
        state ^= state >> 31;
        // Four 16-bit uniforms: mean 131070, standard deviation 37837.
        const std::int64_t sum = std::int64_t(state & 0xFFFF) + std::int64_t((state >> 16) & 0xFFFF) +
                                 std::int64_t((state >> 32) & 0xFFFF) + std::int64_t(state >> 48);
        return int((sum - 131070) * 6 / 37837);
    };
    for (int y = 0; y < height; ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            const int dx = x - width / 3, dy = y - height / 2;
            const int r = 30 + 200 * x / width;
            const int g = 40 + 180 * y / height;
            const int b = 220 - int((std::int64_t(dx) * dx + std::int64_t(dy) * dy) * 180 /
                                    (std::int64_t(width) * width + std::int64_t(height) * height / 4 + 1));
            row[x] = qRgb(std::clamp(r + noise(), 0, 255), std::clamp(g + noise(), 0, 255),
                          std::clamp(b + noise(), 0, 255));
        }
    }
    return image;
}

QImage ScreenshotPicture(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(QColor(0x2E, 0x34, 0x40));
    QPainter painter(&image);
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(14);
    painter.setFont(font);
    const QColor backs[] = {QColor(0xF5, 0xF5, 0xF5), QColor(0xFF, 0xFF, 0xFF), QColor(0x1E, 0x1E, 0x1E),
                            QColor(0xEC, 0xEF, 0xF4)};
    int window = 0;
    for (int top = 40; top + 300 < height; top += height / 3) {
        for (int left = 30; left + 400 < width; left += width / 3, ++window) {
            const QRect frame(left, top, width / 3 - 60, height / 3 - 60);
            const QColor back = backs[window % 4];
            const bool dark = back.lightness() < 128;
            painter.fillRect(frame, back);
            painter.fillRect(QRect(frame.left(), frame.top(), frame.width(), 32), QColor(0x3B, 0x42, 0x52));
            painter.setPen(QColor(0x88, 0x88, 0x88));
            painter.drawRect(frame.adjusted(0, 0, -1, -1));
            painter.setPen(Qt::white);
            painter.drawText(frame.left() + 12, frame.top() + 22, QStringLiteral("Window %1 — Document.txt").arg(window));
            // Thin table lines, then text in the cells.
            painter.setPen(dark ? QColor(0x44, 0x44, 0x44) : QColor(0xDD, 0xDD, 0xDD));
            for (int y = frame.top() + 60; y < frame.bottom() - 10; y += 20)
                painter.drawLine(frame.left() + 8, y, frame.right() - 8, y);
            for (int x = frame.left() + 200; x < frame.right() - 8; x += 200)
                painter.drawLine(x, frame.top() + 40, x, frame.bottom() - 10);
            painter.setPen(dark ? QColor(0xD4, 0xD4, 0xD4) : QColor(0x20, 0x20, 0x20));
            int line = 0;
            for (int y = frame.top() + 56; y < frame.bottom() - 10; y += 20, ++line)
                for (int x = frame.left() + 12; x + 180 < frame.right(); x += 200)
                    painter.drawText(x, y, QStringLiteral("value %1, %2 = %3").arg(line).arg(x).arg(line * 37 % 1000));
        }
    }
    painter.end();
    return image;
}

QImage NoisyGradient(int side, bool grey)
{
    QImage image(side, side, QImage::Format_RGB32);
    std::uint32_t state = 12345;
    for (int y = 0; y < side; ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < side; ++x) {
            state = state * 1664525u + 1013904223u;
            const int noise = int(state >> 29);
            const int r = (x / 40 + noise) & 255, g = (y / 40 + noise) & 255, b = ((x + y) / 80 + noise) & 255;
            row[x] = grey ? qRgb(r, r, r) : qRgb(r, g, b);
        }
    }
    if (grey)
        return image.convertToFormat(QImage::Format_Grayscale8);
    return image;
}

} // namespace bench
