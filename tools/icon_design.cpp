#include "icon_design.h"

#include <QPainter>
#include <QPainterPath>
#include <QPointF>
#include <QRectF>
#include <QString>

#include <cstdlib>
#include <vector>

namespace icon {
namespace {

// The colours of the pixel drawing, named by its letters.
constexpr QRgb kDark = 0xFF1B1F2A;        // .
constexpr QRgb kFrame = 0xFF6B7280;       // f
constexpr QRgb kSky = 0xFF7EC8F0;         // s
constexpr QRgb kHaze = 0xFF4A9FD8;        // S
constexpr QRgb kSun = 0xFFFFD23F;         // o
constexpr QRgb kSunRim = 0xFFF59E0B;      // O
constexpr QRgb kSlopeShade = 0xFF5B6B3A;  // m
constexpr QRgb kSlopeLight = 0xFF8FA65A;  // M
constexpr QRgb kSnow = 0xFFFFFFFF;        // w
constexpr QRgb kWater = 0xFF2E6FA8;       // l
constexpr QRgb kRipple = 0xFF9FD3F5;      // L
constexpr QRgb kGrass = 0xFF3F7D3A;       // g
constexpr QRgb kLensRim = 0xFFC0C4CC;     // h
constexpr QRgb kLens = 0xFFE8EEF5;        // H
constexpr QRgb kHandle = 0xFF7A4A22;      // k
constexpr QRgb kHandleShade = 0xFF4A2A10; // K

// The picture inside the frame; shapes marked `inPicture` are cut to it.
const QRectF kPicture(3, 3, 26, 26);

struct Shape {
    QRgb colour;
    bool inPicture;
    std::vector<QPointF> corners; // a polygon, or empty for a circle
    QPointF centre = {};
    double radius = 0;
};

Shape Box(QRgb colour, double x, double y, double w, double h, bool inPicture = false)
{
    return {colour, inPicture, {{x, y}, {x + w, y}, {x + w, y + h}, {x, y + h}}};
}
Shape Polygon(QRgb colour, std::vector<QPointF> corners, bool inPicture = true)
{
    return {colour, inPicture, std::move(corners)};
}
Shape Circle(QRgb colour, QPointF centre, double radius)
{
    return {colour, true, {}, centre, radius};
}

// A mountain: a triangle on the ground line y = 21, its right side shaded
// from x = split on, and snow down to y = snowLine. Later shapes overlap
// earlier ones, so the shading and the snow lie on the whole triangle and no
// seam of sky shows between them.
void Mountain(std::vector<Shape>& shapes, QPointF peak, double left, double right, double split, double snowLine)
{
    constexpr double ground = 21;
    shapes.push_back(Polygon(kSlopeLight, {peak, {left, ground}, {right, ground}}));
    const double rightSlope = (right - peak.x()) / (ground - peak.y());
    const double splitTop = peak.y() + (split - peak.x()) / rightSlope;
    shapes.push_back(Polygon(kSlopeShade, {{split, splitTop}, {split, ground}, {right, ground}}));
    const double leftSlope = (peak.x() - left) / (ground - peak.y());
    const double depth = snowLine - peak.y();
    shapes.push_back(Polygon(kSnow, {peak, {peak.x() - leftSlope * depth, snowLine},
                                     {peak.x() + rightSlope * depth, snowLine}}));
}

std::vector<Shape> Shapes()
{
    std::vector<Shape> shapes;
    // The frame: dark edge, grey moulding, dark inner edge.
    shapes.push_back(Box(kDark, 0, 0, 32, 32));
    shapes.push_back(Box(kFrame, 1, 1, 30, 30));
    shapes.push_back(Box(kDark, 2, 2, 28, 28));
    // The landscape: sky over haze, the sun, two mountains, grass and water.
    shapes.push_back(Box(kSky, 3, 3, 26, 9, true));
    shapes.push_back(Box(kHaze, 3, 12, 26, 9, true));
    shapes.push_back(Circle(kSunRim, {22.5, 8.5}, 3.5));
    shapes.push_back(Circle(kSun, {22.5, 8.5}, 2.6));
    Mountain(shapes, {11.5, 6.5}, 3, 20, 12, 10);
    Mountain(shapes, {20.5, 10.5}, 13, 28, 21, 14);
    shapes.push_back(Box(kGrass, 3, 21, 26, 3, true));
    shapes.push_back(Box(kWater, 3, 24, 26, 5, true));
    // Ripples: strokes one pixel wide falling to the left, five apart.
    for (double x = 6; x <= 31; x += 5)
        shapes.push_back(Polygon(kRipple, {{x, 24}, {x + 1, 24}, {x - 4, 29}, {x - 5, 29}}));
    // The magnifying glass over the shore, its handle across the frame.
    shapes.push_back(Circle(kLensRim, {23.5, 23.5}, 3.5));
    shapes.push_back(Circle(kLens, {23.5, 23.5}, 2.5));
    shapes.push_back(Polygon(kHandle, {{27, 27}, {29, 27}, {32, 30}, {32, 31}, {31, 31}}, false));
    shapes.push_back(Polygon(kHandleShade, {{28, 27}, {29, 27}, {32, 30}, {32, 31}}, false));
    return shapes;
}

QString Number(double v)
{
    return QString::number(v, 'g', 6);
}

QString Colour(QRgb c)
{
    return QStringLiteral("#%1").arg(c & 0xFFFFFF, 6, 16, QLatin1Char('0')).toUpper();
}

} // namespace

QImage Render(int size)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(double(size) / kGrid, double(size) / kGrid);
    painter.setPen(Qt::NoPen);
    for (const Shape& shape : Shapes()) {
        if (shape.inPicture)
            painter.setClipRect(kPicture);
        else
            painter.setClipping(false);
        painter.setBrush(QColor::fromRgb(shape.colour));
        if (shape.corners.empty())
            painter.drawEllipse(shape.centre, shape.radius, shape.radius);
        else
            painter.drawPolygon(shape.corners.data(), int(shape.corners.size()));
    }
    painter.end();
    return image;
}

