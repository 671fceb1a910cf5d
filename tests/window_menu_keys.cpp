// The menus by keyboard, as Windows users know them, on every platform.
#include "support/TestPictures.h"
#include "support/WindowFixture.h"

#include <QApplication>
#include <QMenu>
#include <QMenuBar>
#include <QTimer>

namespace {

using namespace testpictures;

using MenuKeysTest = WindowTest;

// The keys that reach the menu bar from the zoom box: F10, or a lone Alt
// (some platforms report Alt as held on its own press, others not).
enum class MenuKey { F10, AltHeld, AltAlone };
void PressMenuKey(MenuKey key)
{
    if (key == MenuKey::F10) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_F10);
        return;
    }
    QTest::keyPress(QApplication::focusWidget(), Qt::Key_Alt,
                    key == MenuKey::AltHeld ? Qt::AltModifier : Qt::NoModifier);
    QTest::keyRelease(QApplication::focusWidget(), Qt::Key_Alt, Qt::NoModifier);
}

// Each key highlights "File" and opens nothing; Escape leaves the bar.
// Then, as on any Windows program, Right x3, Down, Enter runs Complement;
// Down on Help (a command of its own) opens the help dialog, like Enter,
// Space and a click.
TEST_F(MenuKeysTest, MenuKeysHighlightTheBarAndOpenMenusAsWindowsDoes)
{
    OpenPicture(Grey(5, 3, [](int x, int y) { return 10 * x + y; }));
    auto* bar = Find<QMenuBar>("MainMenu1");
    auto* zoom = Find<QComboBox>("ComboBox1");
    const QString zoomText = zoom->currentText();
    const auto fromTheZoomBox = [&] {
        QApplication::setActiveWindow(form.get());
        zoom->setFocus();
    };
    for (const MenuKey key : {MenuKey::F10, MenuKey::AltHeld, MenuKey::AltAlone}) {
        const int k = int(key);
        fromTheZoomBox();
        PressMenuKey(key);
        EXPECT_EQ(QApplication::activePopupWidget(), nullptr) << k << ": a menu opened at once";
        ASSERT_EQ(bar->activeAction(), Find<QMenu>("File1")->menuAction()) << k;
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
        EXPECT_EQ(bar->activeAction(), nullptr) << k << ": Escape leaves the bar";
        EXPECT_EQ(QApplication::activePopupWidget(), nullptr) << k;

        // Down opens the highlighted menu with its first item selected;
        // Escape closes it and keeps the title highlighted, a second leaves.
        fromTheZoomBox();
        PressMenuKey(key);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
        auto* file = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        ASSERT_EQ(file, Find<QMenu>("File1")) << k;
        EXPECT_EQ(file->activeAction(), Find<QAction>("Open1")) << k;
        QTest::keyClick(file, Qt::Key_Escape);
        EXPECT_EQ(QApplication::activePopupWidget(), nullptr) << k;
        EXPECT_EQ(bar->activeAction(), file->menuAction()) << k;
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
        EXPECT_EQ(bar->activeAction(), nullptr) << k;
    }
    EXPECT_EQ(zoom->currentText(), zoomText);

    // Alt with another key opens no menu and types nothing into the box.
    fromTheZoomBox();
    QTest::keyPress(QApplication::focusWidget(), Qt::Key_Alt, Qt::AltModifier);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_F, Qt::AltModifier);
    QTest::keyRelease(QApplication::focusWidget(), Qt::Key_Alt, Qt::NoModifier);
    EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
    EXPECT_EQ(bar->activeAction(), nullptr);
#ifndef Q_OS_MACOS
    EXPECT_EQ(zoom->currentText(), zoomText) << "Alt+F typed into the zoom box";
