#include "Errors.h"

#include "image/bitmap/Bitmap.h"

#include <QApplication>
#include <QLibrary>
#include <QLoggingCategory>
#include <QMessageBox>

#include <cstdarg>
#include <cstdio>
#include <exception>
#include <new>

namespace {

Q_LOGGING_CATEGORY(lcLibraries, "imagebench.libraries", QtCriticalMsg)

QtMessageHandler previousHandler = nullptr;

// Whether a message comes from a picture library through Qt: the image
// plugins' categories, or the words Qt's readers and writers start their
// warnings with.
bool FromPictureLibrary(const QMessageLogContext& context, const QString& text)
{
    const QLatin1String category(context.category ? context.category : "");
    if (category.startsWith(QLatin1String("qt.imageformats")) || category.startsWith(QLatin1String("qt.gui.imageio")))
        return true;
    for (const char* start : {"libpng", "QImageIOHandler", "QTiffHandler", "QImageWriter", "QImageReader"})
        if (text.startsWith(QLatin1String(start)))
            return true;
    return false;
}

void RouteMessage(QtMsgType type, const QMessageLogContext& context, const QString& text)
{
    if (type != QtFatalMsg && FromPictureLibrary(context, text)) {
        if (!lcLibraries().isDebugEnabled())
            return;
        const QMessageLogContext routed(context.file, context.line, context.function, lcLibraries().categoryName());
        previousHandler(QtDebugMsg, routed, text);
        return;
    }
    previousHandler(type, context, text);
}

// The TIFF library's error and warning handlers print to the terminal unless
// replaced; Qt's TIFF plugin leaves them as they are. The library is the
// system's shared one where the plugin uses it (it is found by name, not
// linked); a plugin with a copy of its own keeps its printing.
using TTiffHandler = void (*)(const char* module, const char* format, va_list arguments);
using TSetTiffHandler = TTiffHandler (*)(TTiffHandler);

void TiffMessage(const char* module, const char* format, va_list arguments)
{
    if (!lcLibraries().isDebugEnabled())
        return;
    char text[512];
    std::vsnprintf(text, sizeof text, format, arguments);
    qCDebug(lcLibraries, "%s: %s", module ? module : "libtiff", text);
}

void RouteTiffMessages()
{
    QLibrary tiff(QStringLiteral("tiff"), 6);
    for (const char* setter : {"TIFFSetErrorHandler", "TIFFSetWarningHandler"})
        if (auto set = reinterpret_cast<TSetTiffHandler>(tiff.resolve(setter)))
            set(TiffMessage);
}

} // namespace

QString ExceptionMessage()
{
    try {
        throw;
    } catch (const Exception& error) {
        return error.Message();
    } catch (const std::bad_alloc&) {
        return Sentence(NotEnoughMemory(u"to finish this operation"));
    } catch (const std::exception& error) {
        const QString what = QString::fromUtf8(error.what()).trimmed();
        if (what.isEmpty())
            return QStringLiteral("The operation stopped because of an unexpected error.");
        return QStringLiteral("The operation stopped because of an unexpected error (%1).").arg(what);
    } catch (...) {
        return QStringLiteral("The operation stopped because of an unexpected error of an unknown kind.");
    }
}

void ShowErrorBox(QWidget* parent, const QString& message)
{
    QMessageBox box(QMessageBox::Critical, QApplication::applicationName(), message, QMessageBox::Ok, parent);
    box.setObjectName(QStringLiteral("ExceptionMessage"));
    box.exec();
}

void RouteLibraryMessages()
{
    if (!previousHandler)
        previousHandler = qInstallMessageHandler(RouteMessage);
    RouteTiffMessages();
}
