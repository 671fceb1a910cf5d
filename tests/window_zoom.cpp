// The zoom box: every text of the table shows the size it names, any other
// text shows natural size and puts "100%" back; the view is drawn from the
// picture's current pixels at every size.
#include "support/TestPictures.h"
#include "support/WindowFixture.h"

#include "image/Operations.h"

#include <QComboBox>
#include <QLineEdit>

#include <algorithm>
#include <cstdlib>

namespace {

using namespace testpictures;

class ZoomTest : public WindowTest {
protected:
    // Types the text into the zoom box and confirms it with Enter, as a user does.
    void Zoom(const QString& text) const
    {
        QComboBox* box = Find<QComboBox>("ComboBox1");
        box->lineEdit()->selectAll();
        QTest::keyClicks(box->lineEdit(), text);
        QTest::keyClick(box->lineEdit(), Qt::Key_Return);
    }
    QString BoxText() const { return Find<QComboBox>("ComboBox1")->currentText(); }

    // Every pixel the screen shows of the control is the bitmap pixel it
    // stands for, or on a reduced view (by a whole factor here) the mean of
    // its block.
    void ExpectDrawnIsBitmap() const
    {
        const QImage drawn = OnScreen(Image());
        ASSERT_EQ(drawn.size(), Image()->size());
        const int block = std::max(1, Bitmap()->Width() / Image()->width());
        int wrong = 0;
        for (int y = 0; y < drawn.height(); ++y)
            for (int x = 0; x < drawn.width(); ++x) {
                const QPoint at = Image()->BitmapPoint(QPoint(x, y));
                int sum[3] = {};
                for (int k = 0; k < block * block; ++k) {
                    const TColor c = Image()->Canvas()->Pixels(at.x() + k % block, at.y() + k / block);
                    sum[0] += GetRValue(c), sum[1] += GetGValue(c), sum[2] += GetBValue(c);
                }
                const QRgb shown = drawn.pixel(x, y);
                const int n = block * block;
                if (std::abs(qRed(shown) - sum[0] / n) > 1 || std::abs(qGreen(shown) - sum[1] / n) > 1 ||
                    std::abs(qBlue(shown) - sum[2] / n) > 1)
                    ++wrong;
            }
        EXPECT_EQ(wrong, 0);
    }
};

TEST_F(ZoomTest, EveryTextOfTheTableShowsTheSizeItNames)
{
    OpenPicture(RandomGrey(105, 105, 5));
    const struct {
        const char* text;
        int side;
    } table[] = {{"25%", 26}, {"50%", 52}, {"75%", 78}, {"100%", 105}, {"150%", 157}, {"200%", 210}};
    const QPoint at = Image()->pos();
    for (const auto& row : table) {
        Zoom(QString::fromLatin1(row.text));
        EXPECT_EQ(Image()->size(), QSize(row.side, row.side)) << row.text;
        EXPECT_EQ(BoxText(), QString::fromLatin1(row.text));
        EXPECT_EQ(Image()->pos(), at) << "the view grows from its top-left corner";
        EXPECT_TRUE(Image()->Stretch());
        EXPECT_FALSE(Image()->AutoSize());
    }
    EXPECT_EQ(Bitmap()->Width(), 105);
    EXPECT_EQ(Bitmap()->Height(), 105);
    EXPECT_TRUE(messages.isEmpty());
}

TEST_F(ZoomTest, WidthAndHeightScaleSeparately)
{
    OpenPicture(RandomGrey(101, 7, 6));
    Zoom(QStringLiteral("75%"));
    EXPECT_EQ(Image()->size(), QSize(75, 5));
    Zoom(QStringLiteral("150%"));
    EXPECT_EQ(Image()->size(), QSize(151, 10));
}

TEST_F(ZoomTest, OtherTextsShowNaturalSizeAndRestoreTheBox)
{
    OpenPicture(RandomGrey(105, 105, 7));
    for (const char* text : {"30%", "100", "abc", "200 %", "50%%"}) {
        Zoom(QStringLiteral("200%"));
        ASSERT_EQ(Image()->size(), QSize(210, 210));
        Zoom(QString::fromLatin1(text));
        EXPECT_EQ(Image()->size(), QSize(105, 105)) << text;
        EXPECT_EQ(BoxText(), QStringLiteral("100%")) << text;
        EXPECT_TRUE(Image()->Stretch()) << text;
        EXPECT_FALSE(Image()->AutoSize()) << text;
    }
}

TEST_F(ZoomTest, HundredAfterAnotherZoomIsNaturalSize)
{
    OpenPicture(RandomGrey(40, 30, 8));
    Zoom(QStringLiteral("25%"));
    Zoom(QStringLiteral("150%"));
    EXPECT_EQ(Image()->size(), QSize(60, 45)); // never compounds
    Zoom(QStringLiteral("100%"));
    EXPECT_EQ(Image()->size(), QSize(40, 30));
    EXPECT_TRUE(Image()->Stretch());
    EXPECT_FALSE(Image()->AutoSize());
}

TEST_F(ZoomTest, NoPictureGivesAnEmptyControl)
{
    Zoom(QStringLiteral("200%"));
    EXPECT_EQ(Image()->size(), QSize(0, 0));
    EXPECT_TRUE(messages.isEmpty());
}

TEST_F(ZoomTest, OpeningAfterAZoomShowsNaturalSizeAndKeepsTheBox)
{
    OpenPicture(RandomGrey(105, 105, 9));
    Zoom(QStringLiteral("50%"));
    OpenPicture(RandomGrey(64, 48, 10), QStringLiteral("second.png"));
    EXPECT_EQ(Image()->size(), QSize(64, 48));
    EXPECT_EQ(BoxText(), QStringLiteral("50%"));
    ExpectDrawnIsBitmap();
}

TEST_F(ZoomTest, EnlargedViewsDrawSharpBlocks)
{
    OpenPicture(RandomColour(20, 15, 11, false));
    Zoom(QStringLiteral("200%"));
    ExpectDrawnIsBitmap();
    const QImage drawn = Image()->grab().toImage();
    for (int y = 0; y < 15; ++y)
        for (int x = 0; x < 20; ++x) {
            const TColor pixel = Image()->Canvas()->Pixels(x, y);
            for (int k = 0; k < 4; ++k)
                ASSERT_EQ(ColorFromRgb(drawn.pixel(2 * x + k % 2, 2 * y + k / 2)), pixel) << x << "," << y;
        }
}

TEST_F(ZoomTest, ReducedViewsAverageTheirBlocks)
{
    // 2 x 2 blocks of levels 0, 100, 100, 200 average to 100.
    OpenPicture(Grey(64, 64, [](int x, int y) { return 100 * (x % 2 + y % 2); }));
    Zoom(QStringLiteral("50%"));
    const QImage drawn = Image()->grab().toImage();
    ASSERT_EQ(drawn.size(), QSize(32, 32));
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x)
            ASSERT_EQ(drawn.pixel(x, y), qRgb(100, 100, 100)) << x << "," << y;
}

