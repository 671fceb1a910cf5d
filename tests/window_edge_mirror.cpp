#include "image/Operations.h"
#include "support/TestPictures.h"
#include "support/WindowFixture.h"

#include <QPixmap>

using namespace testpictures;

class EdgeAndMirrorWindow : public WindowTest {
protected:
    // What the screen shows at (x, y) of the picture control.
    QRgb Shown(const TImage* image, int x, int y) const { return OnScreen(image).pixel(x, y) | 0xFF000000u; }
};

TEST_F(EdgeAndMirrorWindow, EdgeDetectionFromTheMenuFiltersThePictureAndTheViewShowsIt)
{
    // Background 100 with a dark corner: the corner's wrapped neighbours turn
    // 50 and everything else 0.
    const QImage input = Grey(12, 9, [](int x, int y) { return x == 0 && y == 0 ? 50 : 100; });
    OpenPicture(input);
    ASSERT_TRUE(messages.isEmpty()) << messages.join('\n').toStdString();
    EXPECT_EQ(Shown(Image(), 5, 5), qRgb(100, 100, 100));

    Trigger("EdgeDetection1");
    EXPECT_TRUE(messages.isEmpty()) << messages.join('\n').toStdString();
    TBitmap expected;
    expected.SetImage(input);
    EdgeDetect(expected);
    EXPECT_EQ(Bytes(*Bitmap()), Bytes(expected));
    EXPECT_EQ(Shown(Image(), 5, 5), qRgb(0, 0, 0));
    EXPECT_EQ(Shown(Image(), 11, 8), qRgb(50, 50, 50));
    EXPECT_EQ(Shown(Image(), 1, 0), qRgb(50, 50, 50));
    EXPECT_EQ(Shown(Image(), 0, 0), qRgb(0, 0, 0));
}

TEST_F(EdgeAndMirrorWindow, FlipRotateFromTheMenuMirrorsThePictureAndTheViewShowsIt)
{
    const QImage input = Colour(7, 3, [](int x, int y) { return qRgb(30 * x, 10 + 40 * y, 200 - 20 * x); });
    OpenPicture(input);
    ASSERT_TRUE(messages.isEmpty()) << messages.join('\n').toStdString();
    const QByteArray before = Bytes(*Bitmap());

    Trigger("FlipRotate1");
    EXPECT_TRUE(messages.isEmpty()) << messages.join('\n').toStdString();
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 7; ++x) {
            EXPECT_EQ(Bitmap()->Image().pixel(x, y), input.pixel(6 - x, y)) << x << ", " << y;
            EXPECT_EQ(Shown(Image(), x, y), input.pixel(6 - x, y)) << x << ", " << y;
        }
    }

    Trigger("FlipRotate1");
    EXPECT_EQ(Bytes(*Bitmap()), before);
    EXPECT_EQ(Shown(Image(), 0, 1), input.pixel(0, 1));
}

TEST_F(EdgeAndMirrorWindow, MirrorOfAnEightBitPictureShowsTheMirroredGreys)
{
    const QImage input = Grey(5, 2, [](int x, int y) { return 40 * x + y; });
    OpenPicture(input);
    ASSERT_TRUE(messages.isEmpty()) << messages.join('\n').toStdString();
    EXPECT_EQ(Shown(Image(), 0, 1), qRgb(1, 1, 1));

    Trigger("FlipRotate1");
    EXPECT_EQ(Bitmap()->ScanLine(1)[0], 161);
    EXPECT_EQ(Shown(Image(), 0, 1), qRgb(161, 161, 161));
    EXPECT_EQ(Shown(Image(), 4, 0), qRgb(0, 0, 0));
}

TEST_F(EdgeAndMirrorWindow, BothCommandsWithNoPictureDoNothing)
{
    Trigger("EdgeDetection1");
    Trigger("FlipRotate1");
    EXPECT_TRUE(messages.isEmpty()) << messages.join('\n').toStdString();
    EXPECT_TRUE(Bitmap()->Empty());
}