QByteArray Svg()
{
    QString svg = QStringLiteral(
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"32\" height=\"32\" viewBox=\"0 0 32 32\">\n"
        "  <defs><clipPath id=\"picture\"><rect x=\"%1\" y=\"%2\" width=\"%3\" height=\"%4\"/></clipPath></defs>\n")
                      .arg(Number(kPicture.x()), Number(kPicture.y()), Number(kPicture.width()),
                           Number(kPicture.height()));
    for (const Shape& shape : Shapes()) {
        const QString clip = shape.inPicture ? QStringLiteral(" clip-path=\"url(#picture)\"") : QString();
        if (shape.corners.empty()) {
            svg += QStringLiteral("  <circle cx=\"%1\" cy=\"%2\" r=\"%3\" fill=\"%4\"%5/>\n")
                       .arg(Number(shape.centre.x()), Number(shape.centre.y()), Number(shape.radius),
                            Colour(shape.colour), clip);
            continue;
        }
        QString points;
        for (const QPointF& p : shape.corners)
            points += (points.isEmpty() ? QString() : QStringLiteral(" ")) + Number(p.x()) + QLatin1Char(',') +
                      Number(p.y());
        svg += QStringLiteral("  <polygon points=\"%1\" fill=\"%2\"%3/>\n").arg(points, Colour(shape.colour), clip);
    }
    svg += QStringLiteral("</svg>\n");
    return svg.toUtf8();
}

double Agreement(const QImage& pixelDrawing, int tolerance)
{
    const QImage drawing = pixelDrawing.convertToFormat(QImage::Format_ARGB32);
    if (drawing.width() != kGrid || drawing.height() != kGrid)
        return 0;
    const QImage rendered = Render(kGrid).convertToFormat(QImage::Format_ARGB32);
    int close = 0;
    for (int y = 0; y < kGrid; ++y)
        for (int x = 0; x < kGrid; ++x) {
            const QRgb a = drawing.pixel(x, y);
            const QRgb b = rendered.pixel(x, y);
            const int distance = std::abs(qRed(a) - qRed(b)) + std::abs(qGreen(a) - qGreen(b)) +
                                 std::abs(qBlue(a) - qBlue(b));
            if (distance <= tolerance)
                ++close;
        }
    return double(close) / (kGrid * kGrid);
}

} // namespace icon
