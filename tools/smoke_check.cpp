// The host side of the Windows smoke run (scripts/windows-smoke.sh):
//   smoke_check grab <X window id> <out.png>         a picture of that window (xcb)
//   smoke_check complement <original> <result>        fails unless every pixel of
//                                                     result is 255 - v of original
//                                                     in each colour, alpha kept
//   smoke_check shows <screenshot> <picture>          fails unless the picture appears
//                                                     in the screenshot pixel for pixel
#include "support/PixelReference.h"

#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <QString>

#include <cstdio>
#include <cstring>

namespace {

int Grab(const char* id, const char* output)
{
    bool ok = false;
    const WId window = WId(QByteArray(id).toULongLong(&ok, 0));
    QScreen* screen = QGuiApplication::primaryScreen();
    if (!ok || !screen) {
        std::fprintf(stderr, "smoke_check: no window %s or no screen\n", id);
        return 1;
    }
    const QPixmap shot = screen->grabWindow(window);
    if (shot.isNull() || !shot.save(QString::fromLocal8Bit(output))) {
        std::fprintf(stderr, "smoke_check: cannot grab window %s into %s\n", id, output);
        return 1;
    }
    std::printf("%s: %d x %d\n", output, shot.width(), shot.height());
    return 0;
}

int Complement(const char* originalName, const char* resultName)
{
    const QImage original = QImage(QString::fromLocal8Bit(originalName)).convertToFormat(QImage::Format_ARGB32);
    const QImage result = QImage(QString::fromLocal8Bit(resultName)).convertToFormat(QImage::Format_ARGB32);
    if (original.isNull() || result.isNull() || original.size() != result.size()) {
        std::fprintf(stderr, "smoke_check: %s and %s are not two pictures of one size\n", originalName, resultName);
        return 1;
    }
    long wrong = 0;
    for (int y = 0; y < original.height(); ++y)
        for (int x = 0; x < original.width(); ++x) {
            if (result.pixel(x, y) != reference::Complement(original.pixel(x, y)))
                ++wrong;
        }
    std::printf("%s: %d x %d, %ld pixels not the complement of %s\n", resultName, result.width(), result.height(),
                wrong, originalName);
    return wrong == 0 ? 0 : 1;
}

// Whether the opaque picture appears somewhere in the screenshot unscaled,
// every colour exact: the window drew the picture as it is now.
int Shows(const char* screenshotName, const char* pictureName)
{
    const QImage shot = QImage(QString::fromLocal8Bit(screenshotName)).convertToFormat(QImage::Format_RGB32);
    const QImage picture = QImage(QString::fromLocal8Bit(pictureName)).convertToFormat(QImage::Format_RGB32);
    if (shot.isNull() || picture.isNull()) {
        std::fprintf(stderr, "smoke_check: cannot read %s or %s\n", screenshotName, pictureName);
        return 1;
    }
    const auto matchesAt = [&](int left, int top) {
        for (int y = 0; y < picture.height(); ++y)
            if (std::memcmp(shot.constScanLine(top + y) + left * 4, picture.constScanLine(y),
                            size_t(picture.width()) * 4) != 0)
                return false;
        return true;
    };
    for (int top = 0; top + picture.height() <= shot.height(); ++top)
        for (int left = 0; left + picture.width() <= shot.width(); ++left)
            if (shot.pixel(left, top) == picture.pixel(0, 0) && matchesAt(left, top)) {
                std::printf("%s shows %s at (%d, %d)\n", screenshotName, pictureName, left, top);
                return 0;
            }
    std::fprintf(stderr, "smoke_check: %s does not show %s\n", screenshotName, pictureName);
    return 1;
}

} // namespace

int main(int argc, char** argv)
{
    const bool grab = argc == 4 && std::strcmp(argv[1], "grab") == 0;
    const bool complement = argc == 4 && std::strcmp(argv[1], "complement") == 0;
    const bool shows = argc == 4 && std::strcmp(argv[1], "shows") == 0;
    if (!grab && !complement && !shows) {
        std::fputs("usage: smoke_check grab <window id> <out.png> | complement <original> <result> |"
                   " shows <screenshot> <picture>\n",
                   stderr);
        return 2;
    }
    if (!grab && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    if (grab)
        return Grab(argv[2], argv[3]);
    return complement ? Complement(argv[2], argv[3]) : Shows(argv[2], argv[3]);
}
