// Runs every registered row and prints the table. The rows live in the
// bench/*_bench.cpp files, each registering its own at start-up.
#include "BenchSupport.h"

#include <QApplication>

#include <cstdlib>

int main(int argc, char** argv)
{
    if (!std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    // Rows that drive the windows need the application object; the picture
    // operations do not mind one.
    QApplication application(argc, argv);
    return bench::RunAndPrintTable(argc, argv);
}
