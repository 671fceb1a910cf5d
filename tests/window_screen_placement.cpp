// The main window on the screen: at its described place when that fits in
// the screen's available area, otherwise moved into it. CTest runs the window case again on a 1920 × 1200 screen
// at display scales 1 to 2, where it is 960 × 600 logical pixels at 2.
#include "app/ScreenPlacement.h"
#include "support/WindowFixture.h"

#include <QScreen>

#include <algorithm>

namespace {

TEST(ScreenPlacement, AFrameIsMovedIntoTheAreaOrToItsCorner)
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
        {"taller than the area", {100, 50, 300, 700}, {100, 0, 300, 700}},
        {"larger than the area", {100, 50, 1000, 700}, {0, 0, 1000, 700}},
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
    // A window larger than the screen starts at its corner.
    if (frame.width() > area.width() || frame.height() > area.height()) {
        EXPECT_EQ(frame.left(), frame.width() > area.width() ? area.left() : std::max(area.left(), frame.left()));
        EXPECT_EQ(frame.top(), frame.height() > area.height() ? area.top() : std::max(area.top(), frame.top()));
        return;
    }
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
