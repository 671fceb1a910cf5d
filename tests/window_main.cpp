// The main window as built from its form: initial state, menu, shortcuts,
// cancelled dialogs, the standard message box, help and closing.
#include "support/TestPictures.h"
#include "support/WindowFixture.h"

#include <QFile>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>

using namespace testpictures;

namespace {

QStringList Captions(const QList<QAction*>& actions)
{
    QStringList out;
    for (const QAction* action : actions)
        out << (action->isSeparator() ? QStringLiteral("-") : action->text());
    return out;
}

} // namespace

TEST_F(WindowTest, StartsEmptyAndKeepsItsLayoutWhenResized)
{
    EXPECT_EQ(Find<QLabel>("Label1")->text(), QStringLiteral("Label1"));
    EXPECT_EQ(Find<QPushButton>("Button1")->text(), QStringLiteral("Button1"));
    for (const char* edit : {"Edit2", "Edit3", "Edit4", "Edit5"})
        EXPECT_EQ(Text(edit), QString::fromLatin1(edit));
    auto* zoom = Find<QComboBox>("ComboBox1");
    EXPECT_TRUE(zoom->isEditable());
    EXPECT_EQ(zoom->currentText(), QStringLiteral("100%"));
    QStringList items;
    for (int i = 0; i < zoom->count(); ++i)
        items << zoom->itemText(i);
    EXPECT_EQ(items, QStringList({"25%", "50%", "75%", "100%", "150%", "200%"}));
    EXPECT_TRUE(Find<QLabel>("StatusPanel0")->text().isEmpty());
    EXPECT_TRUE(Find<QLabel>("StatusPanel1")->text().isEmpty());

    TImage* image = Image();
    EXPECT_FALSE(image->AutoSize());
    EXPECT_FALSE(image->Stretch());
    EXPECT_TRUE(Bitmap()->Empty());

    // The status bar runs along the bottom edge at any size, its panels side
    // by side; the controls stay where the form put them.
    auto* status = Find<QStatusBar>("StatusBar1");
    const QRect imageAt = image->geometry();
    for (const QSize size : {form->size(), QSize(800, 600)}) {
        form->resize(size);
        QCoreApplication::processEvents();
        EXPECT_EQ(status->geometry().bottom(), form->height() - 1);
        EXPECT_EQ(status->width(), form->width());
        EXPECT_EQ(Find<QLabel>("StatusPanel1")->x(), Find<QLabel>("StatusPanel0")->geometry().right() + 1);
        EXPECT_EQ(image->geometry(), imageAt);
    }

    EXPECT_FALSE(form->windowIcon().isNull());
    const QPixmap icon = form->windowIcon().pixmap(32, 32);
    EXPECT_EQ(icon.size(), QSize(32, 32));
}

TEST_F(WindowTest, TabOrderFollowsTheForm)
{
    QWidget* order[] = {Find<QComboBox>("ComboBox1"), Find<QPushButton>("Button1"), Find<QLineEdit>("Edit2"),
                        Find<QLineEdit>("Edit3"),     Find<QLineEdit>("Edit4"),     Find<QLineEdit>("Edit5")};
    QApplication::setActiveWindow(form.get());
    order[0]->setFocus();
    for (int i = 1; i < 6; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        EXPECT_EQ(QApplication::focusWidget(), order[i]) << "after " << i << " tabs";
    }
}

TEST_F(WindowTest, MenuHoldsItsItemsInOrder)
{
    EXPECT_EQ(Captions(Find<QMenuBar>("MainMenu1")->actions()),
              QStringList({"File", "Edit", "View", "Image Processing", "Help"}));
    EXPECT_EQ(Captions(Find<QMenu>("File1")->actions()), QStringList({"Open", "Close", "Save", "-", "Exit"}));
    EXPECT_EQ(Captions(Find<QMenu>("Exit1")->actions()), QStringList({"Exit with Saving", "Exit without Saving"}));
    EXPECT_TRUE(Find<QMenu>("Edit1")->actions().isEmpty());
    EXPECT_EQ(Captions(Find<QMenu>("View1")->actions()), QStringList({"Flip/Rotate"}));
    EXPECT_EQ(Captions(Find<QMenu>("ImageProcessing1")->actions()),
              QStringList({"Complement", "Thresholding", "Edge Detection"}));
    EXPECT_TRUE(Find<QAction>("N1")->isSeparator());
    EXPECT_FALSE(Find<QAction>("Close1")->isEnabled());
    EXPECT_EQ(Find<QAction>("Open1")->shortcut(), QKeySequence(QStringLiteral("Ctrl+O")));
    EXPECT_EQ(Find<QAction>("Save1")->shortcut(), QKeySequence(QStringLiteral("Ctrl+S")));
    // Help acts when chosen: a top-level item, not a submenu.
    EXPECT_EQ(Find<QAction>("Help1")->menu(), nullptr);
}

