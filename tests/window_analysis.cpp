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

TEST_F(AnalysisWindowTest, UniformGreyGivesItsLevelAndPairSums)
{
    CaptureFresh(Grey(3, 259, 100));
    EXPECT_EQ(ReadOut(), QStringList({"Edit2", "Edit3", "Edit4", "Edit5"})) << "capturing changes no text";
    Click();
    EXPECT_EQ(ReadOut(), QStringList({"100", "100", "200", "200"}));
    Click();
    EXPECT_EQ(ReadOut(), QStringList({"100", "100", "200", "200"}));
    EXPECT_TRUE(messages.isEmpty());
}

TEST_F(AnalysisWindowTest, TwoColumnsShowTheirSumAndNothingBelow)
{
    CaptureFresh(Grey(2, 6, [](int x, int) { return x == 0 ? 10 : 30; }));
    Click();
    EXPECT_EQ(ReadOut(), QStringList({"10", "10", "40", "0"}));
}

TEST_F(AnalysisWindowTest, ButtonLeavesThePictureAlone)
{
    CaptureFresh(RandomGrey(20, 20, 3));
    const QByteArray before = Bytes(*Bitmap());
    Click();
    EXPECT_EQ(Bytes(*Bitmap()), before);
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

TEST_F(AnalysisWindowTest, AGreyColourFileKeepsItsLevels)
{
    OpenPicture(Colour(5, 8, [](int x, int y) { return qRgb(x * 50 + y, x * 50 + y, x * 50 + y); }));
    ASSERT_EQ(Bitmap()->PixelFormat(), pf32bit);
    Trigger("Thresholding1");
    EXPECT_EQ(Bitmap()->ScanLine(6)[3], 156);
    Click();
    EXPECT_EQ(Text("Edit2"), QStringLiteral("4"));
    EXPECT_EQ(Text("Edit4"), QStringLiteral("%1").arg(2 + 52));
}
