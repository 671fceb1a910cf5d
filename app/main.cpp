// Start-up: the application, the main window, the hidden help dialog, then
// the event loop until the main window closes, and the end of any cancelled
// work.
#include "Application.h"
#include "Background.h"
#include "Unit1.h"
#include "Unit2.h"
#include "image/bitmap/Graphics.h"

#include <QByteArray>
#include <QtGlobal>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>

namespace {

// Whether the window will go to an X11 or Wayland display: Qt's default on
// Linux and the BSDs, or the platform named by -platform or QT_QPA_PLATFORM.
// Windows and macOS always have their desktop.
bool NeedsX11OrWaylandDisplay([[maybe_unused]] int argc, [[maybe_unused]] char** argv)
{
#if defined(Q_OS_UNIX) && !defined(Q_OS_DARWIN) && !defined(Q_OS_ANDROID)
    QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], "-platform") == 0 || std::strcmp(argv[i], "--platform") == 0)
            platform = argv[i + 1];
    return platform.isEmpty() || platform.startsWith("xcb") || platform.startsWith("wayland");
#else
    return false;
#endif
}

} // namespace

int main(int argc, char** argv)
{
    if (NeedsX11OrWaylandDisplay(argc, argv) && qEnvironmentVariableIsEmpty("DISPLAY") &&
        qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) {
        std::fputs("imagebench: no display to open a window on (neither DISPLAY nor WAYLAND_DISPLAY is set).\n",
                   stderr);
        return 1;
    }
    TApplication application(argc, argv);
    try {
        application.CreateForm(Form1);
        application.CreateForm(HelpDlg);
        application.Run();
    } catch (...) {
        application.ShowException(ExceptionMessage());
    }
    // Work cancelled just before the window closed ends before the program.
    WaitForCancelledWork();
    return 0;
}
