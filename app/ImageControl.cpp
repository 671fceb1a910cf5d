#include "ImageControl.h"

#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QRegion>
#include <QTransform>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

namespace {

// Division rounding toward minus infinity, for positions left of or above
// the control.
qint64 FloorDiv(qint64 a, qint64 b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }

// The source pixels [begin[i], end[i]) drawn at target pixel first + i, when
// source pixels are shown on target pixels: each target pixel starts at the
// source pixel under its left (top) edge, and an enlarged view repeats that
// one pixel, a reduced one covers all the source pixels up to the next.
void Spans(int first, int count, int source, int target, int* begin, int* end)
{
    for (int i = 0; i < count; ++i) {
        const qint64 t = qint64(first) + i;
        const int b = int(t * source / target);
        begin[i] = b;
        end[i] = std::max(b + 1, int((t + 1) * source / target));
    }
}

// Two 8-bit channels (bits 0-7 and 16-23) spread into the two halves of a
// 64-bit word.
inline std::uint64_t Spread(std::uint32_t channels)
{
    return (channels & 0xFFu) | (std::uint64_t(channels & 0xFF0000u) << 16);
}

// Adds a fetched pixel to the sums of its blue and red (lo) and green and
// alpha (hi), two channels to a word.
template <class Fetch> struct SpreadSum {
    const Fetch& fetch;
    void operator()(const std::uint8_t* line, int x, std::uint64_t& lo, std::uint64_t& hi) const
    {
        const std::uint32_t p = fetch(line, x);
        lo += Spread(p & 0x00FF00FFu);
        hi += Spread((p >> 8) & 0x00FF00FFu);
    }
};

// One row of drawn pixels (premultiplied 0xAARRGGBB) from source rows
// [y0, y1): a copy of single pixels where every span is one pixel wide,
// otherwise the average of each span's box.
template <class Fetch, class Sum>
void DrawRow(const QImage& source, const Fetch& fetch, const Sum& sum, int y0, int y1, const int* x0, const int* x1,
             int count, bool single, std::uint32_t* out)
{
    if (single && y1 - y0 == 1) {
        const std::uint8_t* line = source.constScanLine(y0);
        for (int i = 0; i < count; ++i)
            out[i] = fetch(line, x0[i]);
        return;
    }
    // Row addresses from the first one: a scan-line call per box row costs
    // more than the box's arithmetic.
    const std::uint8_t* const top = source.constScanLine(y0);
    const qsizetype stride = source.bytesPerLine();
    const std::uint64_t rows = std::uint64_t(y1 - y0);
    for (int i = 0; i < count; ++i) {
        const std::uint64_t n = rows * std::uint64_t(x1[i] - x0[i]);
        std::uint64_t a = 0, r = 0, g = 0, b = 0;
        if (n <= (1u << 24)) {
            // Two channels to a 64-bit word: 2^24 samples add up without
            // carrying from one into the other.
            std::uint64_t lo = 0, hi = 0;
            for (int y = y0; y < y1; ++y) {
                const std::uint8_t* line = top + (y - y0) * stride;
                for (int x = x0[i]; x < x1[i]; ++x)
                    sum(line, x, lo, hi);
            }
            b = lo & 0xFFFFFFFFu, r = lo >> 32, g = hi & 0xFFFFFFFFu, a = hi >> 32;
        } else {
            for (int y = y0; y < y1; ++y) {
                const std::uint8_t* line = top + (y - y0) * stride;
                for (int x = x0[i]; x < x1[i]; ++x) {
                    const std::uint32_t p = fetch(line, x);
                    a += p >> 24;
                    r += (p >> 16) & 0xFF;
                    g += (p >> 8) & 0xFF;
                    b += p & 0xFF;
                }
            }
        }
        const auto mean = [n](std::uint64_t sum) { return std::uint32_t((sum + n / 2) / n); };
        out[i] = (mean(a) << 24) | (mean(r) << 16) | (mean(g) << 8) | mean(b);
    }
}

// Draws the control pixels of area into view, whose top-left pixel is the
// control pixel origin.
template <class Fetch, class Sum>
void DrawRows(const QImage& source, const Fetch& fetch, const Sum& sum, const QRect& area, const QRect& drawn,
              QImage& view, QPoint origin)
{
    const int w = area.width();
    std::vector<int> x0(static_cast<size_t>(w)), x1(static_cast<size_t>(w));
    Spans(area.left() - drawn.left(), w, source.width(), drawn.width(), x0.data(), x1.data());
    bool single = true;
    for (int i = 0; i < w; ++i)
        single = single && x1[size_t(i)] - x0[size_t(i)] == 1;
    for (int row = 0; row < area.height(); ++row) {
        int y0 = 0, y1 = 0;
        Spans(area.top() - drawn.top() + row, 1, source.height(), drawn.height(), &y0, &y1);
        DrawRow(source, fetch, sum, y0, y1, x0.data(), x1.data(), w, single,
                reinterpret_cast<std::uint32_t*>(view.scanLine(area.top() - origin.y() + row)) +
                    (area.left() - origin.x()));
    }
}

// Draws with a fetch of one premultiplied pixel and the sums made from it.
template <class Fetch>
void DrawRows(const QImage& source, const Fetch& fetch, const QRect& area, const QRect& drawn, QImage& view,
              QPoint origin)
{
    DrawRows(source, fetch, SpreadSum<Fetch>{fetch}, area, drawn, view, origin);
}

// The device size of a logical size: Qt gives a control of width w at scale s
// the round(w * s) device pixels from the one nearest its corner.
QSize DeviceSize(QSize logical, qreal scale)
{
    return QSize(qRound(logical.width() * scale), qRound(logical.height() * scale));
}

// The device pixels a logical rectangle touches.
QRect Outward(const QRect& logical, qreal scale)
{
    if (logical.isEmpty())
        return {};
    const int left = int(std::floor(logical.left() * scale));
    const int top = int(std::floor(logical.top() * scale));
    return QRect(QPoint(left, top), QPoint(int(std::ceil((logical.right() + 1) * scale)) - 1,
                                           int(std::ceil((logical.bottom() + 1) * scale)) - 1));
}

} // namespace