TEST_F(ZoomTest, ReducedViewsShowTheRoundedMeanOfEveryBoxExactly)
{
    // Control pixel c covers source pixels [c * S / s, max(that + 1,
    // (c + 1) * S / s)) on each axis; its colour is the rounded mean of the
    // box, channel by channel.
    const auto box = [](int c, int source, int target) {
        const int begin = int(qint64(c) * source / target);
        return std::pair(begin, std::max(begin + 1, int(qint64(c + 1) * source / target)));
    };
    std::uint32_t seed = 40;
    const auto random = [&seed] { return seed = seed * 1664525u + 1013904223u; };
    QList<QRgb> colours;
    for (int i = 0; i < 256; ++i)
        colours << (0xFF000000u | (random() >> 8));
    const QImage pictures[] = {RandomColour(37, 29, 13, false),
                               Palette(37, 29, colours, [&random](int, int) { return int(random() >> 24); })};
    for (const QImage& picture : pictures)
        for (const QSize size : {QSize(10, 7), QSize(18, 29), QSize(36, 3), QSize(1, 1)}) {
            Bitmap()->SetImage(picture);
            Image()->SetAutoSize(false);
            Image()->SetStretch(true);
            Image()->resize(size);
            const QImage drawn = OnScreen(Image());
            ASSERT_EQ(drawn.size(), size);
            int wrong = 0;
            for (int cy = 0; cy < size.height(); ++cy)
                for (int cx = 0; cx < size.width(); ++cx) {
                    const auto [x0, x1] = box(cx, picture.width(), size.width());
                    const auto [y0, y1] = box(cy, picture.height(), size.height());
                    int sum[3] = {};
                    for (int y = y0; y < y1; ++y)
                        for (int x = x0; x < x1; ++x) {
                            const QRgb p = picture.pixel(x, y);
                            sum[0] += qRed(p), sum[1] += qGreen(p), sum[2] += qBlue(p);
                        }
                    const int n = (x1 - x0) * (y1 - y0);
                    const QRgb expected = qRgb((sum[0] + n / 2) / n, (sum[1] + n / 2) / n, (sum[2] + n / 2) / n);
                    wrong += (drawn.pixel(cx, cy) & 0xFFFFFF) != (expected & 0xFFFFFF);
                }
            EXPECT_EQ(wrong, 0) << picture.format() << " at " << size.width() << " x " << size.height();
        }
}

