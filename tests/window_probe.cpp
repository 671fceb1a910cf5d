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
        Move(row.at.x(), row.at.y());
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
