// Long work on the pool: the progress dialog, Cancel for Open, Save and the
// commands, and a close of the window while work runs. The work is held on
// the pool until the test has acted on the dialog, so that what is tested
// never depends on how fast the machine is.
#include "analysis/Matrices.h"
#include "app/Background.h"
#include "image/work/Progress.h"
#include "support/Reference.h"
#include "support/TestPictures.h"
#include "support/WindowFixture.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QImageWriter>
#include <QLabel>
#include <QLineEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QScreen>
#include <QSemaphore>
#include <QTimer>
#include <QWindow>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <vector>

using namespace testpictures;

namespace {

class BackgroundTest : public WindowTest {
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        BackgroundHooks.dialogDelay = 0;
    }
    void TearDown() override
    {
        hold.release(100);
        WaitForCancelledWork();
        BackgroundHooks = TBackgroundHooks();
        WindowTest::TearDown();
    }

    QProgressDialog* Dialog() const { return form->findChild<QProgressDialog*>(); }

    // Runs start (which starts a command) and, once the progress dialog
    // shows, act on it. Returns how often act ran.
    int OnceTheDialogShows(const std::function<void()>& start, const std::function<void(QProgressDialog*)>& act)
    {
        int acted = 0;
        QTimer watch;
        QObject::connect(&watch, &QTimer::timeout, [&] {
            auto* dialog = Dialog();
            if (acted || !dialog || !dialog->isVisible())
                return;
            ++acted;
            act(dialog);
        });
        watch.start(2);
        start();
        watch.stop();
        return acted;
    }
    // The same, with the work held before it begins until act has run.
    int WhileWorking(const std::function<void()>& start, const std::function<void(QProgressDialog*)>& act)
    {
        // The work waits until the test has done its part (at most 20 s,
        // so that a broken test fails instead of hanging).
        BackgroundHooks.aroundWork = [this](TProgress&, const std::function<void()>& work) {
            gate.tryAcquire(1, 20000);
            work();
        };
        const int acted = OnceTheDialogShows(start, [&](QProgressDialog* dialog) {
            act(dialog);
            gate.release();
        });
        BackgroundHooks.aroundWork = nullptr;
        return acted;
    }
    // Holds the work at the moment on the pool's thread: tells reached,
    // then waits for hold.
    void HoldAt(const char* moment)
    {
        fired = false;
        BackgroundHooks.aroundWork = [this, moment](TProgress& progress, const std::function<void()>& work) {
            const auto stay = [this] {
                if (fired.exchange(true))
                    return;
                reached.release();
                hold.tryAcquire(1, 20000);
            };
            if (std::strcmp(moment, "before writing") == 0)
                stay();
            const auto at = std::strcmp(moment, "midway") == 0 ? TProgress::TMoment::Advanced
                                                                : TProgress::TMoment::Committing;
            progress.watch = [stay, at](TProgress::TMoment now) {
                if (now == at)
                    stay();
            };
            work();
        };
    }

    QStringList Files() const { return QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System); }

    QSemaphore gate, reached, hold;
    std::atomic<bool> fired{false};
};

void PressEscape(QProgressDialog* dialog) { QTest::keyClick(dialog, Qt::Key_Escape); }
void ClickCancel(QProgressDialog* dialog)
{
    QTest::mouseClick(dialog->findChild<QPushButton*>("CancelBtn"), Qt::LeftButton);
}
void CloseTheDialog(QProgressDialog* dialog) { dialog->close(); }

} // namespace

