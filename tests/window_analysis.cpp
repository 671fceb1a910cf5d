// "Thresholding" and Button1 through the real window.
#include "analysis/Matrices.h"
#include "support/PixelReference.h"
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

// Thresholding turns a colour picture of many colours into a palette picture
// in place, at the same size, shown and captured as converted; complement
// then gives every pixel its negative, which the view shows and a file saved
// at 8 bits keeps.
TEST_F(AnalysisWindowTest, ThresholdingThenComplementIsShownCapturedAndSavedAtEightBits)
{
    OpenPicture(Colour(64, 48, [](int x, int y) { return qRgb(x * 4, y * 5, 200 - x); }));
    const QSize size = Image()->size();
    Trigger("Thresholding1");
    ASSERT_TRUE(IsPalettePicture(*Bitmap()));
    EXPECT_EQ(Image()->size(), size);
    QList<TColor> converted;
    QImage shown = OnScreen(Image());
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 64; ++x) {
            converted << Bitmap()->Canvas()->Pixels(x, y);
            ASSERT_EQ(ColorFromRgb(shown.pixel(x, y)), converted.back()) << "shown at " << x << "," << y;
            ASSERT_EQ(At(CaptureMatrix, x, y), converted.back()) << "captured at " << x << "," << y;
        }
    Trigger("Complement1");
    const QString saved = dir.filePath(QStringLiteral("negative.bmp"));
    Save(saved);
    ASSERT_TRUE(messages.isEmpty()) << messages.join('\n').toStdString();
    EXPECT_EQ(QImage(saved).format(), QImage::Format_Indexed8);
    TPicture reloaded;
    reloaded.LoadFromFile(saved);
    shown = OnScreen(Image());
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 64; ++x) {
            const TColor was = converted[y * 64 + x];
            const TColor negative = ColorFromRgb(reference::Complement(RgbFromColor(was)));
            ASSERT_EQ(Bitmap()->Canvas()->Pixels(x, y), negative) << x << "," << y;
            ASSERT_EQ(ColorFromRgb(shown.pixel(x, y)), negative) << "shown at " << x << "," << y;
            ASSERT_EQ(reloaded.Bitmap()->Canvas()->Pixels(x, y), negative) << "saved at " << x << "," << y;
        }
}
