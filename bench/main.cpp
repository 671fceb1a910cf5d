// Runs every registered row and prints the table. The rows live in the
// bench/*_bench.cpp files, each registering its own at start-up.
#include "BenchSupport.h"

#include "app/Application.h"


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
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    standardHandler = qInstallMessageHandler(QuietHandler);
    // Rows that drive the windows need the application object; the picture
    // operations do not mind one.
    TApplication application(argc, argv);
    return bench::RunAndPrintTable(argc, argv);
}