TEST_F(BackgroundTest, CancelLeavesPictureFilesAndCaptureAsTheyWere)
{
    const QImage showing = RandomColour(37, 23, 5, false);
    const QImage other = RandomGrey(19, 11, 6);
    const struct {
        const char* name;
        const char* action; // the menu item
        const char* target; // the file the dialog answers with, if any
        bool targetExists;
        void (*cancel)(QProgressDialog*);
    } rows[] = {
        {"open", "Open1", "other.png", true, PressEscape},
        {"save over a file", "Save1", "old.png", true, PressEscape},
        {"save to a new file", "Save1", "new.bmp", false, ClickCancel},
        {"save as jpeg", "Save1", "old.jpg", true, CloseTheDialog},
        {"complement", "Complement1", nullptr, false, PressEscape},
        {"edge detection", "EdgeDetection1", nullptr, false, ClickCancel},
        {"flip", "FlipRotate1", nullptr, false, PressEscape},
        {"thresholding", "Thresholding1", nullptr, false, ClickCancel},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        OpenPicture(showing, QStringLiteral("showing.png"));
        ASSERT_EQ(Bitmap()->Width(), 37);
        const QString target = row.target ? dir.filePath(QString::fromLatin1(row.target)) : QString();
        if (row.target && row.targetExists) {
            ASSERT_TRUE(other.save(target));
        }
        const QByteArray pixels = Bytes(*Bitmap());
        const QByteArray fileBefore = row.targetExists ? FileBytes(target) : QByteArray();
        const QStringList filesBefore = Files();
        const std::vector<std::int32_t> captureBefore(CaptureMatrix, CaptureMatrix + MatrixSize * MatrixSize);
        if (row.target)
            Answer(std::strcmp(row.action, "Open1") == 0 ? "OpenPictureDialog1" : "SavePictureDialog1", target);

        EXPECT_EQ(WhileWorking([&] { Trigger(row.action); }, row.cancel), 1);
        EXPECT_EQ(Dialog(), nullptr) << "the dialog is gone";
        EXPECT_FALSE(BackgroundWorkRunning());
        WaitForCancelledWork();

        EXPECT_TRUE(messages.isEmpty()) << messages.join(QLatin1Char('\n')).toStdString();
        EXPECT_EQ(Bytes(*Bitmap()), pixels) << "the picture is as before";
        EXPECT_EQ(Bitmap()->BytesPerPixel(), 4);
        EXPECT_EQ(Files(), filesBefore) << "no file added or removed, no temporary file left";
        if (row.targetExists) {
            EXPECT_EQ(FileBytes(target), fileBefore) << "the target is byte for byte as before";
        }
        EXPECT_TRUE(std::equal(captureBefore.begin(), captureBefore.end(), CaptureMatrix));
        messages.clear();
    }
}

TEST_F(BackgroundTest, ACancelledSaveReturnsAtOnceAndItsWriterChangesNothing)
{
    // Every kind of writer, held at each moment of its work while Cancel is
    // pressed: the command is over while the writer is still held, and what
    // the writer does after it is released is thrown away.
    OpenPicture(RandomColour(320, 200, 11, false), QStringLiteral("showing.png"));
    const QByteArray pixels = Bytes(*Bitmap());
    const QImage old = RandomColour(23, 17, 12, false);
    for (const char* kind : {"png", "bmp", "ppm", "jpg", "tif", "webp"}) {
        ASSERT_TRUE(QImageWriter::supportedImageFormats().contains(kind)) << kind << " cannot be written here";
        for (const char* moment : {"before writing", "midway", "right before the replace"}) {
            SCOPED_TRACE(std::string(kind) + ", " + moment);
            const QString target = dir.filePath(QStringLiteral("target.") + QLatin1String(kind));
            QFile::remove(target);
            ASSERT_TRUE(old.save(target));
            const QByteArray before = FileBytes(target);
            const QStringList filesBefore = Files();
            HoldAt(moment);
            Answer("SavePictureDialog1", target);
            EXPECT_EQ(OnceTheDialogShows([&] { Trigger("Save1"); },
                                         [&](QProgressDialog* dialog) {
                                             ASSERT_TRUE(reached.tryAcquire(1, 20000)) << "the writer came there";
                                             ClickCancel(dialog);
                                         }),
                      1);
            // The command has returned while the writer is still held.
            EXPECT_TRUE(CancelledWorkRunning());
            EXPECT_FALSE(BackgroundWorkRunning());
            EXPECT_EQ(Dialog(), nullptr);
            EXPECT_EQ(FileBytes(target), before);
            hold.release();
            WaitForCancelledWork();
            EXPECT_FALSE(CancelledWorkRunning());
            EXPECT_EQ(FileBytes(target), before) << "the target is byte for byte as before";
            EXPECT_EQ(Files(), filesBefore) << "no temporary file left";
            EXPECT_EQ(Bytes(*Bitmap()), pixels);
            EXPECT_TRUE(messages.isEmpty()) << messages.join(QLatin1Char('\n')).toStdString();
            messages.clear();
        }
    }
}

