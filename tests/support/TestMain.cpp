// Runs the tests inside an application object on Qt's offscreen platform, so
// that they never need a display.
#ifdef IMAGEBENCH_WINDOW_TESTS
#include "app/Application.h"
#else
#include <QGuiApplication>
#endif

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    ::testing::InitGoogleTest(&argc, argv);
#ifdef IMAGEBENCH_WINDOW_TESTS
    TApplication application(argc, argv);
#else
    QGuiApplication application(argc, argv);
#endif
    return RUN_ALL_TESTS();
}