TEST_F(ZoomTest, WhitePicturesStayWhiteHoweverFewPixelsShowThem)
{
    // Boxes of 2^24 white samples fill the sums to their last bit; larger
    // ones take the long way. Neither may carry into another channel.
    for (const QSize side : {QSize(4096, 4096), QSize(8192, 4096)}) {
        Bitmap()->SetImage(Grey(side.width(), side.height(), 255));
        Image()->SetAutoSize(false);
        Image()->SetStretch(true);
        Image()->resize(1, 1);
        EXPECT_EQ(OnScreen(Image()).pixel(0, 0), qRgb(255, 255, 255)) << side.width() << " x " << side.height();
    }
}

// Each picture command from its menu item changes the picture exactly as its
// operation changes a copy (the values are the unit tests' business), on every
// layout, and the view at every size shows the result. With no picture
// nothing changes and nothing fails.
TEST_F(ZoomTest, TheViewShowsWhatEveryCommandMade)
{
    const struct {
        const char* action;
        void (*operation)(TBitmap&);
    } commands[] = {{"Complement1", Complement}, {"EdgeDetection1", EdgeDetect}, {"FlipRotate1", MirrorHorizontally}};
    const QImage pictures[] = {
        RandomGrey(96, 80, 12), RandomColour(96, 80, 13, false),
        Palette(96, 80, {qRgb(200, 10, 30), qRgb(5, 90, 250), qRgb(60, 60, 0)}, [](int x, int y) { return (x + 2 * y) % 3; })};
    for (const auto& command : commands)
        Trigger(command.action);
    EXPECT_TRUE(Bitmap()->Empty());
    for (const auto& command : commands) {
        for (const QImage& picture : pictures)
            for (const char* zoom : {"25%", "100%", "200%"}) {
                OpenPicture(picture);
                Zoom(QString::fromLatin1(zoom));
                TBitmap expected;
                expected.Assign(*Bitmap());
                command.operation(expected);
                Trigger(command.action);
                ASSERT_EQ(Bitmap()->Image(), expected.Image()) << command.action << " at " << zoom;
                ExpectDrawnIsBitmap();
            }
    }
    // Bytes written straight into the rows show at the window's repaint.
    std::uint8_t* row = Bitmap()->ScanLine(40);
    for (int x = 0; x < 96; ++x)
        row[x] = std::uint8_t(x);
    form->Repaint();
    ExpectDrawnIsBitmap();
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
