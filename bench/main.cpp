// Runs every registered row and prints the table. The rows live in the
// bench/*_bench.cpp files, each registering its own at start-up.
#include "BenchSupport.h"

#include "app/Application.h"

#include <QDir>
#include <QTemporaryFile>

namespace {

QtMessageHandler standardHandler = nullptr;

// The offscreen platform warns on every window shown that it keeps no size
// hints; that is no news to a table.
void QuietHandler(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (!message.contains(QLatin1String("propagateSizeHints")))
        standardHandler(type, context, message);
}

} // namespace

int main(int argc, char** argv)
{
    // Two offscreen screens, at display scales 1 and 2, for the view rows
    // at each scale.
    QTemporaryFile screens(QDir::tempPath() + QStringLiteral("/imagebench-bench-XXXXXX.json"));
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) {
        const QByteArray layout =
            R"({"screens": [{"name": "scale 1", "x": 0, "y": 0, "width": 1600, "height": 1200,)"
            R"( "logicalDpi": 96, "logicalBaseDpi": 96}, {"name": "scale 2", "x": 1600, "y": 0,)"
            R"( "width": 3200, "height": 2400, "logicalDpi": 192, "logicalBaseDpi": 96}]})";
        if (screens.open() && screens.write(layout) == layout.size() && screens.flush())
            qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + screens.fileName().toLocal8Bit());
        else
            qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    standardHandler = qInstallMessageHandler(QuietHandler);
    // Rows that drive the windows need the application object; the picture
    // operations do not mind one.
    TApplication application(argc, argv);
    if (const int status = bench::RunColdCommandIfAsked(); status >= 0)
        return status;
    return bench::RunAndPrintTable(argc, argv);
}
