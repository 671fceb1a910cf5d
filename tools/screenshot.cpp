// Renders the real main window offscreen and writes it as a PNG: a picture
// opened through the Open command, zoomed through the zoom box, the pointer
// moved over it and the analysis run, all through the window's own widgets.
//
//   screenshot PICTURE OUTPUT.png [ZOOM [X Y]]
//
// ZOOM is a zoom-box text ("75%"), X and Y a position of the image control.
#include "app/Application.h"
#include "app/ImageControl.h"
#include "app/PictureDialogs.h"
#include "app/Unit1.h"
#include "app/Unit2.h"

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QTest>

#include <cstdio>
#include <cstdlib>

namespace {

template <class T> T* Child(const char* name)
{
    T* child = Form1->findChild<T*>(QString::fromLatin1(name));
    if (!child) {
        std::fprintf(stderr, "screenshot: the main window has no %s\n", name);
        std::exit(1);
    }
    return child;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3 && argc != 4 && argc != 6) {
        std::fprintf(stderr, "usage: %s PICTURE OUTPUT.png [ZOOM [X Y]]\n", argv[0]);
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    TApplication application(argc, argv);
    const QString picture = QDir::current().absoluteFilePath(QString::fromLocal8Bit(argv[1]));
    const QString output = QString::fromLocal8Bit(argv[2]);
    const QString zoom = argc >= 4 ? QString::fromLocal8Bit(argv[3]) : QStringLiteral("100%");
    const QPoint probe = argc == 6 ? QPoint(std::atoi(argv[4]), std::atoi(argv[5])) : QPoint(0, 0);

    bool failed = false;
    application.ExceptionDisplay = [&failed](const QString& message) {
        std::fprintf(stderr, "screenshot: %s\n", qPrintable(message));
        failed = true;
    };
    application.CreateForm(Form1);
    application.CreateForm(HelpDlg);
    Form1->show();
    if (!QTest::qWaitForWindowExposed(Form1))
        return 1;

    Child<TOpenPictureDialog>("OpenPictureDialog1")->ChooseFileName = [&picture](QString& chosen) {
        chosen = picture;
        return true;
    };
    Child<QAction>("Open1")->trigger();
    if (failed)
        return 1;

    QLineEdit* zoomText = Child<QComboBox>("ComboBox1")->lineEdit();
    zoomText->selectAll();
    QTest::keyClicks(zoomText, zoom);
    QTest::keyClick(zoomText, Qt::Key_Return);

    Child<QAction>("Thresholding1")->trigger();
    QTest::mouseClick(Child<QPushButton>("Button1"), Qt::LeftButton);

    TImage* image = Child<TImage>("Image1");
    QTest::mouseMove(Form1, image->mapTo(Form1, probe));
    QTest::qWait(50);

    if (!Form1->grab().save(output, "PNG")) {
        std::fprintf(stderr, "screenshot: cannot write %s\n", qPrintable(output));
        return 1;
    }
    std::printf("%s\n", qPrintable(output));
    return failed ? 1 : 0;
}
