// A fresh main window and help dialog for each window test, with exceptions
// recorded instead of shown in a blocking message box.
#pragma once

#include "app/Application.h"
#include "app/ImageControl.h"
#include "app/PictureDialogs.h"
#include "app/Unit1.h"
#include "app/Unit2.h"
#include "image/operations/Operations.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QCoreApplication>
#include <QImage>
#include <QScreen>
#include <QLabel>
#include <QLineEdit>
#include <QPaintEvent>
#include <QPushButton>
#include <QRegion>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

// The picture commands' menu items and the operations they run.
struct Command {
    const char* action;
    void (*operation)(TBitmap&);
};
inline constexpr Command kCommands[] = {
    {"Complement1", Complement}, {"EdgeDetection1", EdgeDetect}, {"FlipRotate1", MirrorHorizontally}};

// Records the paint events a widget receives while it lives.
class PaintRecorder : public QObject {
public:
    explicit PaintRecorder(QWidget* widget) : widget_(widget) { widget->installEventFilter(this); }
    ~PaintRecorder() override { widget_->removeEventFilter(this); }
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint) {
            ++paints;
            painted += static_cast<QPaintEvent*>(event)->region();
        }
        return false;
    }
    int paints = 0;
    QRegion painted;

private:
    QWidget* widget_;
};

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        Application->ExceptionDisplay = [this](const QString& message) { messages << message; };
        help = std::make_unique<THelpDlg>();
        HelpDlg = help.get();
        form = std::make_unique<TForm1>();
        Form1 = form.get();
        form->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    }

    void TearDown() override
    {
        form.reset();
        help.reset();
        Form1 = nullptr;
        HelpDlg = nullptr;
        Application->ExceptionDisplay = nullptr;
    }

    template <class T> T* Find(const char* name) const
    {
        T* child = form->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(child, nullptr) << "no child named " << name;
        return child;
    }
    TImage* Image() const { return Find<TImage>("Image1"); }
    TBitmap* Bitmap() const { return Image()->Picture()->Bitmap(); }
    void Trigger(const char* action) const { Find<QAction>(action)->trigger(); }

    // Makes the open (or save) dialog answer with this name, or cancel when
    // the name is empty.
    void Answer(const char* dialog, const QString& fileName) const
    {
        Find<TPictureDialog>(dialog)->ChooseFileName = [fileName](QString& chosen) {
            if (fileName.isEmpty())
                return false;
            chosen = fileName;
            return true;
        };
    }
    void Open(const QString& fileName) const
    {
        Answer("OpenPictureDialog1", fileName);
        Trigger("Open1");
    }
    void Save(const QString& fileName) const
    {
        Answer("SavePictureDialog1", fileName);
        Trigger("Save1");
    }
    // Saves a picture to a file in the temporary folder and opens it.
    QString OpenPicture(const QImage& image, const QString& name = QStringLiteral("open.png")) const
    {
        const QString path = dir.filePath(name);
        EXPECT_TRUE(image.save(path)) << path.toStdString();
        Open(path);
        return path;
    }
    // What the screen shows where the control is, once the events queued now
    // are handled as the event loop would: the window's buffer as last drawn.
    // A grab() would paint the control anew, even where the window was never
    // redrawn.
    QImage OnScreen(const QWidget* control) const
    {
        QCoreApplication::processEvents();
        const QPoint at = control->mapTo(form.get(), QPoint(0, 0));
        return form->screen()
            ->grabWindow(form->winId(), at.x(), at.y(), control->width(), control->height())
            .toImage();
    }
    QString Text(const char* lineEdit) const { return Find<QLineEdit>(lineEdit)->text(); }
    QString Panel(const char* label) const { return Find<QLabel>(label)->text(); }
    // Types the text into the zoom box, as a user does, and confirms it with
    // Enter or leaves the box with Tab or a click elsewhere.
    enum class Leave { Enter, Tab, Elsewhere };
    void Zoom(const QString& text, Leave leave = Leave::Enter) const
    {
        auto* box = Find<QComboBox>("ComboBox1");
        if (leave != Leave::Enter) {
            QApplication::setActiveWindow(form.get());
            box->setFocus();
        }
        box->lineEdit()->selectAll();
        QTest::keyClicks(box->lineEdit(), text);
        if (leave == Leave::Elsewhere)
            Find<QPushButton>("Button1")->setFocus();
        else
            QTest::keyClick(box->lineEdit(), leave == Leave::Tab ? Qt::Key_Tab : Qt::Key_Return);
    }
    // Moves the pointer to a position of the control, sent to the window so
    // that (0, 0) is not taken for "the control's centre".
    void MoveTo(int x, int y) const { QTest::mouseMove(form.get(), Image()->mapTo(form.get(), QPoint(x, y))); }

    std::unique_ptr<THelpDlg> help;
    std::unique_ptr<TForm1> form;
    QStringList messages;
    QTemporaryDir dir;
};
