// The view's resampler against a reference that maps the other way: each
// bitmap pixel goes to the device pixel its right edge falls in, each device
// pixel shows the mean of what reached it (premultiplied), or, where nothing
// did (an enlarged view), the bitmap pixel under its left edge.
#include "image/view/BoxView.h"
#include "support/TestPictures.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

using namespace testpictures;

namespace {

// A pixel as the view shows it: premultiplied, opaque for a picture
// without an alpha channel.
std::vector<double> Premultiplied(const QImage& image, int x, int y)
{
    const QRgb p = image.pixel(x, y);
    const double alpha = image.hasAlphaChannel() ? qAlpha(p) : 255;
    return {alpha, qRed(p) * alpha / 255, qGreen(p) * alpha / 255, qBlue(p) * alpha / 255};
}

// For each device pixel along one side, the bitmap pixels shown on it.
std::vector<std::vector<int>> Boxes(int source, int drawn)
{
    std::vector<std::vector<int>> boxes(static_cast<size_t>(drawn));
    for (int i = 0; i < source; ++i) {
        // The right edge (i + 1) * drawn / source lies in (t, t + 1].
        const qint64 t = (qint64(i + 1) * drawn + source - 1) / source - 1;
        boxes[size_t(t)].push_back(i);
    }
    for (int t = 0; t < drawn; ++t)
        if (boxes[size_t(t)].empty())
            boxes[size_t(t)].push_back(int(std::floor((t + 0.0) * source / drawn)));
    return boxes;
}

QRgb Expected(const QImage& image, const std::vector<int>& xs, const std::vector<int>& ys)
{
    double sum[4] = {};
    for (int y : ys)
        for (int x : xs) {
            const std::vector<double> p = Premultiplied(image, x, y);
            for (int c = 0; c < 4; ++c)
                sum[c] += std::lround(p[size_t(c)]);
        }
    const double n = double(xs.size() * ys.size());
    const auto mean = [&](int c) { return int(std::floor(sum[c] / n + 0.5)); };
    return qRgba(mean(1), mean(2), mean(3), mean(0));
}

} // namespace

TEST(BoxView, EveryDevicePixelShowsTheMeanOfItsBox)
{
    const QImage colour = RandomColour(37, 23, 3, false);
    const QImage seeThrough = RandomColour(29, 31, 4, true);
    const QImage palette = Palette(41, 19, {qRgb(250, 0, 0), qRgb(0, 128, 255), qRgb(9, 9, 9), qRgb(255, 255, 255)},
                                   [](int x, int y) { return (x * 7 + y * 3) % 4; });
    const struct {
        const char* name;
        const QImage* picture;
        QSize drawn;
        QRect area; // empty: the whole drawn area
    } table[] = {
        {"same size", &colour, {37, 23}, {}},
        {"enlarged, whole blocks", &colour, {74, 46}, {}},
        {"enlarged, uneven blocks", &colour, {50, 40}, {}},
        {"reduced, uneven boxes", &colour, {16, 9}, {}},
        {"reduced to one pixel", &colour, {1, 1}, {}},
        {"a part of a reduced view", &colour, {20, 12}, {5, 3, 9, 6}},
        {"a part of an enlarged view", &colour, {90, 70}, {31, 44, 40, 20}},
        {"see-through, reduced", &seeThrough, {11, 13}, {}},
        {"see-through, enlarged", &seeThrough, {45, 47}, {}},
        {"palette, reduced", &palette, {13, 7}, {}},
        {"palette, enlarged", &palette, {60, 25}, {}},
    };
    for (const auto& row : table) {
        SCOPED_TRACE(row.name);
        TBitmap bitmap;
        bitmap.SetImage(*row.picture);
        const QImage& source = bitmap.Image();
        const QRect area = row.area.isEmpty() ? QRect(QPoint(), row.drawn) : row.area;
        const QPoint origin = area.topLeft() - QPoint(2, 1);
        QImage view(area.size() + QSize(2, 1),
                    source.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32);
        view.fill(qRgb(1, 2, 3));
        const QRgb untouched = reinterpret_cast<const QRgb*>(view.constScanLine(0))[0];
        DrawBoxView(bitmap, row.drawn, area, view, origin);
        const auto columns = Boxes(source.width(), row.drawn.width());
        const auto rows = Boxes(source.height(), row.drawn.height());
        int wrong = 0;
        for (int y = area.top(); y <= area.bottom(); ++y)
            for (int x = area.left(); x <= area.right(); ++x) {
                const QRgb shown = reinterpret_cast<const QRgb*>(view.constScanLine(y - origin.y()))[x - origin.x()];
                const QRgb expected = Expected(source, columns[size_t(x)], rows[size_t(y)]);
                if (shown != expected && ++wrong <= 3)
                    ADD_FAILURE() << "device pixel " << x << "," << y << ": " << std::hex << shown << " not "
                                  << expected;
            }
        EXPECT_EQ(wrong, 0);
        // Nothing drawn outside the area.
        EXPECT_EQ(reinterpret_cast<const QRgb*>(view.constScanLine(0))[0], untouched);
    }
}

// The probe's inverse: the first bitmap pixel of a device pixel's box, also
// for device pixels before the drawn area.
TEST(BoxView, FirstShownPixelIsTheFirstOfItsBox)
{
    for (const auto& [source, drawn] : {std::pair{37, 74}, {37, 50}, {37, 16}, {200, 3}, {5, 5}}) {
        const auto boxes = Boxes(source, drawn);
        for (int t = 0; t < drawn; ++t)
            EXPECT_EQ(FirstShownPixel(t, source, drawn), boxes[size_t(t)].front()) << source << "→" << drawn;
        EXPECT_LT(FirstShownPixel(-1, source, drawn), 0) << source << "→" << drawn;
        EXPECT_GE(FirstShownPixel(drawn, source, drawn), source) << source << "→" << drawn;
    }
}
