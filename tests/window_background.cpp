// Long work on the worker: the progress dialog, Cancel for Open, Save and the
// commands, and a close of the window while work runs. The work is held on
// the worker until the test has acted on the dialog, so that what is tested
// never depends on how fast the machine is.
#include "analysis/Matrices.h"
#include "app/Background.h"
#include "app/ProgressDlg.h"
#include "image/work/Progress.h"
#include "support/Reference.h"
#include "support/TestPictures.h"
#include "support/WindowFixture.h"

#include <QDir>
#include <QFile>
#include <QProgressBar>
#include <QPushButton>
#include <QSemaphore>
#include <QTimer>
#include <QWindow>

#include <algorithm>
#include <cstring>
#include <vector>

using namespace testpictures;

namespace {

class BackgroundTest : public WindowTest {
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        BackgroundDialogDelay = 0;
    }
    void TearDown() override
    {
        BeforeBackgroundWork = nullptr;
        BackgroundDialogDelay = 500;
        WindowTest::TearDown();
    }

    // Runs start (which starts a command) and, once the progress dialog
    // shows, act on it; then lets the work go on. Returns how often act ran.
    int WhileWorking(const std::function<void()>& start, const std::function<void(TProgressDlg*)>& act)
    {
        // The worker waits until the test has done its part (at most 20 s,
        // so that a broken test fails instead of hanging).
        BeforeBackgroundWork = [this](TProgress&) { gate.tryAcquire(1, 20000); };
        int acted = 0;
        QTimer watch;
        QObject::connect(&watch, &QTimer::timeout, [&] {
            auto* dialog = form->findChild<TProgressDlg*>();
            if (acted || !dialog || !dialog->isVisible())
                return;
            ++acted;
            act(dialog);
            gate.release();
        });
        watch.start(2);
        start();
        watch.stop();
        BeforeBackgroundWork = nullptr;
        return acted;
    }

    QStringList Files() const { return QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System); }

    QSemaphore gate;
};

void PressEscape(TProgressDlg* dialog) { QTest::keyClick(dialog, Qt::Key_Escape); }
void ClickCancel(TProgressDlg* dialog)
{
    QTest::mouseClick(dialog->findChild<QPushButton*>("CancelBtn"), Qt::LeftButton);
}

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
        void (*cancel)(TProgressDlg*);
    } rows[] = {
        {"open", "Open1", "other.png", true, PressEscape},
        {"save over a file", "Save1", "old.png", true, PressEscape},
        {"save to a new file", "Save1", "new.bmp", false, ClickCancel},
        {"save as jpeg", "Save1", "old.jpg", true, ClickCancel},
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

        EXPECT_TRUE(messages.isEmpty()) << messages.join(QLatin1Char('\n')).toStdString();
        EXPECT_EQ(Bytes(*Bitmap()), pixels) << "the picture is as before";
        EXPECT_EQ(Bitmap()->BytesPerPixel(), 4);
        EXPECT_EQ(Files(), filesBefore) << "no file added or removed, no temporary file left";
        if (row.targetExists) {
            EXPECT_EQ(FileBytes(target), fileBefore) << "the target is byte for byte as before";
        }
        EXPECT_TRUE(std::equal(captureBefore.begin(), captureBefore.end(), CaptureMatrix));
        EXPECT_EQ(form->findChild<TProgressDlg*>(), nullptr) << "the dialog is gone";
        EXPECT_FALSE(BackgroundWorkRunning());
        messages.clear();
    }
}

TEST_F(BackgroundTest, WorkNotCancelledCompletesBehindTheDialog)
{
    // The same commands without Cancel: the dialog shows and goes, and the
    // result is the plain command's.
    const QImage picture = RandomGrey(16, 9, 2);
    OpenPicture(picture, QStringLiteral("grey.png"));
    const QByteArray expected = reference::Complemented(picture);
    EXPECT_EQ(WhileWorking([&] { Trigger("Complement1"); }, [](TProgressDlg*) {}), 1);
    EXPECT_EQ(Bytes(*Bitmap()), expected);

    const QString path = dir.filePath(QStringLiteral("kept.png"));
    EXPECT_EQ(WhileWorking([&] { Save(path); }, [](TProgressDlg*) {}), 1);
    TPicture reread;
    reread.LoadFromFile(path);
    EXPECT_EQ(Bytes(*reread.Bitmap()), expected);
    EXPECT_EQ(Files(), QStringList({"grey.png", "kept.png"}));
    EXPECT_TRUE(messages.isEmpty());
}

TEST_F(BackgroundTest, ProgressDialogIsModalAndTheWindowPaintsMeanwhile)
{
    OpenPicture(RandomGrey(40, 30, 3), QStringLiteral("grey.png"));
    PaintRecorder counter(Image()); // paints of the picture control while the work is held
    int asked = 0;
    Find<TPictureDialog>("OpenPictureDialog1")->ChooseFileName = [&](QString&) { return ++asked, false; };
    const int acted = WhileWorking([&] { Trigger("EdgeDetection1"); }, [&](TProgressDlg* dialog) {
        EXPECT_TRUE(dialog->isModal());
        EXPECT_EQ(dialog->parentWidget(), form.get());
        EXPECT_EQ(QApplication::activeModalWidget(), dialog);
        EXPECT_TRUE(dialog->findChild<QPushButton*>("CancelBtn")->isEnabled());
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
    EXPECT_TRUE(messages.isEmpty());
}

TEST_F(BackgroundTest, ProgressBarShowsTheShareDone)
{
    const struct {
        qint64 total, done;
        int maximum, value; // the bar: 0..0 is busy
    } rows[] = {
        {0, 0, 0, -1},       {0, 500, 0, -1},        {200, 0, 1000, 0},  {200, 50, 1000, 250},
        {3, 1, 1000, 333},   {200, 200, 1000, 1000}, {200, 900, 1000, 1000},
        {qint64(12000) * 9000 * 4, qint64(6000) * 9000 * 4, 1000, 500},
    };
    for (const auto& row : rows) {
        TProgress progress;
        progress.SetTotal(row.total);
        progress.Advance(row.done);
        TProgressDlg dialog(form.get(), progress, QStringLiteral("Working"));
        dialog.Update();
        const auto* bar = dialog.findChild<QProgressBar*>("ProgressBar1");
        EXPECT_EQ(bar->maximum(), row.maximum) << row.total << " " << row.done;
        if (row.maximum > 0) {
            EXPECT_EQ(bar->value(), row.value) << row.total << " " << row.done;
        }
    }
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
        // The platform window's close: what the frame's button and Alt+F4 do.
        {"the frame's close button", [](TForm1* form) { form->windowHandle()->close(); }, false},
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
        EXPECT_EQ(WhileWorking([&] { Save(path); },
                               [&](TProgressDlg* dialog) {
                                   row.close(form.get());
                                   QCoreApplication::processEvents();
                                   heldOpen = form->isVisible();
                                   fileWhileHeld = QFile::exists(path);
                                   if (row.cancel)
                                       PressEscape(dialog);
                               }),
                  1);
        EXPECT_TRUE(heldOpen) << "the window waits for the work";
        EXPECT_FALSE(fileWhileHeld);
        QTRY_VERIFY_WITH_TIMEOUT(!form->isVisible(), 5000);
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
    EXPECT_EQ(WhileWorking([&] { Save(path); }, [](TProgressDlg*) {}), 1);
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages.front().contains(QDir::toNativeSeparators(path))) << messages.front().toStdString();
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_FALSE(BackgroundWorkRunning());
}
