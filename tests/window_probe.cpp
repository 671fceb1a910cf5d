// The pixel probe, through real mouse moves over the image control: the
// position and value of the bitmap pixel drawn under the pointer, at every
// zoom, and nothing redrawn but the texts.
#include "support/TestPictures.h"
#include "support/WindowFixture.h"

#include <QEvent>
#include <QBackingStore>
#include <QSet>
#include <QProcess>
#include <QWindow>

#include <algorithm>
#include <cmath>
#include <initializer_list>

// Qt's own entry for test input: a window-system mouse event at a logical
// position, turned into device pixels and back as a platform's would be.
Q_GUI_EXPORT void qt_handleMouseEvent(QWindow* window, const QPointF& local, const QPointF& global,
                                      Qt::MouseButtons state, Qt::MouseButton button, QEvent::Type type,
                                      Qt::KeyboardModifiers mods, int timestamp);

namespace {

using namespace testpictures;

class ProbeTest : public WindowTest {
protected:
    QString X() const { return Panel("StatusPanel0"); }
    QString Y() const { return Panel("StatusPanel1"); }
    QString Value() const { return Panel("Label1"); }
};

// Real mouse moves over the control: the position of the bitmap pixel drawn
// under the pointer and its red byte, at natural size, enlarged, reduced, and
// no value where no pixel is drawn. The picture never changes.
TEST_F(ProbeTest, ReportsThePixelDrawnUnderThePointer)
{
    const QImage ramp = Grey(105, 105, [](int x, int y) { return (x + 2 * y) % 256; });
    const QImage colour = Colour(8, 8, [](int x, int) { return x == 3 ? qRgb(200, 10, 10) : qRgb(1, 2, 3); });
    const QImage flat = Grey(30, 20, 99);
    const struct {
        const QImage* picture; // nullptr: none opened
        const char* zoom;      // nullptr: natural size; "": a 105 x 105 control, not stretched
        QPoint at;
        QPoint pixel;
        const char* value;
    } table[] = {{nullptr, nullptr, {5, 6}, {5, 6}, ""},
                 {&ramp, nullptr, {0, 0}, {0, 0}, "0"},
                 {&ramp, nullptr, {17, 9}, {17, 9}, "35"},
                 {&colour, nullptr, {3, 5}, {3, 5}, "200"},
                 {&colour, nullptr, {4, 5}, {4, 5}, "1"},
                 {&ramp, "200%", {20, 20}, {10, 10}, "30"},
                 {&ramp, "200%", {21, 21}, {10, 10}, "30"},
                 {&ramp, "200%", {21, 20}, {10, 10}, "30"},
                 {&ramp, "200%", {209, 0}, {104, 0}, "104"},
                 {&ramp, "25%", {10, 5}, {40, 20}, "80"},
                 {&flat, "", {3, 3}, {3, 3}, "99"},
                 {&flat, "", {30, 3}, {30, 3}, ""},
                 {&flat, "", {3, 20}, {3, 20}, ""},
                 {&flat, "", {104, 104}, {104, 104}, ""}};
    for (const auto& row : table) {
        SCOPED_TRACE(QStringLiteral("zoom %1 at %2, %3").arg(QString::fromLatin1(row.zoom ? row.zoom : "none"))
                         .arg(row.at.x()).arg(row.at.y()).toStdString());
        if (row.picture)
            OpenPicture(*row.picture);
        if (row.zoom && *row.zoom) {
            Zoom(row.zoom);
        } else if (row.zoom) {
            Image()->SetAutoSize(false);
            Image()->SetStretch(false);
            Image()->resize(105, 105);
        }
        const QByteArray before = Bytes(*Bitmap());
        const qint64 key = Bitmap()->ChangeKey();
        MoveTo(row.at.x(), row.at.y());
        EXPECT_EQ(X(), QStringLiteral("X=%1").arg(row.pixel.x()));
        EXPECT_EQ(Y(), QStringLiteral("Y=%1").arg(row.pixel.y()));
        EXPECT_EQ(Value(), QString::fromLatin1(row.value));
        EXPECT_EQ(Bytes(*Bitmap()), before);
        EXPECT_EQ(Bitmap()->ChangeKey(), key);
    }
    EXPECT_TRUE(messages.isEmpty());
}

TEST_F(ProbeTest, MovingTheMouseRedrawsOnlyTheTexts)
{
    OpenPicture(RandomGrey(300, 300, 3));
    Zoom("200%");
    QCoreApplication::processEvents();
    PaintRecorder image(Image()), label(Find<QLabel>("Label1"));
    for (int i = 0; i < 20; ++i) {
        MoveTo(10 + 7 * i, 20 + 5 * i);
        QCoreApplication::processEvents();
    }
    EXPECT_GT(label.paints, 0);
    EXPECT_EQ(image.paints, 0);
}

// The probe against what the window's buffer shows, at the display scale the
// process runs at (CTest runs these again under several QT_SCALE_FACTOR
// values). The picture's red and green say each pixel's column and row, so
// the buffer tells which bitmap pixel is drawn on every device pixel.
class DisplayScaleTest : public ProbeTest {
protected:
    static constexpr int kWidth = 200, kHeight = 160;
    static QImage Positions() { return Colour(kWidth, kHeight, [](int x, int y) { return qRgb(x, y, 0); }); }

