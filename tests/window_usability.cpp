// What a user meets beyond the commands themselves: the client area scrolls,
// texts show whole, titles and accessible names read as the forms say, the
// keyboard reaches the controls, commands show the wait cursor, the file
// dialogs' filters and messages.
#include "image/operations/Operations.h"
#include "support/TestPictures.h"
#include "support/WindowFixture.h"

#include <QApplication>
#include <QCursor>
#include <QDir>
#include <QFileDialog>
#include <QImageReader>
#include <QImageWriter>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QStatusBar>
#include <QTimer>
#include <QWheelEvent>

#include <cstring>
#include <new>
#include <set>

using namespace testpictures;

namespace {

class UsabilityTest : public WindowTest {
protected:
    QScrollArea* Scroll() const { return Find<QScrollArea>("ScrollBox1"); }
    QScrollBar* Vertical() const { return Scroll()->verticalScrollBar(); }
    QScrollBar* Horizontal() const { return Scroll()->horizontalScrollBar(); }
    void Settle() const
    {
        for (int i = 0; i < 3; ++i)
            QCoreApplication::processEvents();
    }
};

// ---------------------------------------------------------------------------
// Scrolling

TEST_F(UsabilityTest, ScrollsToTheBottomRightPixelOfALargePictureAndTheProbeReportsIt)
{
    const auto level = [](int x, int y) { return (x + 2 * y) % 251; };
    OpenPicture(Grey(900, 700, level));
    Settle();
    ASSERT_TRUE(Vertical()->isVisible());
    ASSERT_TRUE(Horizontal()->isVisible());
    EXPECT_EQ(Image()->pos(), QPoint(16, 32)) << "the picture keeps its place in the scrolled area";
    auto* status = Find<QStatusBar>("StatusBar1");
    EXPECT_FALSE(Scroll()->isAncestorOf(status));

    // Scroll in steps, as a user drags, down to the far corner.
    while (Vertical()->value() < Vertical()->maximum() || Horizontal()->value() < Horizontal()->maximum()) {
        Vertical()->setValue(Vertical()->value() + 97);
        Horizontal()->setValue(Horizontal()->value() + 61);
        Settle();
    }
    const QPoint corner(899, 699);
    const QPoint inViewport = Image()->mapTo(Scroll()->viewport(), corner);
    ASSERT_TRUE(Scroll()->viewport()->rect().contains(inViewport)) << inViewport.x() << "," << inViewport.y();
    EXPECT_EQ(status->geometry().bottom(), form->height() - 1) << "the status bar stays along the bottom";

    MoveTo(corner.x(), corner.y());
    EXPECT_EQ(Panel("StatusPanel0"), QStringLiteral("X=899"));
    EXPECT_EQ(Panel("StatusPanel1"), QStringLiteral("Y=699"));
    EXPECT_EQ(Panel("Label1"), QString::number(level(899, 699)));

    // What the window shows after all that scrolling is the picture.
    const QImage window = form->grab().toImage();
    const qreal ratio = window.devicePixelRatio();
    int wrong = 0, seen = 0;
    const QRect visible = Image()->visibleRegion().boundingRect();
    for (int y = visible.top(); y <= visible.bottom(); y += 7)
        for (int x = visible.left(); x <= visible.right(); x += 5) {
            const QPoint at = Image()->mapTo(form.get(), QPoint(x, y)) * ratio;
            ++seen;
            wrong += qRed(window.pixel(at)) != level(x, y);
        }
    EXPECT_GT(seen, 1000);
    EXPECT_EQ(wrong, 0);
    EXPECT_TRUE(messages.isEmpty());
}

TEST_F(UsabilityTest, ScrollingRepaintsOnlyWhatComesIntoViewFromTheViewsCache)
{
    OpenPicture(Grey(1200, 1000, [](int x, int y) { return 1 + (x + y) % 200; }));
    Settle();
    // Bytes changed behind the view's back (the picture's change key kept):
    // what is still in sight after scrolling comes from the cached view, the
    // strip that comes into view from the picture.
    const TBitmap& bitmap = *Bitmap();
    for (int y = 0; y < bitmap.Height(); ++y)
        std::memset(const_cast<std::uint8_t*>(bitmap.ScanLine(y)), 0, size_t(bitmap.Width()));

    QRect painted;
    {
        PaintRecorder recorder(Image());
        Vertical()->setValue(Vertical()->value() + 12);
        Settle();
        painted = recorder.painted.boundingRect();
    }
    const QRect visible = Image()->visibleRegion().boundingRect();
    ASSERT_FALSE(painted.isEmpty());
    EXPECT_LE(painted.height(), 12) << "painted " << painted.height() << " rows of " << visible.height();
    EXPECT_EQ(painted.bottom(), visible.bottom());

    const QImage window = form->grab().toImage();
    const auto shown = [&](int x, int y) {
        return qRed(window.pixel(Image()->mapTo(form.get(), QPoint(x, y)) * window.devicePixelRatio()));
    };
    const int x = visible.left() + 100, kept = visible.top() + 50;
    EXPECT_EQ(shown(x, kept), 1 + (x + kept) % 200) << "kept from the cached view";
    EXPECT_EQ(shown(x, visible.bottom()), 0) << "drawn from the picture";
}

TEST_F(UsabilityTest, ASmallWindowReachesEveryControl)
{
    form->resize(300, 200);
    Settle();
    auto* button = Find<QPushButton>("Button1");
    ASSERT_TRUE(Horizontal()->isVisible());
    EXPECT_TRUE(button->visibleRegion().isEmpty());
    // Tab into the button scrolls it into view.
    QApplication::setActiveWindow(form.get());
    Find<QComboBox>("ComboBox1")->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    ASSERT_EQ(QApplication::focusWidget(), button);
    Settle();
    EXPECT_FALSE(button->visibleRegion().isEmpty());
    EXPECT_EQ(button->pos(), QPoint(560, 40));
}

TEST_F(UsabilityTest, TheWheelScrollsAndShiftWheelScrollsSideways)
{
    OpenPicture(RandomGrey(1500, 1500, 5));
    Settle();
    // Qt passes a wheel turn the control under the pointer leaves alone to
    // its parents: the picture, the client area, the scroll area's viewport.
    const auto wheel = [](QWidget* to, Qt::KeyboardModifiers modifiers) {
        const QPointF at(40, 40);
        QWheelEvent event(at, to->mapToGlobal(at), QPoint(), QPoint(0, -120), Qt::NoButton, modifiers,
                          Qt::NoScrollPhase, false);
        QApplication::sendEvent(to, &event);
        return event.isAccepted();
    };
    QWidget* area = Find<QWidget>("ClientArea");
    EXPECT_FALSE(wheel(Image(), Qt::NoModifier));
    EXPECT_FALSE(wheel(Image(), Qt::ShiftModifier));
    EXPECT_FALSE(wheel(area, Qt::NoModifier));
    EXPECT_EQ(Vertical()->value(), 0);
    EXPECT_TRUE(wheel(Scroll()->viewport(), Qt::NoModifier));
    EXPECT_GT(Vertical()->value(), 0);
    EXPECT_EQ(Horizontal()->value(), 0);
    const int down = Vertical()->value();
    EXPECT_TRUE(wheel(area, Qt::ShiftModifier));
    EXPECT_GT(Horizontal()->value(), 0);
    EXPECT_LT(Horizontal()->value(), Horizontal()->pageStep()) << "a wheel step, not a page";
    EXPECT_EQ(Vertical()->value(), down);
}

// ---------------------------------------------------------------------------
// Texts, titles, names

TEST_F(UsabilityTest, TextsShowWhole)
{
    const auto fits = [](const QWidget* widget, const QString& text, int padding) {
        return widget->fontMetrics().horizontalAdvance(text) + padding <= widget->width();
    };
    for (QLabel* label : form->findChildren<QLabel*>() + help->findChildren<QLabel*>())
        if (!label->text().isEmpty()) {
            EXPECT_TRUE(fits(label, label->text(), 0)) << label->objectName().toStdString() << " "
                                                        << label->text().toStdString() << " " << label->width();
        }
    EXPECT_TRUE(fits(Find<QPushButton>("Button1"), QStringLiteral("Button1"), 8));
    for (const char* edit : {"Edit2", "Edit3", "Edit4", "Edit5"})
        EXPECT_TRUE(fits(Find<QLineEdit>(edit), QStringLiteral("-2147483648"), 8)) << edit;

    // Every probe value, and positions of a large picture, show whole.
    // Positions and sizes stay as the texts change.
    auto* label = Find<QLabel>("Label1");
    const QPoint labelAt = label->pos();
    const QRect panels[] = {Find<QLabel>("StatusPanel0")->geometry(), Find<QLabel>("StatusPanel1")->geometry()};
    OpenPicture(Grey(256, 2, [](int x, int) { return x; }));
    for (const int x : {0, 8, 88, 188, 208, 255}) {
        MoveTo(x, 1);
        ASSERT_EQ(Panel("Label1"), QString::number(x));
        EXPECT_TRUE(fits(label, label->text(), 0)) << x;
        EXPECT_EQ(label->pos(), labelAt);
    }
    form->Image1MouseMove(Qt::NoModifier, 15999, 14999);
    for (int i = 0; i < 2; ++i) {
        auto* panel = Find<QLabel>(i == 0 ? "StatusPanel0" : "StatusPanel1");
        EXPECT_TRUE(fits(panel, panel->text(), 2 * panel->frameWidth())) << panel->text().toStdString();
        EXPECT_EQ(panel->height(), panels[i].height());
        EXPECT_EQ(panel->pos(), panels[i].topLeft());
    }
    EXPECT_EQ(Find<QLabel>("StatusPanel0")->width(), panels[0].width()) << "a panel keeps its width";
}

TEST_F(UsabilityTest, TitlesAndAccessibleNamesReadAsTheFormsSay)
{
    EXPECT_EQ(form->windowTitle(), QStringLiteral("Form1"));
    EXPECT_EQ(help->windowTitle(), QStringLiteral("Dialog"));
    // The platform appends the application's display name to every title
    // when one is set; none is, and the name stays for the desktop entry.
    const QString name = QGuiApplication::applicationName();
    QGuiApplication::setApplicationName(QStringLiteral("renamed"));
    EXPECT_EQ(QGuiApplication::applicationDisplayName(), QStringLiteral("renamed"));
    QGuiApplication::setApplicationName(name);
    EXPECT_EQ(name, QStringLiteral("imagebench"));
    EXPECT_EQ(QGuiApplication::desktopFileName(), QStringLiteral("imagebench"));

    // Each control's name holds its visible text, or says what it is where
    // it shows none; a label whose text is its content keeps that text as its
    // name and says in its description what the text is.
    const struct {
        QWidget* widget;
        const char* name;
        const char* description; // nullptr: any, but not empty
    } table[] = {{form.get(), "Form1", ""},
                 {help.get(), "Dialog", ""},
                 {Find<QPushButton>("Button1"), "Button1", nullptr},
                 {Image(), "Picture", ""},
                 {Find<QComboBox>("ComboBox1"), "Zoom", ""},
                 {Find<QLabel>("Label1"), "", "Pixel value"},
                 {Find<QLabel>("StatusPanel0"), "", "Pointer X"},
                 {Find<QLabel>("StatusPanel1"), "", "Pointer Y"}};
    for (const auto& row : table) {
        const std::string what = row.widget->objectName().toStdString();
        EXPECT_EQ(row.widget->accessibleName(), QString::fromLatin1(row.name)) << what;
        if (!row.description) {
            EXPECT_FALSE(row.widget->accessibleDescription().isEmpty()) << what;
        } else if (*row.description) {
            EXPECT_EQ(row.widget->accessibleDescription(), QString::fromLatin1(row.description)) << what;
        }
    }
    for (const char* edit : {"Edit2", "Edit3", "Edit4", "Edit5"})
        EXPECT_FALSE(Find<QLineEdit>(edit)->accessibleName().isEmpty()) << edit;
}

// ---------------------------------------------------------------------------
// Busy cursor and messages

TEST_F(UsabilityTest, CommandsShowTheWaitCursorAndRestoreItAlsoWhenTheyFail)
{
    const auto shape = [] { return QApplication::overrideCursor() ? QApplication::overrideCursor()->shape() : -1; };
    int during = -2;
    int atMessage = -2;
    Application->ExceptionDisplay = [&](const QString& message) {
        messages << message;
        atMessage = shape();
    };
    OpenPicture(RandomGrey(8, 8, 7));
    Find<TPictureDialog>("SavePictureDialog1")->ChooseFileName = [&](QString& chosen) {
        during = shape();
        chosen = dir.filePath(QStringLiteral("no-extension"));
        return true;
    };
    Trigger("Save1");
    EXPECT_EQ(during, Qt::WaitCursor);
    ASSERT_EQ(messages.size(), 1);
    EXPECT_EQ(atMessage, -1) << "the message is answered with the normal pointer";
    EXPECT_EQ(shape(), -1);

    MoveTo(2, 2); // the probe is no command: no cursor change
    EXPECT_EQ(shape(), -1);
}

TEST_F(UsabilityTest, EveryFailureIsAWholeSentence)
{
    // No picture: said at once, before any file name is asked for.
    int asked = 0;
    Find<TPictureDialog>("SavePictureDialog1")->ChooseFileName = [&](QString&) { return ++asked, false; };
    Trigger("Save1");
    EXPECT_EQ(asked, 0);
    ASSERT_EQ(messages.size(), 1);
    EXPECT_EQ(messages.takeFirst(), QStringLiteral("There is no picture to save."));

    // A damaged file: the user's words, with the reader's own in brackets.
    const QString broken = dir.filePath(QStringLiteral("x.png"));
    ASSERT_TRUE(WriteFile(broken, "\x89PNG\r\n\x1a\nnot really"));
    Open(broken);
    ASSERT_EQ(messages.size(), 1);
    const QString opening =
        QStringLiteral("Cannot open \"%1\": the file is damaged or is not a picture this program can read (")
            .arg(QDir::toNativeSeparators(broken));
    EXPECT_TRUE(messages.front().startsWith(opening)) << messages.front().toStdString();
    EXPECT_TRUE(messages.front().endsWith(QStringLiteral(")."))) << messages.front().toStdString();
    EXPECT_GT(messages.front().size(), opening.size() + 2);

    OpenPicture(RandomGrey(6, 6, 8));
    Open(dir.filePath(QStringLiteral("missing.png")));
    Open(dir.path());
    Save(dir.filePath(QStringLiteral("kind.xyz")));
    Save(dir.filePath(QStringLiteral("no/such/folder/x.png")));
    Application->Protect([] { throw std::bad_alloc(); });
    Application->Protect([] { throw 42; });
    Application->Protect([] { throw std::runtime_error(""); });
    ASSERT_EQ(messages.size(), 8);
    EXPECT_EQ(messages[5], QStringLiteral("There is not enough memory to finish this operation."));
    for (const QString& message : messages) {
        EXPECT_TRUE(message.endsWith(QLatin1Char('.'))) << message.toStdString();
        EXPECT_TRUE(message.front().isUpper()) << message.toStdString();
        EXPECT_FALSE(message.contains(QStringLiteral("bad_alloc"))) << message.toStdString();
    }
}

TEST_F(UsabilityTest, AFailedAllocationWhileAnEventIsDeliveredIsShownPlainly)
{
    class Thrower : public QObject {
    public:
        bool event(QEvent* event) override
        {
            if (event->type() == QEvent::User)
                throw std::bad_alloc();
            return QObject::event(event);
        }
    } thrower;
    QEvent event(QEvent::User);
    EXPECT_FALSE(QApplication::sendEvent(&thrower, &event));
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages.front().startsWith(QStringLiteral("There is not enough memory")))
        << messages.front().toStdString();
}