TEST_F(WindowTest, ShortcutsOpenTheDialogs)
{
    int asked[2] = {0, 0};
    Find<TPictureDialog>("OpenPictureDialog1")->ChooseFileName = [&](QString&) { return ++asked[0], false; };
    Find<TPictureDialog>("SavePictureDialog1")->ChooseFileName = [&](QString&) { return ++asked[1], false; };
    QApplication::setActiveWindow(form.get());
    QTest::keyClick(form.get(), Qt::Key_O, Qt::ControlModifier);
    EXPECT_EQ(asked[0], 1);
    EXPECT_EQ(asked[1], 0);
    Bitmap()->SetImage(RandomGrey(4, 3, 1));
    QTest::keyClick(form.get(), Qt::Key_S, Qt::ControlModifier);
    EXPECT_EQ(asked[1], 1);
}

TEST_F(WindowTest, ItemsWithoutCommandsChangeNothing)
{
    OpenPicture(RandomGrey(20, 10, 1));
    const QByteArray before = Bytes(*Bitmap());
    const QRect geometry = Image()->geometry();
    Trigger("ExitwithSaving1");
    Trigger("Close1"); // disabled: triggering does nothing
    Find<QMenu>("Edit1")->menuAction()->trigger();
    QCoreApplication::processEvents();
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(Bytes(*Bitmap()), before);
    EXPECT_EQ(Image()->geometry(), geometry);
    EXPECT_TRUE(messages.isEmpty());
}

TEST_F(WindowTest, CancelledDialogsChangeNothing)
{
    Open(QString()); // cancel
    EXPECT_FALSE(Image()->AutoSize());
    EXPECT_TRUE(Bitmap()->Empty());
    Bitmap()->SetImage(RandomGrey(4, 3, 1));
    Save(QString());
    EXPECT_TRUE(messages.isEmpty());
    EXPECT_TRUE(QDir(dir.path()).isEmpty());
}

TEST_F(WindowTest, TheStandardDisplayShowsTheMessageInABox)
{
    Application->ExceptionDisplay = nullptr;
    QString shown;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        shown = box->text();
        box->button(QMessageBox::Ok)->click();
    });
    Save(dir.filePath(QStringLiteral("x.png")));
    EXPECT_EQ(shown, QStringLiteral("There is no picture to save."));
    EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("x.png"))));
    EXPECT_TRUE(form->isVisible());
}

TEST_F(WindowTest, HelpIsModalAndTheSameEveryTime)
{
    int opened = 0;
    Find<TPictureDialog>("OpenPictureDialog1")->ChooseFileName = [&](QString&) { return ++opened, false; };
    QStringList texts;
    const auto inspect = [&] {
        ASSERT_EQ(QApplication::activeModalWidget(), HelpDlg);
        texts << HelpDlg->findChild<QLabel*>(QStringLiteral("Label1"))->text();
        // The main window takes no command while the dialog is open.
        QTest::keyClick(form.get(), Qt::Key_O, Qt::ControlModifier);
        auto* ok = HelpDlg->findChild<QPushButton*>(QStringLiteral("OKBtn"));
        EXPECT_TRUE(ok->isDefault());
        QTest::mouseClick(ok, Qt::LeftButton);
    };
    for (int i = 0; i < 2; ++i) {
        QTimer::singleShot(0, inspect);
        Trigger("Help1");
        EXPECT_FALSE(HelpDlg->isVisible());
        EXPECT_EQ(HelpDlg->result(), 1);
    }
    EXPECT_EQ(texts, QStringList({"GOOD!!", "GOOD!!"}));
    EXPECT_EQ(opened, 0);

    // Enter presses the default button.
    QTimer::singleShot(0, [] { QTest::keyClick(HelpDlg, Qt::Key_Return); });
    EXPECT_EQ(HelpDlg->ShowModal(), 1);
}

TEST_F(WindowTest, ClosingTheWindowEndsTheLoopWithExitCodeZero)
{
    for (const bool byMenu : {true, false}) {
        form->show();
        QTimer::singleShot(0, [&] {
            if (byMenu)
                Trigger("ExitwithoutSaving1");
            else
                form->close(); // the frame's close button
        });
        EXPECT_EQ(QApplication::exec(), 0);
        EXPECT_FALSE(form->isVisible());
    }
}
