// Runs the tests inside an application object on Qt's offscreen platform, so
// that they never need a display.
#ifdef IMAGEBENCH_WINDOW_TESTS
#include "app/Application.h"
#else
#include <QGuiApplication>
#endif

#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char** argv)
{
    if (!std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    ::testing::InitGoogleTest(&argc, argv);
#ifdef IMAGEBENCH_WINDOW_TESTS
    TApplication application(argc, argv);
#else
    QGuiApplication application(argc, argv);
#endif
    return RUN_ALL_TESTS();
}