    qreal Scale() const { return form->devicePixelRatioF(); }
    // The whole window as its buffer holds it, one pixel per device pixel.
    QImage Buffer() const
    {
        QCoreApplication::processEvents();
        const auto* store = form->backingStore() ? dynamic_cast<const QImage*>(form->backingStore()->paintDevice())
                                                 : nullptr;
        if (!store)
            return {};
        QImage buffer = store->convertToFormat(QImage::Format_RGB32);
        EXPECT_EQ(buffer.width(), qRound(form->width() * Scale()));
        return buffer;
    }
    // A mouse move through the window to the pointer at a device pixel of
    // it: at the pixel's corner (what a platform counting device pixels
    // gives) or at its middle.
    void MoveToDevicePixel(QPoint device, bool middle) const
    {
        const qreal offset = middle ? 0.5 : 0.0;
        const QPointF at((device.x() + offset) / Scale(), (device.y() + offset) / Scale());
        qt_handleMouseEvent(form->windowHandle(), at, form->mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                            QEvent::MouseMove, Qt::NoModifier, 0);
        QCoreApplication::processEvents();
    }
    // The window system's own pointer moved to a device pixel of the window
    // (X11 only: xdotool warps it, as a user's mouse would put it there).
    void MoveRealPointer(QPoint device) const
    {
        ASSERT_EQ(QProcess::execute(QStringLiteral("xdotool"),
                                    {QStringLiteral("mousemove"), QStringLiteral("--window"),
                                     QString::number(form->windowHandle()->winId()), QString::number(device.x()),
                                     QString::number(device.y())}),
                  0);
        QTest::qWait(30);
    }
    void ExpectExactReadings(std::initializer_list<const char*> zooms, unsigned seed) const;
    // After a move to a device pixel: the probe names the pixel the buffer
    // shows there (for a reduced view of block bitmap pixels per device
    // pixel, one of the block it shows), or gives no value where no
    // picture is shown. True when a picture pixel was read.
    bool ExpectReading(const QImage& buffer, QPoint device, int block, const char* zoom) const;
};

bool DisplayScaleTest::ExpectReading(const QImage& buffer, QPoint device, int block, const char* zoom) const
{
    const QRgb shown = buffer.pixel(device);
    const qreal scale = Scale();
    if (qBlue(shown) != 0) {
        // Not drawn on: no reading of a pixel.
        EXPECT_TRUE(Value() == QStringLiteral("none") || Value().isEmpty())
            << zoom << " at scale " << scale << ": device pixel " << device.x() << "," << device.y()
            << " shows no picture, probe says " << X().toStdString() << " " << Y().toStdString() << " "
            << Value().toStdString();
        return false;
    }
    const int x = X().mid(2).toInt(), y = Y().mid(2).toInt();
    // Enlarged views show the named pixel; reduced ones the mean of the
    // block it opens.
    const bool correct = block <= 1 ? qRed(shown) == x && qGreen(shown) == y
                                    : qRed(shown) >= x && qRed(shown) < x + block && qGreen(shown) >= y &&
                                          qGreen(shown) < y + block;
    EXPECT_TRUE(correct && Value() == QString::number(x))
        << zoom << " at scale " << scale << ": device pixel " << device.x() << "," << device.y() << " shows "
        << qRed(shown) << "," << qGreen(shown) << ", probe says " << X().toStdString() << " " << Y().toStdString()
        << " " << Value().toStdString();
    return true;
}

// At each zoom, the pointer at random device pixels over the picture: the
// probe names the pixel the buffer shows there.
void DisplayScaleTest::ExpectExactReadings(std::initializer_list<const char*> zooms, unsigned seed) const
{
    Random random(seed);
    for (const char* zoom : zooms) {
        Zoom(zoom);
        const QImage buffer = Buffer();
        const qreal scale = Scale();
        const QPointF corner = QPointF(Image()->mapTo(form.get(), QPoint())) * scale;
        const QPointF far = QPointF(Image()->mapTo(form.get(), QPoint(Image()->width(), Image()->height()))) * scale;
        // Device pixels over the picture and one beyond each edge.
        const int left = int(std::floor(corner.x())) - 1, right = int(std::ceil(far.x()));
        const int top = int(std::floor(corner.y())) - 1, bottom = int(std::ceil(far.y()));
        // Bitmap pixels per device pixel, for an averaged (reduced) view.
        const int block = int(std::ceil(kWidth / (far.x() - corner.x())));
        int readings = 0;
        for (int i = 0; i < 80; ++i) {
            QPoint device(random.Between(left, right), random.Between(top, bottom));
            if (i < 4) // the picture's corners
                device = QPoint(i % 2 ? right - 1 : left + 1, i / 2 ? bottom - 1 : top + 1);
            Find<QLabel>("Label1")->setText(QStringLiteral("none"));
            MoveToDevicePixel(device, i % 2 == 1);
            readings += ExpectReading(buffer, device, block, zoom);
        }
        EXPECT_GT(readings, 40) << zoom;
    }
}

// Every device pixel on the picture's edges and the ring just outside them,
// at several zooms: the probe names the pixel the buffer shows there, and
// nothing where no picture is drawn. The edges are found in the buffer.
TEST_F(DisplayScaleTest, EveryEdgePixelProbesThePixelDrawnThere)
{
    OpenPicture(Positions());
    for (const char* zoom : {"75%", "100%", "150%"}) {
        Zoom(zoom);
        const QImage buffer = Buffer();
        // The picture's device pixels near the control (text elsewhere in
        // the window may be black too).
        const QRect control(Image()->mapTo(form.get(), QPoint()), Image()->size());
        const QRect near = QRect(QPoint(int(std::floor(control.left() * Scale())) - 2,
                                        int(std::floor(control.top() * Scale())) - 2),
                                 QPoint(int(std::ceil((control.right() + 1) * Scale())) + 1,
                                        int(std::ceil((control.bottom() + 1) * Scale())) + 1)) &
                           buffer.rect();
        QRect drawn;
        for (int y = near.top(); y <= near.bottom(); ++y)
            for (int x = near.left(); x <= near.right(); ++x)
                if (qBlue(buffer.pixel(x, y)) == 0)
                    drawn |= QRect(x, y, 1, 1);
        ASSERT_FALSE(drawn.isEmpty()) << zoom;
        const int block = int(std::ceil(qreal(kWidth) / drawn.width()));
        const QRect ring = drawn.adjusted(-1, -1, 1, 1);
        QList<QPoint> edges;
        for (int x = ring.left(); x <= ring.right(); ++x)
            for (int y : {ring.top(), drawn.top(), drawn.bottom(), ring.bottom()})
                edges << QPoint(x, y);
        for (int y = ring.top(); y <= ring.bottom(); ++y)
            for (int x : {ring.left(), drawn.left(), drawn.right(), ring.right()})
                edges << QPoint(x, y);
        // The real pointer (on X11, through xdotool) takes a while to
        // arrive: every ninth point of the ring.
        const bool real = qEnvironmentVariableIsSet("IMAGEBENCH_REAL_POINTER");
        int readings = 0, visited = 0;
        for (qsizetype i = 0; i < edges.size(); i += real ? 9 : 1, ++visited) {
            Find<QLabel>("Label1")->setText(QStringLiteral("none"));
            if (real)
                MoveRealPointer(edges[i]);
            else
                MoveToDevicePixel(edges[i], i % 2 == 1);
            readings += ExpectReading(buffer, edges[i], block, zoom);
        }
        EXPECT_GT(readings, visited / 3) << zoom;
    }
    EXPECT_TRUE(messages.isEmpty());
}

TEST_F(DisplayScaleTest, EveryZoomProbesThePixelTheBufferShowsUnderThePointer)
{
    OpenPicture(Positions());
    ExpectExactReadings({"25%", "50%", "75%", "100%", "150%", "200%"}, 7);
    EXPECT_TRUE(messages.isEmpty());
}

// A window moved to a screen of another scale redraws its view for that
// scale and probes through it (CTest runs this with two screens, at 1 and 2).
TEST_F(DisplayScaleTest, AWindowMovedToAScreenOfAnotherScaleStaysExact)
{
    OpenPicture(Positions());
    QSet<qreal> scales;
    for (QScreen* screen : QGuiApplication::screens()) {
        form->move(screen->geometry().topLeft() + QPoint(20, 20));
        QCoreApplication::processEvents();
        ASSERT_EQ(form->screen(), screen);
        scales.insert(Scale());
        ExpectExactReadings({"50%", "100%", "150%"}, 9);
    }
    if (QGuiApplication::screens().size() > 1) {
        EXPECT_GT(scales.size(), 1) << "the screens' scales differ";
    }
}

TEST_F(DisplayScaleTest, EnlargedViewsDrawWholeBlocksWithoutBlur)
{
    OpenPicture(Positions());
    for (const char* zoom : {"100%", "150%", "200%"}) {
        Zoom(zoom);
        const QImage buffer = Buffer();
        const QPoint corner = (QPointF(Image()->mapTo(form.get(), QPoint())) * Scale()).toPoint();
        const int width = qRound(Image()->width() * Scale());
        // Along a row: every device pixel one bitmap pixel, columns in
        // order, each as wide as the others or one device pixel less.
        QList<int> runs(kWidth, 0);
        for (int x = 0; x < width; ++x) {
            const QRgb shown = buffer.pixel(corner.x() + x, corner.y() + 2);
            ASSERT_EQ(qBlue(shown), 0) << zoom << " device column " << x;
            ++runs[qRed(shown)];
        }
        const auto [fewest, most] = std::minmax_element(runs.begin(), runs.end());
        EXPECT_GE(*fewest, 1) << zoom << ": a column left out";
        EXPECT_LE(*most - *fewest, 1) << zoom;
    }
}

// A view whose device size is the bitmap's shows it exactly: at scale 2 the
// 50 % view, at 1 the natural size, and at any scale a control of the
// bitmap's size divided by the scale, where that is whole.
TEST_F(DisplayScaleTest, AViewOfTheBitmapsDeviceSizeShowsItExactly)
{
    const QImage picture = RandomColour(kWidth, kHeight, 11, false);
    OpenPicture(picture);
    const auto expectExact = [&](const std::string& view) {
        const QPoint corner = (QPointF(Image()->mapTo(form.get(), QPoint())) * Scale()).toPoint();
        const QImage shown = Buffer().copy(QRect(corner, QSize(kWidth, kHeight)));
        int differ = 0;
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x)
                differ += (shown.pixel(x, y) & 0xFFFFFF) != (picture.pixel(x, y) & 0xFFFFFF);
        EXPECT_EQ(differ, 0) << view << " at scale " << Scale();
    };
    if (Scale() == 2 || Scale() == 1) {
        Zoom(Scale() == 2 ? "50%" : "100%");
        expectExact("the zoom box's view");
    }
    const qreal width = kWidth / Scale(), height = kHeight / Scale();
    if (width == std::floor(width) && height == std::floor(height)) {
        Image()->SetStretch(true);
        Image()->resize(int(width), int(height));
        expectExact("a control of the bitmap's device size");
    }
}

} // namespace