#endif

    // F10, Right x3, Down, Enter: Complement.
    fromTheZoomBox();
    PressMenuKey(MenuKey::F10);
    for (int i = 0; i < 3; ++i)
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Right);
    EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
    ASSERT_EQ(QApplication::activePopupWidget(), Find<QMenu>("ImageProcessing1"));
    QTest::keyClick(QApplication::activePopupWidget(), Qt::Key_Return);
    EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
    EXPECT_EQ(Bitmap()->ScanLine(1)[2], 255 - 21) << "complemented";
    EXPECT_EQ(Text("Edit2"), QStringLiteral("Edit2")) << "no key reached a box";

    // Help: F10, Left reaches it; Down, Enter and Space each open the dialog.
    for (const Qt::Key choose : {Qt::Key_Down, Qt::Key_Return, Qt::Key_Space}) {
        fromTheZoomBox();
        PressMenuKey(MenuKey::F10);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Left);
        ASSERT_EQ(bar->activeAction(), Find<QAction>("Help1")) << choose;
        bool shown = false;
        QTimer::singleShot(0, [&] {
            shown = QApplication::activeModalWidget() == HelpDlg;
            QTest::keyClick(HelpDlg, Qt::Key_Return);
        });
        QTest::keyClick(QApplication::focusWidget(), choose);
        EXPECT_TRUE(shown) << choose;
        EXPECT_FALSE(HelpDlg->isVisible()) << choose;
        EXPECT_EQ(QApplication::activePopupWidget(), nullptr) << choose;
    }
    EXPECT_TRUE(messages.isEmpty()) << messages.join('\n').toStdString();
}

// However the help dialog was reached and closed, the keys go back where
// they were: the zoom box has the focus, the bar highlights nothing, and a
// key typed reaches the box. Alt with letters that name no menu does nothing.
TEST_F(MenuKeysTest, TheKeysGoBackWhereTheyWereAfterHelpAndAltLettersDoNothing)
{
    auto* bar = Find<QMenuBar>("MainMenu1");
    auto* zoom = Find<QComboBox>("ComboBox1");
    const auto fromTheZoomBox = [&] {
        QApplication::setActiveWindow(form.get());
        zoom->setFocus();
        QCoreApplication::processEvents();
    };
    const struct {
        const char* road;
        Qt::Key choose; // Qt::Key_unknown: the menu item triggered, as a click does
        Qt::Key close;
    } table[] = {{"Down, then OK", Qt::Key_Down, Qt::Key_Return},
                 {"Enter, then Escape", Qt::Key_Return, Qt::Key_Escape},
                 {"Space, then OK", Qt::Key_Space, Qt::Key_Return},
                 {"a click, then Escape", Qt::Key_unknown, Qt::Key_Escape}};
    for (const auto& row : table) {
        SCOPED_TRACE(row.road);
        fromTheZoomBox();
        QWidget* before = QApplication::focusWidget();
        ASSERT_NE(before, nullptr);
        bool shown = false;
        QTimer::singleShot(0, [&] {
            shown = QApplication::activeModalWidget() == HelpDlg;
            QTest::keyClick(HelpDlg, row.close);
        });
        if (row.choose == Qt::Key_unknown) {
            Trigger("Help1");
        } else {
            PressMenuKey(MenuKey::F10);
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Left);
            ASSERT_EQ(bar->activeAction(), Find<QAction>("Help1"));
            QTest::keyClick(QApplication::focusWidget(), row.choose);
        }
        // The window system gives the main window the keys back.
        QApplication::setActiveWindow(form.get());
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
        EXPECT_TRUE(shown);
        EXPECT_FALSE(HelpDlg->isVisible());
        EXPECT_EQ(QApplication::focusWidget(), before)
            << (QApplication::focusWidget() ? QApplication::focusWidget()->metaObject()->className() : "nothing");
        EXPECT_EQ(bar->activeAction(), nullptr);
        EXPECT_FALSE(bar->hasFocus());
    }
    for (const Qt::Key letter : {Qt::Key_H, Qt::Key_X, Qt::Key_Q, Qt::Key_1}) {
        fromTheZoomBox();
        const QString text = zoom->currentText();
        QWidget* before = QApplication::focusWidget();
        QTest::keyClick(QApplication::focusWidget(), letter, Qt::AltModifier);
        QCoreApplication::processEvents();
        EXPECT_EQ(bar->activeAction(), nullptr) << "Alt+" << char(letter);
        EXPECT_EQ(QApplication::activePopupWidget(), nullptr) << "Alt+" << char(letter);
        EXPECT_EQ(QApplication::focusWidget(), before) << "Alt+" << char(letter);
        EXPECT_EQ(zoom->currentText(), text) << "Alt+" << char(letter);
    }
    EXPECT_TRUE(messages.isEmpty()) << messages.join('\n').toStdString();
}

} // namespace