TImage::TImage(QWidget* parent) : QWidget(parent)
{
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent, false);
    picture_.OnChange = [this] { PictureChanged(); };
}

void TImage::SetAutoSize(bool on)
{
    autoSize_ = on;
    if (on && !picture_.Bitmap()->Empty())
        resize(picture_.Bitmap()->Width(), picture_.Bitmap()->Height());
}

void TImage::SetStretch(bool on)
{
    if (stretch_ == on)
        return;
    stretch_ = on;
    update();
}

QPoint TImage::DeviceOrigin(qreal scale) const
{
    return (QPointF(mapTo(window(), QPoint())) * scale).toPoint();
}

QPoint TImage::DevicePixel(QPointF at) const
{
    // The pointer's device position in the window, taken down to a whole
    // device pixel. A position the platform got in device pixels comes back
    // from its logical value a hair short of the whole number: the margin
    // keeps it on that pixel.
    const qreal scale = devicePixelRatioF();
    const QPointF device = (QPointF(mapTo(window(), QPoint())) + at) * scale;
    constexpr qreal margin = 1.0 / 4096;
    return QPoint(int(std::floor(device.x() + margin)), int(std::floor(device.y() + margin))) -
           DeviceOrigin(scale);
}

bool TImage::Covers(QPointF at) const
{
    if (!isVisible() || !QRect(QPoint(), DeviceSize(size(), devicePixelRatioF())).contains(DevicePixel(at)))
        return false;
    const QPoint pixel(std::clamp(int(std::floor(at.x())), 0, width() - 1),
                       std::clamp(int(std::floor(at.y())), 0, height() - 1));
    return visibleRegion().contains(pixel);
}

