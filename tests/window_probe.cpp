// The pixel probe, through real mouse moves over the image control: the
// position and value of the bitmap pixel drawn under the pointer, at every
// zoom, and nothing redrawn but the texts.
#include "support/TestPictures.h"
#include "support/WindowFixture.h"

#include <QComboBox>
#include <QEvent>
#include <QLineEdit>

namespace {

using namespace testpictures;

class ProbeTest : public WindowTest {
protected:
    void Zoom(const char* text) const
    {
        QComboBox* box = Find<QComboBox>("ComboBox1");
        box->lineEdit()->selectAll();
        QTest::keyClicks(box->lineEdit(), QString::fromLatin1(text));
        QTest::keyClick(box->lineEdit(), Qt::Key_Return);
    }
    // Moves the pointer to a position of the control, sent to the window so
    // that (0, 0) is not taken for "the control's centre".
    void Move(int x, int y) const { QTest::mouseMove(form.get(), Image()->mapTo(form.get(), QPoint(x, y))); }
    QString Panel(const char* name) const { return Find<QLabel>(name)->text(); }
    QString X() const { return Panel("StatusPanel0"); }
    QString Y() const { return Panel("StatusPanel1"); }
    QString Value() const { return Panel("Label1"); }
};

// Counts the paint events a widget receives.
class PaintCounter : public QObject {
public:
    int paints = 0;
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            ++paints;
        return false;
    }
};

TEST_F(ProbeTest, NaturalSizeShowsThePositionAndTheRedByte)
{
    OpenPicture(Grey(50, 40, [](int x, int y) { return x == 0 && y == 0 ? 37 : (x + 3 * y) % 256; }));
    Move(0, 0);
    EXPECT_EQ(X(), QStringLiteral("X=0"));
    EXPECT_EQ(Y(), QStringLiteral("Y=0"));
    EXPECT_EQ(Value(), QStringLiteral("37"));
    Move(17, 9);
    EXPECT_EQ(X(), QStringLiteral("X=17"));
    EXPECT_EQ(Y(), QStringLiteral("Y=9"));
    EXPECT_EQ(Value(), QStringLiteral("44"));
    EXPECT_TRUE(messages.isEmpty());
}

TEST_F(ProbeTest, ColourPixelsShowTheirRed)
{
    OpenPicture(Colour(8, 8, [](int x, int) { return x == 3 ? qRgb(200, 10, 10) : qRgb(1, 2, 3); }));
    Move(3, 5);
    EXPECT_EQ(Value(), QStringLiteral("200"));
    Move(4, 5);
    EXPECT_EQ(Value(), QStringLiteral("1"));
}

TEST_F(ProbeTest, ZoomedViewsProbeThePixelUnderThePointer)
{
    OpenPicture(Grey(105, 105, [](int x, int y) { return (x + 2 * y) % 256; }));
    Zoom("200%");
    for (const QPoint at : {QPoint(20, 20), QPoint(21, 21), QPoint(21, 20)}) {
        Move(at.x(), at.y());
        EXPECT_EQ(X(), QStringLiteral("X=10"));
        EXPECT_EQ(Y(), QStringLiteral("Y=10"));
        EXPECT_EQ(Value(), QStringLiteral("30"));
    }
    Move(209, 0);
    EXPECT_EQ(X(), QStringLiteral("X=104"));
    EXPECT_EQ(Value(), QStringLiteral("104"));

    Zoom("25%");
    Move(10, 5);
    EXPECT_EQ(X(), QStringLiteral("X=40"));
    EXPECT_EQ(Y(), QStringLiteral("Y=20"));
    EXPECT_EQ(Value(), QStringLiteral("80"));
    // What is drawn there is the block of levels 80 ... 89 the probed pixel opens.
    const QImage drawn = OnScreen(Image());
    EXPECT_GE(qRed(drawn.pixel(10, 5)), 80);
    EXPECT_LE(qRed(drawn.pixel(10, 5)), 89);
}

TEST_F(ProbeTest, PositionsWithoutAPixelShowNoValue)
{
    Move(5, 6); // no picture: the control is 105 x 105 and empty
    EXPECT_EQ(X(), QStringLiteral("X=5"));
    EXPECT_EQ(Y(), QStringLiteral("Y=6"));
    EXPECT_EQ(Value(), QString());

    OpenPicture(Grey(30, 20, 99));
    Image()->SetAutoSize(false);
    Image()->resize(105, 105); // larger than the picture, not stretched
    Move(3, 3);
    EXPECT_EQ(Value(), QStringLiteral("99"));
    const QByteArray before = Bytes(*Bitmap());
    const qint64 key = Bitmap()->ChangeKey();
    for (const QPoint at : {QPoint(30, 3), QPoint(3, 20), QPoint(104, 104)}) {
        Move(at.x(), at.y());
        EXPECT_EQ(X(), QStringLiteral("X=%1").arg(at.x()));
        EXPECT_EQ(Y(), QStringLiteral("Y=%1").arg(at.y()));
        EXPECT_EQ(Value(), QString());
    }
    EXPECT_EQ(Bytes(*Bitmap()), before);
    EXPECT_EQ(Bitmap()->ChangeKey(), key);
    EXPECT_TRUE(messages.isEmpty());
}

TEST_F(ProbeTest, MovingTheMouseRedrawsOnlyTheTexts)
{
    OpenPicture(RandomGrey(300, 300, 3));
    Zoom("200%");
    QCoreApplication::processEvents();
    PaintCounter image, label;
    Image()->installEventFilter(&image);
    Find<QLabel>("Label1")->installEventFilter(&label);
    for (int i = 0; i < 20; ++i) {
        Move(10 + 7 * i, 20 + 5 * i);
        QCoreApplication::processEvents();
    }
    EXPECT_GT(label.paints, 0);
    EXPECT_EQ(image.paints, 0);
    Image()->removeEventFilter(&image);
    Find<QLabel>("Label1")->removeEventFilter(&label);
}

} // namespace