// ---------------------------------------------------------------------------
// File dialogs

TEST_F(UsabilityTest, FiltersListEachKindOnceWithAllItsExtensions)
{
    for (const bool saving : {false, true}) {
        const QStringList filters = PictureFilters(saving);
        ASSERT_GE(filters.size(), 3);
        EXPECT_TRUE(filters.front().startsWith(QStringLiteral("All pictures (*.")));
        EXPECT_EQ(filters.back(), QStringLiteral("All files (*)"));
        const QList<QByteArray> formats =
            saving ? QImageWriter::supportedImageFormats() : QImageReader::supportedImageFormats();
        std::multiset<QString> listed;
        for (int i = 1; i + 1 < filters.size(); ++i)
            for (const QString& pattern : filters[i].section(QLatin1Char('('), 1).chopped(1).split(QLatin1Char(' ')))
                listed.insert(pattern);
        for (const QByteArray& format : formats)
            EXPECT_EQ(listed.count(QStringLiteral("*.") + QString::fromLatin1(format)), 1u) << format.constData();
        EXPECT_EQ(listed.size(), size_t(formats.size())) << "no extension in two kinds";
        EXPECT_TRUE(filters.contains(QStringLiteral("JPEG (*.jpg *.jpeg)"))) << filters.join(';').toStdString();
        if (formats.contains("tiff")) {
            EXPECT_TRUE(filters.contains(QStringLiteral("TIFF (*.tif *.tiff)")));
        }
        EXPECT_TRUE(filters.contains(QStringLiteral("PNG (*.png)")));
    }
}