QPoint TImage::BitmapPixel(QPoint device) const
{
    const TBitmap& bitmap = *picture_.Bitmap();
    const qreal scale = devicePixelRatioF();
    const QSize drawn = DrawnDeviceSize(scale);
    if (bitmap.Empty() || drawn.isEmpty())
        // Nothing drawn: the control pixel under the device pixel.
        return QPoint(int(std::floor(device.x() / scale)), int(std::floor(device.y() / scale)));
    return QPoint(int(FloorDiv(qint64(device.x()) * bitmap.Width(), drawn.width())),
                  int(FloorDiv(qint64(device.y()) * bitmap.Height(), drawn.height())));
}

QPoint TImage::BitmapPoint(QPointF at) const { return BitmapPixel(DevicePixel(at)); }

QPoint TImage::PixelUnderPointer(int X, int Y) const
{
    if (reporting_ && int(std::floor(pointer_.x())) == X && int(std::floor(pointer_.y())) == Y)
        return BitmapPoint(pointer_);
    return BitmapPoint(QPointF(X, Y));
}

void TImage::PictureChanged()
{
    viewValid_ = false;
    if (autoSize_)
        resize(picture_.Bitmap()->Width(), picture_.Bitmap()->Height());
    update();
}

QRect TImage::DrawnRect() const
{
    const TBitmap& bitmap = *picture_.Bitmap();
    return stretch_ ? rect() : QRect(0, 0, bitmap.Width(), bitmap.Height());
}

QSize TImage::DrawnDeviceSize(qreal scale) const { return DeviceSize(DrawnRect().size(), scale); }

void TImage::Render(const QRect& area, qreal scale)
{
    const TBitmap& bitmap = *picture_.Bitmap();
    viewKey_ = bitmap.ChangeKey();
    viewSize_ = size();
    viewStretch_ = stretch_;
    viewScale_ = scale;
    deviceSize_ = DrawnDeviceSize(scale);
    viewValid_ = true;
    view_ = QImage(area.size(),
                   bitmap.Image().hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32);
    viewRect_ = view_.isNull() ? QRect() : area;
    if (!view_.isNull())
        Draw(area, view_, area.topLeft());
}

void TImage::Extend(const QRect& area)
{
    // Scrolling brings a strip into view: the pixels still in sight come
    // from the view as it is, only the strip is drawn.
    QImage next(area.size(), view_.format());
    if (next.isNull()) {
        Render(area, viewScale_);
        return;
    }
    const QRect kept = viewRect_ & area;
    const qsizetype keptBytes = qsizetype(kept.width()) * 4;
    for (int y = kept.top(); y <= kept.bottom() && keptBytes > 0; ++y)
        std::memcpy(next.scanLine(y - area.top()) + (kept.left() - area.left()) * 4,
                    view_.constScanLine(y - viewRect_.top()) + (kept.left() - viewRect_.left()) * 4,
                    size_t(keptBytes));
    for (const QRect& part : QRegion(area) - QRegion(kept))
        Draw(part, next, area.topLeft());
    view_ = std::move(next);
    viewRect_ = area;
}

