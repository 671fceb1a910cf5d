// The main window on the screen: at its described place when that fits in
// the screen's available area, otherwise moved (and only if it must, made
// smaller) into it. CTest runs the window case again on a 1920 × 1200 screen
// at display scales 1 to 2, where it is 960 × 600 logical pixels at 2.
#include "app/ScreenPlacement.h"
#include "support/WindowFixture.h"

#include <QScreen>

namespace {

TEST(ScreenPlacement, AFrameIsMovedIntoTheAreaAndShrunkOnlyWhereLarger)
{
    const QRect area(0, 0, 960, 600);
    const struct {
        const char* name;
        QRect frame;
        QRect placed;
    } table[] = {
        {"fits", {225, 100, 688, 445}, {225, 100, 688, 445}},
        {"past the bottom edge", {225, 300, 688, 445}, {225, 155, 688, 445}},
        {"past the right edge", {500, 10, 688, 445}, {272, 10, 688, 445}},
        {"before the top-left corner", {-40, -5, 300, 200}, {0, 0, 300, 200}},
        {"taller than the area", {100, 50, 300, 700}, {100, 0, 300, 600}},
        {"larger than the area", {100, 50, 1000, 700}, {0, 0, 960, 600}},
    };
    for (const auto& row : table)
        EXPECT_EQ(PlacedInside(row.frame, area), row.placed) << row.name;
    // An area that does not start at the origin (a second screen, a panel
    // at the top).
    EXPECT_EQ(PlacedInside({100, 100, 688, 445}, {1600, 30, 1280, 770}), QRect(1600, 100, 688, 445));
    EXPECT_EQ(PlacedInside({2800, 700, 688, 445}, {1600, 30, 1280, 770}), QRect(2192, 355, 688, 445));
}

class WindowOnScreenTest : public WindowTest {};

TEST_F(WindowOnScreenTest, TheMainWindowLiesInTheScreensAvailableArea)
{
    const QScreen* screen = form->screen();
    ASSERT_NE(screen, nullptr);
    const QRect area = screen->availableGeometry();
    const QRect frame = form->frameGeometry();
    EXPECT_TRUE(area.contains(frame)) << "window at " << frame.x() << "," << frame.y() << " " << frame.width() << "×"
                                      << frame.height() << " on a screen of " << area.width() << "×"
                                      << area.height() << " at scale " << form->devicePixelRatioF();
    // Where the described place fits, the window is there.
    const QRect described(QPoint(225, 216), frame.size());
    if (area.contains(described)) {
        EXPECT_EQ(frame.topLeft(), described.topLeft());
    }
    // The status bar with the probe is in sight.
    const QWidget* probe = Find<QWidget>("StatusPanel0");
    const QRect shown(probe->mapToGlobal(QPoint()), probe->size());
    EXPECT_TRUE(area.contains(shown));
}

} // namespace