TEST_F(UsabilityTest, ANameWithoutExtensionTakesTheChosenKinds)
{
    OpenPicture(RandomGrey(9, 7, 9));
    auto* dialog = Find<TPictureDialog>("SavePictureDialog1");
    dialog->SetFilter(QStringLiteral("JPEG (*.jpg *.jpeg)"));
    Save(dir.filePath(QStringLiteral("photo")));
    ASSERT_TRUE(messages.isEmpty()) << messages.join('\n').toStdString();
    EXPECT_TRUE(QFile::exists(dir.filePath(QStringLiteral("photo.jpg"))));
    EXPECT_EQ(dialog->FileName(), dir.filePath(QStringLiteral("photo.jpg")));

    // A name with an extension keeps it.
    dialog->SetFilter(QStringLiteral("PNG (*.png)"));
    Save(dir.filePath(QStringLiteral("chart.bmp")));
    EXPECT_TRUE(QFile::exists(dir.filePath(QStringLiteral("chart.bmp"))));
    EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("chart.bmp.png"))));

    // Without a single kind, a missing extension stays an error.
    for (const QString& filter : {PictureFilters(true).front(), QStringLiteral("All files (*)")}) {
        messages.clear();
        dialog->SetFilter(filter);
        Save(dir.filePath(QStringLiteral("bare")));
        ASSERT_EQ(messages.size(), 1) << filter.toStdString();
        EXPECT_TRUE(messages.front().contains(QStringLiteral("no extension"))) << messages.front().toStdString();
    }
    EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("bare"))));
}

