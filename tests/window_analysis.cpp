// "Thresholding" and Button1 through the real window.
#include "analysis/Matrices.h"
#include "support/TestPictures.h"
#include "support/WindowFixture.h"

#include <QPushButton>

using namespace testpictures;

namespace {

class AnalysisWindowTest : public WindowTest {
protected:
    void Click() { QTest::mouseClick(Find<QPushButton>("Button1"), Qt::LeftButton); }
    QStringList ReadOut() const { return {Text("Edit2"), Text("Edit3"), Text("Edit4"), Text("Edit5")}; }
    // Captures a picture through the menu, after a black 512 x 512 one so
    // that nothing of earlier tests remains in the matrices.
    void CaptureFresh(const QImage& image)
    {
        OpenPicture(Grey(512, 512, 0), QStringLiteral("black.png"));
        Trigger("Thresholding1");
        OpenPicture(image);
        Trigger("Thresholding1");
    }
};

} // namespace

// Button1 shows the blue channel at column 0 of rows 4 and 5 and the pair
// sums of columns 0 and 1 at rows 2 and 258 of the captured picture; the
// capture itself changes no text, and a second click shows the same.
TEST_F(AnalysisWindowTest, TheButtonShowsTheCapturedPicturesChannelAndPairSums)
{
    const struct {
        const char* what;
        QImage picture;
        QStringList shown;
    } table[] = {{"uniform grey", Grey(3, 259, 100), {"100", "100", "200", "200"}},
                 {"two columns, nothing below row 5", Grey(2, 6, [](int x, int) { return x == 0 ? 10 : 30; }),
                  {"10", "10", "40", "0"}},
                 // Grey in a colour file: converted to its levels.
                 {"grey colours", Colour(5, 8, [](int x, int y) { return qRgb(x * 50 + y, x * 50 + y, x * 50 + y); }),
                  {"4", "5", "54", "0"}}};
    for (const auto& row : table) {
        const QStringList before = ReadOut();
        CaptureFresh(row.picture);
        EXPECT_EQ(ReadOut(), before) << row.what;
        for (int click = 0; click < 2; ++click) {
            Click();
            EXPECT_EQ(ReadOut(), row.shown) << row.what;
        }
    }
    EXPECT_TRUE(messages.isEmpty());
}

TEST_F(AnalysisWindowTest, ColourPicturesAreConvertedShownAndSavedAtEightBits)
{
    const QImage colour = Colour(64, 48, [](int x, int y) { return qRgb(x * 4, y * 5, 200 - x); });
    OpenPicture(colour);
    ASSERT_EQ(Bitmap()->PixelFormat(), pf32bit);
    const QSize size = Image()->size();
    Trigger("Thresholding1");
    ASSERT_EQ(Bitmap()->PixelFormat(), pf8bit);
    EXPECT_EQ(Image()->size(), size);
    // The view shows the converted picture.
    const QImage shown = OnScreen(Image());
    EXPECT_EQ(shown.pixel(10, 7) & 0xFFFFFF, Bitmap()->Image().pixel(10, 7) & 0xFFFFFF);
    // The capture holds the converted colours.
    EXPECT_EQ(At(CaptureMatrix, 10, 7), Bitmap()->Canvas()->Pixels(10, 7));

    const QString saved = dir.filePath(QStringLiteral("eight.bmp"));
    Save(saved);
    ASSERT_TRUE(messages.isEmpty()) << messages.join('\n').toStdString();
    QImage written(saved);
    EXPECT_EQ(written.format(), QImage::Format_Indexed8);
    for (int y = 0; y < 48; y += 7)
        for (int x = 0; x < 64; x += 9)
            ASSERT_EQ(written.pixel(x, y), Bitmap()->Image().pixel(x, y));
}