TEST_F(BackgroundTest, ACommandAfterACancelledOneWaitsForItAndThenRuns)
{
    OpenPicture(RandomGrey(64, 48, 7), QStringLiteral("grey.png"));
    QByteArray expected = Bytes(*Bitmap());
    for (char& byte : expected)
        byte = char(255 - std::uint8_t(byte));
    HoldAt("before writing");
    EXPECT_EQ(OnceTheDialogShows([&] { Trigger("EdgeDetection1"); },
                                 [&](QProgressDialog* dialog) {
                                     ASSERT_TRUE(reached.tryAcquire(1, 20000));
                                     PressEscape(dialog);
                                 }),
              1);
    ASSERT_TRUE(CancelledWorkRunning());
    // The next command's work starts only once the cancelled one has ended:
    // it is still waiting when its dialog shows.
    BackgroundHooks.aroundWork = nullptr;
    bool waited = false;
    EXPECT_EQ(OnceTheDialogShows([&] { Trigger("Complement1"); },
                                 [&](QProgressDialog*) {
                                     waited = CancelledWorkRunning();
                                     hold.release();
                                 }),
              1);
    EXPECT_TRUE(waited);
    EXPECT_FALSE(CancelledWorkRunning());
    EXPECT_EQ(Bytes(*Bitmap()), expected) << "the complement of the picture, without the edge detection";
    EXPECT_TRUE(messages.isEmpty());
}

TEST_F(BackgroundTest, WorkNotCancelledCompletesBehindTheDialog)
{
    // The same commands without Cancel: the dialog shows and goes, and the
    // result is the plain command's.
    const QImage picture = RandomGrey(16, 9, 2);
    OpenPicture(picture, QStringLiteral("grey.png"));
    const QByteArray expected = reference::Complemented(picture);
    EXPECT_EQ(WhileWorking([&] { Trigger("Complement1"); }, [](QProgressDialog*) {}), 1);
    EXPECT_EQ(Bytes(*Bitmap()), expected);

    const QString path = dir.filePath(QStringLiteral("kept.png"));
    EXPECT_EQ(WhileWorking([&] { Save(path); }, [](QProgressDialog*) {}), 1);
    TPicture reread;
    reread.LoadFromFile(path);
    EXPECT_EQ(Bytes(*reread.Bitmap()), expected);
    EXPECT_EQ(Files(), QStringList({"grey.png", "kept.png"}));
    EXPECT_TRUE(messages.isEmpty());
}

TEST_F(BackgroundTest, WhileTheDialogShowsTheWindowPaintsButTakesNoInput)
{
    OpenPicture(RandomGrey(40, 30, 3), QStringLiteral("grey.png"));
    PaintRecorder counter(Image()); // paints of the picture control while the work is held
    int asked = 0;
    Find<TPictureDialog>("OpenPictureDialog1")->ChooseFileName = [&](QString&) { return ++asked, false; };
    QLineEdit* zoom = Find<QComboBox>("ComboBox1")->lineEdit();
    const QString zoomBefore = zoom ? zoom->text() : QString();
    const int acted = WhileWorking([&] { Trigger("EdgeDetection1"); }, [&](QProgressDialog* dialog) {
        EXPECT_EQ(dialog->parentWidget(), form.get());
        EXPECT_TRUE(dialog->findChild<QPushButton*>("CancelBtn")->isEnabled());
        // The window stays free for the window system (its close button
        // must reach it), yet typing into it changes nothing.
        EXPECT_EQ(QGuiApplication::modalWindow(), nullptr);
        if (zoom)
            QTest::keyClicks(zoom, QStringLiteral("75"));
        // The window still paints: an update now is drawn before the work ends.
        counter.paints = 0;
        Image()->update();
        QTest::qWait(30);
        EXPECT_GT(counter.paints, 0);
        // Another command reaching a handler meanwhile does not start.
        Trigger("Open1");
        Trigger("Complement1");
        EXPECT_EQ(asked, 0);
    });
    EXPECT_EQ(acted, 1);
    if (zoom) {
        EXPECT_EQ(zoom->text(), zoomBefore);
    }
    EXPECT_TRUE(messages.isEmpty());
}

