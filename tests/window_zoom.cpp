// The zoom box: every text of the table shows the size it names, any other
// text shows natural size and puts "100%" back; the view is drawn from the
// picture's current pixels at every size, reduced views as the rounded mean
// of each box.
#include "image/operations/Operations.h"
#include "support/TestPictures.h"
#include "support/WindowFixture.h"

#include <algorithm>
#include <utility>

namespace {

using namespace testpictures;

class ZoomTest : public WindowTest {
protected:
    QString BoxText() const { return Find<QComboBox>("ComboBox1")->currentText(); }

    // How many pixels the screen shows of the control differ from what they
    // stand for: control pixel c covers bitmap pixels [c * S / s, max(that + 1,
    // (c + 1) * S / s)) on each axis (one pixel on an enlarged view) and shows
    // the rounded mean of that box, channel by channel.
    int WrongPixels() const
    {
        const QImage drawn = OnScreen(Image()), picture = Bitmap()->Image();
        EXPECT_EQ(drawn.size(), Image()->size());
        const auto box = [](int c, int source, int target) {
            const int begin = int(qint64(c) * source / target);
            return std::pair(begin, std::max(begin + 1, int(qint64(c + 1) * source / target)));
        };
        int wrong = 0;
        for (int cy = 0; cy < drawn.height(); ++cy)
            for (int cx = 0; cx < drawn.width(); ++cx) {
                const auto [x0, x1] = box(cx, picture.width(), drawn.width());
                const auto [y0, y1] = box(cy, picture.height(), drawn.height());
                qint64 sum[3] = {};
                for (int y = y0; y < y1; ++y)
                    for (int x = x0; x < x1; ++x) {
                        const QRgb p = picture.pixel(x, y);
                        sum[0] += qRed(p), sum[1] += qGreen(p), sum[2] += qBlue(p);
                    }
                const qint64 n = qint64(x1 - x0) * (y1 - y0);
                const auto mean = [n](qint64 sum) { return int((sum + n / 2) / n); };
                const QRgb expected = qRgb(mean(sum[0]), mean(sum[1]), mean(sum[2]));
                wrong += (drawn.pixel(cx, cy) & 0xFFFFFF) != (expected & 0xFFFFFF);
            }
        return wrong;
    }
};

// A step at a time: an opened picture shows at natural size, drawn from its
// pixels, where the control was; each text of the table shows the size it
// names on each axis, from the natural size (never compounding), growing from
// the same corner; any other text shows natural size and puts "100%" back;
// an open after a zoom keeps the box; with no picture the control stays empty.
// Leaving the box by Tab or a click elsewhere applies its text as Enter does.
TEST_F(ZoomTest, EachTextShowsTheSizeItNamesAndOpeningShowsNaturalSize)
{
    const struct {
        QSize open;       // a picture of this size opened first, unless empty
        const char* text; // then typed into the box, if any
        QSize size;       // the view after
        const char* box;  // the box after
        Leave leave = Leave::Enter;
    } steps[] = {
        {{}, "200%", {0, 0}, "200%"},     {{105, 105}, nullptr, {105, 105}, "200%"},
        {{}, "25%", {26, 26}, "25%"},     {{}, "50%", {52, 52}, "50%"},     {{}, "75%", {78, 78}, "75%"},
        {{}, "100%", {105, 105}, "100%"}, {{}, "150%", {157, 157}, "150%"}, {{}, "200%", {210, 210}, "200%"},
        {{}, "30%", {105, 105}, "100%"},  {{}, "200%", {210, 210}, "200%"}, {{}, "100", {105, 105}, "100%"},
        {{}, "200%", {210, 210}, "200%"}, {{}, "abc", {105, 105}, "100%"},  {{}, "200%", {210, 210}, "200%"},
        {{}, "200 %", {105, 105}, "100%"}, {{}, "200%", {210, 210}, "200%"}, {{}, "50%%", {105, 105}, "100%"},
        {{101, 7}, "75%", {75, 5}, "75%"}, {{}, "150%", {151, 10}, "150%"},
        {{40, 30}, nullptr, {40, 30}, "150%"}, {{}, "25%", {10, 7}, "25%"}, {{}, "150%", {60, 45}, "150%"},
        {{}, "100%", {40, 30}, "100%"}, {{}, "200%", {80, 60}, "200%", Leave::Tab},
        {{}, "abc", {40, 30}, "100%", Leave::Elsewhere},
    };
    const QPoint at = Image()->pos();
    std::uint32_t seed = 5;
    for (const auto& step : steps) {
        SCOPED_TRACE(std::string("open ") + std::to_string(step.open.width()) + ", zoom " +
                     (step.text ? step.text : "none"));
        if (!step.open.isEmpty()) {
            const QImage picture = RandomColour(step.open.width(), step.open.height(), ++seed, false);
            OpenPicture(picture, QStringLiteral("%1.png").arg(seed));
            EXPECT_EQ(Bitmap()->Image(), picture);
            EXPECT_TRUE(Image()->AutoSize());
        }
        if (step.text) {
            Zoom(QString::fromLatin1(step.text), step.leave);
            EXPECT_TRUE(Image()->Stretch());
            EXPECT_FALSE(Image()->AutoSize());
        }
        EXPECT_EQ(Image()->size(), step.size);
        EXPECT_EQ(BoxText(), QString::fromLatin1(step.box));
        EXPECT_EQ(Image()->pos(), at);
        if (!step.size.isEmpty()) {
            EXPECT_EQ(WrongPixels(), 0);
        }
    }
    EXPECT_TRUE(messages.isEmpty());
}

// Reduced views of any size; white boxes of 2^24 samples fill the sums to
// their last bit and larger ones take the long way: neither may carry into
// another channel.
TEST_F(ZoomTest, ReducedViewsShowTheRoundedMeanOfEveryBoxExactly)
{
    Random random(40);
    QList<QRgb> colours;
    for (int i = 0; i < 256; ++i)
        colours << (0xFF000000u | (random() >> 8));
    const QList<QSize> sizes = {QSize(10, 7), QSize(18, 29), QSize(36, 3), QSize(1, 1)};
    const struct {
        QImage picture;
        QList<QSize> sizes;
    } table[] = {{RandomColour(37, 29, 13, false), sizes},
                 {Palette(37, 29, colours, [&random](int, int) { return int(random() >> 24); }), sizes},
                 {Grey(4096, 4096, 255), {QSize(1, 1)}},
                 {Grey(8192, 4096, 255), {QSize(1, 1)}}};
    for (const auto& [picture, sizes] : table)
        for (const QSize size : sizes) {
            Bitmap()->SetImage(picture);
            Image()->SetAutoSize(false);
            Image()->SetStretch(true);
            Image()->resize(size);
            EXPECT_EQ(WrongPixels(), 0) << picture.format() << ", " << picture.width() << " wide at " << size.width()
                                        << " x " << size.height();
        }
}

// Each picture command from its menu item changes the picture exactly as its
// operation changes a copy (the values are the unit tests' business), on every
// layout, and the view at every size shows the result. With no picture
// nothing changes and nothing fails.
TEST_F(ZoomTest, TheViewShowsWhatEveryCommandMade)
{
    const QImage pictures[] = {
        RandomGrey(96, 80, 12), RandomColour(96, 80, 13, false),
        Palette(96, 80, {qRgb(200, 10, 30), qRgb(5, 90, 250), qRgb(60, 60, 0)},
                [](int x, int y) { return (x + 2 * y) % 3; })};
    for (const Command& command : kCommands)
        Trigger(command.action);
    EXPECT_TRUE(Bitmap()->Empty());
    for (const Command& command : kCommands) {
        for (const QImage& picture : pictures)
            for (const char* zoom : {"25%", "100%", "200%"}) {
                OpenPicture(picture);
                Zoom(QString::fromLatin1(zoom));
                TBitmap expected;
                expected.Assign(*Bitmap());
                command.operation(expected);
                Trigger(command.action);
                ASSERT_EQ(Bitmap()->Image(), expected.Image()) << command.action << " at " << zoom;
                EXPECT_EQ(WrongPixels(), 0) << command.action << " at " << zoom;
            }
    }
    // Bytes written straight into the rows show at the window's repaint.
    std::uint8_t* row = Bitmap()->ScanLine(40);
    for (int x = 0; x < 96; ++x)
        row[x] = std::uint8_t(x);
    form->Repaint();
    EXPECT_EQ(WrongPixels(), 0);
    EXPECT_TRUE(messages.isEmpty());
}

TEST_F(ZoomTest, AlphaPicturesAreDrawnOverTheWindow)
{
    OpenPicture(Colour(10, 10, [](int x, int) { return x < 5 ? 0xFF204060u : 0x00FFFFFFu; }, true));
    const QImage drawn = Image()->grab().toImage();
    EXPECT_EQ(drawn.pixel(2, 2), qRgb(0x20, 0x40, 0x60));
    // The transparent half shows the window's background, not the colour.
    EXPECT_NE(drawn.pixel(7, 7), qRgb(0xFF, 0xFF, 0xFF));
}

} // namespace
