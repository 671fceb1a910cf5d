// Windows kept on the screen: a window whose described place would put part
// of it off the screen's available area (at a display scale that makes the
// screen small in logical pixels, say) is moved into that area when shown;
// one larger than the area starts at its top-left corner.
#pragma once

#include <QRect>

class QWidget;

// The frame rectangle moved into area, or to its top or left edge on a side
// where it is larger; unchanged when it already lies in it.
QRect PlacedInside(const QRect& frame, const QRect& area);

// Watches window: every time it is shown, it is placed inside the available
// area of the screen its described place is on.
void KeepOnScreen(QWidget* window);