TEST_F(UsabilityTest, TheSaveDialogGivesABareNameTheChosenKindsExtension)
{
    OpenPicture(RandomGrey(9, 7, 10));
    Find<TPictureDialog>("SavePictureDialog1")->ChooseFileName = nullptr; // the real dialog
    QStringList offered;
    QString suffixForAll = QStringLiteral("unset");
    QString suffixForPng;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        offered = dialog->nameFilters();
        suffixForAll = dialog->defaultSuffix();
        // What choosing the kind in the dialog's list does.
        dialog->selectNameFilter(QStringLiteral("PNG (*.png)"));
        emit dialog->filterSelected(QStringLiteral("PNG (*.png)"));
        // The dialog adds it itself, so that it asks before replacing typed.png.
        suffixForPng = dialog->defaultSuffix();
        dialog->selectFile(dir.filePath(QStringLiteral("typed")));
        static_cast<QDialog*>(dialog)->accept(); // the dialog's own accept, as its Save button
    });
    Trigger("Save1");
    EXPECT_EQ(offered, PictureFilters(true));
    EXPECT_EQ(suffixForAll, QString()) << "All pictures adds no extension";
    EXPECT_EQ(suffixForPng, QStringLiteral("png"));
    ASSERT_TRUE(messages.isEmpty()) << messages.join('\n').toStdString();
    EXPECT_TRUE(QFile::exists(dir.filePath(QStringLiteral("typed.png"))));
    EXPECT_EQ(Find<TPictureDialog>("SavePictureDialog1")->Filter(), QStringLiteral("PNG (*.png)"));
}

} // namespace
