// Start-up: the application, the main window, the hidden help dialog, then
// the event loop until the main window closes.
#include "Application.h"
#include "Unit1.h"
#include "Unit2.h"
#include "image/Graphics.h"

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv)
{
    if (!std::getenv("QT_QPA_PLATFORM") && !std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY")) {
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
    return 0;
}
