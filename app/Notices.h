// What a file could not keep, said in the main window's status bar.
#pragma once

#include <QStringList>

class QStatusBar;

// Shows the notices in a panel at the right of the status bar, replacing
// what it said before (nothing, when the list is empty). The panel's text is
// its accessible name, so screen readers announce each change. Nothing waits
// for the user.
void ShowNotices(QStatusBar* bar, const QStringList& notices);