TEST_F(BackgroundTest, TheDialogFitsALongFileNameAndNamesTheWholePath)
{
    OpenPicture(RandomGrey(8, 8, 1), QStringLiteral("grey.png"));
    const QString longName = QString(200, QLatin1Char('n')) + QStringLiteral("-end.png");
    for (const QString& name : {QStringLiteral("short.png"), longName}) {
        SCOPED_TRACE(name.size());
        const QString path = dir.filePath(name);
        const QString shown = QDir::toNativeSeparators(path);
        EXPECT_EQ(WhileWorking([&] { Save(path); },
                               [&](QProgressDialog* dialog) {
                                   const auto* label = dialog->findChild<QLabel*>("Label1");
                                   ASSERT_NE(label, nullptr);
                                   EXPECT_EQ(label->toolTip(), shown);
                                   EXPECT_EQ(label->accessibleDescription(), shown);
                                   EXPECT_TRUE(label->text().startsWith(QStringLiteral("Saving \u201C")));
                                   EXPECT_EQ(label->text().contains(name), name.size() < 20)
                                       << "a long name is shortened";
                                   EXPECT_LE(label->fontMetrics().horizontalAdvance(label->text()), label->width());
                                   const QRect room = dialog->screen()->availableGeometry();
                                   EXPECT_LE(dialog->frameGeometry().width(), room.width());
                               }),
                  1);
        EXPECT_TRUE(QFile::exists(path));
    }
    EXPECT_TRUE(messages.isEmpty());
}

TEST_F(BackgroundTest, CloseDuringWorkWaitsThenClosesWithTheFileComplete)
{
    const QImage picture = RandomColour(33, 17, 9, false);
    const struct {
        const char* name;
        void (*close)(TForm1*);
        bool cancel;
    } rows[] = {
        {"close()", [](TForm1* form) { form->close(); }, false},
        // What the close button, Alt+F4 and the window manager send.
        {"a close event",
         [](TForm1* form) {
             QCloseEvent event;
             QApplication::sendEvent(form, &event);
         },
         false},
        {"the platform window's close", [](TForm1* form) { form->windowHandle()->close(); }, false},
        {"exit without saving",
         [](TForm1* form) { form->findChild<QAction*>("ExitwithoutSaving1")->trigger(); }, false},
        {"close, then cancel", [](TForm1* form) { form->close(); }, true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        form->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
        OpenPicture(picture, QStringLiteral("showing.png"));
        const QString name = QStringLiteral("saved-%1.bmp").arg(&row - rows);
        const QString path = dir.filePath(name);
        QStringList filesAfter = Files();
        if (!row.cancel)
            filesAfter = (filesAfter << name), filesAfter.sort();
        bool heldOpen = false;
        bool fileWhileHeld = true;
        bool blocked = true;
        EXPECT_EQ(WhileWorking([&] { Save(path); },
                               [&](QProgressDialog* dialog) {
                                   blocked = QGuiApplication::modalWindow() != nullptr;
                                   row.close(form.get());
                                   QCoreApplication::processEvents();
                                   heldOpen = form->isVisible();
                                   fileWhileHeld = QFile::exists(path);
                                   if (row.cancel)
                                       PressEscape(dialog);
                               }),
                  1);
        EXPECT_FALSE(blocked) << "no modal window keeps the window system's close from the window";
        EXPECT_TRUE(heldOpen) << "the window waits for the work";
        EXPECT_FALSE(fileWhileHeld);
        QTRY_VERIFY_WITH_TIMEOUT(!form->isVisible(), 5000);
        WaitForCancelledWork();
        if (row.cancel) {
            EXPECT_FALSE(QFile::exists(path));
        } else {
            TPicture saved;
            saved.LoadFromFile(path);
            EXPECT_EQ(Bytes(*saved.Bitmap()), Bytes(*Bitmap())) << "the file is complete";
        }
        EXPECT_EQ(Files(), filesAfter) << "no temporary file";
        EXPECT_TRUE(messages.isEmpty());
    }
}

TEST_F(BackgroundTest, WorkerExceptionsReachTheMessageDisplay)
{
    // A failure on the worker is shown like any other: here a save to a
    // folder that does not exist.
    OpenPicture(RandomGrey(8, 8, 1));
    const QString path = dir.filePath(QStringLiteral("missing/folder/x.png"));
    EXPECT_EQ(WhileWorking([&] { Save(path); }, [](QProgressDialog*) {}), 1);
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages.front().contains(QDir::toNativeSeparators(path))) << messages.front().toStdString();
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_FALSE(BackgroundWorkRunning());
}
