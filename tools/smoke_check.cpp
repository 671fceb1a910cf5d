// The host side of the Windows smoke run (scripts/windows-smoke.sh):
//   smoke_check grab <X window id> <out.png>         a picture of that window (xcb)
//   smoke_check complement <original> <result>        fails unless every pixel of
//                                                     result is 255 - v of original
//                                                     in each colour, alpha kept
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
            const QRgb a = original.pixel(x, y);
            const QRgb b = result.pixel(x, y);
            if (qRed(b) != 255 - qRed(a) || qGreen(b) != 255 - qGreen(a) || qBlue(b) != 255 - qBlue(a) ||
                qAlpha(b) != qAlpha(a))
                ++wrong;
        }
    std::printf("%s: %d x %d, %ld pixels not the complement of %s\n", resultName, result.width(), result.height(),
                wrong, originalName);
    return wrong == 0 ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    const bool grab = argc == 4 && std::strcmp(argv[1], "grab") == 0;
    const bool complement = argc == 4 && std::strcmp(argv[1], "complement") == 0;
    if (!grab && !complement) {
        std::fputs("usage: smoke_check grab <window id> <out.png> | complement <original> <result>\n", stderr);
        return 2;
    }
    if (complement && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    return grab ? Grab(argv[2], argv[3]) : Complement(argv[2], argv[3]);
}