void TImage::Draw(const QRect& area, QImage& view, QPoint origin) const
{
    // Read through the const bitmap: a non-const row access would change
    // the very key the view is checked against.
    const TBitmap& bitmap = *picture_.Bitmap();
    const QImage& source = bitmap.Image();
    const QRect drawn(QPoint(), deviceSize_);
    switch (source.format()) {
    case QImage::Format_Indexed8: {
        // The palette premultiplied, and spread for the sums of a reduced
        // view: a sample is then two look-ups and two additions.
        std::uint32_t palette[256];
        std::uint64_t paletteLo[256], paletteHi[256];
        for (int i = 0; i < 256; ++i) {
            palette[i] = qPremultiply(bitmap.PaletteEntry(i));
            if (!source.hasAlphaChannel())
                palette[i] |= 0xFF000000u;
            paletteLo[i] = Spread(palette[i] & 0x00FF00FFu);
            paletteHi[i] = Spread((palette[i] >> 8) & 0x00FF00FFu);
        }
        DrawRows(
            source, [&palette](const std::uint8_t* line, int x) { return palette[line[x]]; },
            [&paletteLo, &paletteHi](const std::uint8_t* line, int x, std::uint64_t& lo, std::uint64_t& hi) {
                lo += paletteLo[line[x]];
                hi += paletteHi[line[x]];
            },
            area, drawn, view, origin);
        break;
    }
    case QImage::Format_ARGB32:
        DrawRows(
            source,
            [](const std::uint8_t* line, int x) {
                return std::uint32_t(qPremultiply(reinterpret_cast<const std::uint32_t*>(line)[x]));
            },
            area, drawn, view, origin);
        break;
    default:
        // Byte commands may leave any value in the unused fourth byte.
        DrawRows(
            source,
            [](const std::uint8_t* line, int x) {
                return reinterpret_cast<const std::uint32_t*>(line)[x] | 0xFF000000u;
            },
            area, drawn, view, origin);
        break;
    }
}

void TImage::paintEvent(QPaintEvent* event)
{
    const TBitmap& bitmap = *std::as_const(picture_).Bitmap();
    if (bitmap.Empty()) {
        view_ = QImage();
        viewValid_ = false;
        return;
    }
    QPainter painter(this);
    // The scale and the control's place on the device as this paint sees
    // them: the window's, or those of whatever the control is rendered into.
    const QTransform toDevice = painter.deviceTransform();
    const qreal scale = toDevice.m11();
    if (scale <= 0)
        return;
    const QRect drawn = QRect(QPoint(), DrawnDeviceSize(scale)) & QRect(QPoint(), DeviceSize(size(), scale));
    const QRect wanted = Outward(event->rect(), scale) & drawn;
    if (wanted.isEmpty())
        return;
    const QRect visible = (Outward(visibleRegion().boundingRect(), scale) | wanted) & drawn;
    if (!viewValid_ || viewKey_ != bitmap.ChangeKey() || viewSize_ != size() || viewStretch_ != stretch_ ||
        viewScale_ != scale || viewRect_.isEmpty())
        Render(visible, scale);
    else if (!viewRect_.contains(wanted))
        Extend(visible);
    // One view pixel on one device pixel: the painter is set to device
    // pixels, and the view starts on the device pixel nearest the control's
    // corner, where Qt starts the control's own pixels.
    const QPointF corner = toDevice.map(QPointF(0, 0));
    painter.setWorldTransform(QTransform::fromScale(1 / scale, 1 / scale));
    painter.drawImage(QPointF(corner.toPoint() + viewRect_.topLeft()) - corner, view_);
}

void TImage::mouseMoveEvent(QMouseEvent* event)
{
    // Qt gives a control the pointer's position rounded to a whole logical
    // pixel; its position in the window keeps the fraction a scaled display
    // has. (A move sent to the control itself may name no window position:
    // then its own position stands.)
    QPointF at = event->position();
    const QPointF inWindow = event->scenePosition() - QPointF(mapTo(window(), QPoint()));
    if (std::abs(inWindow.x() - at.x()) < 1 && std::abs(inWindow.y() - at.y()) < 1)
        at = inWindow;
    // The handler asks for the pixel under the pointer while the move is
    // reported: it gets the exact position, not only the whole control
    // pixel the move names.
    struct Reporting {
        TImage& image;
        Reporting(TImage& on, QPointF position) : image(on) { image.pointer_ = position, image.reporting_ = true; }
        ~Reporting() { image.reporting_ = false; }
    } reporting(*this, at);
    emit MouseMove(event->modifiers(), int(std::floor(at.x())), int(std::floor(at.y())));
}
