// Where the picture dialogs start.
#include "support/TestPictures.h"
#include "support/WindowFixture.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QStandardPaths>
#include <QTimer>

#include <functional>

namespace {

using namespace testpictures;

using DialogFoldersTest = WindowTest;

// The dialogs start where the user's pictures are: the Pictures folder at
// first, then the folder of the picture last opened or saved; Save proposes
// the current picture's name. A failed open changes nothing.
TEST_F(DialogFoldersTest, TheDialogsStartFromTheCurrentPicture)
{
    auto* open = Find<TPictureDialog>("OpenPictureDialog1");
    auto* save = Find<TPictureDialog>("SavePictureDialog1");
    const QString pictures = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
    const QString first = QDir(pictures).exists() ? pictures : QDir::homePath();
    EXPECT_EQ(open->StartPath(), first);
    EXPECT_NE(open->StartPath(), QDir::currentPath());

    // The real dialog opens there, whatever Qt's dialogs remember.
    open->ChooseFileName = nullptr;
    QString shown;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        shown = dialog->directory().absolutePath();
        dialog->reject();
    });
    Trigger("Open1");
    EXPECT_EQ(shown, QDir(first).absolutePath());

    ASSERT_TRUE(QDir(dir.path()).mkpath(QStringLiteral("a")) && QDir(dir.path()).mkpath(QStringLiteral("b")));
    const QString a = dir.filePath(QStringLiteral("a/one.png")), b = dir.filePath(QStringLiteral("b/two.png"));
    ASSERT_TRUE(RandomGrey(6, 5, 12).save(a));
    const QString bad = dir.filePath(QStringLiteral("broken.png"));
    ASSERT_TRUE(WriteFile(bad, QByteArray("not a picture")));
    const struct {
        const char* step;
        std::function<void()> run;
        QString openStart, saveStart;
    } table[] = {
        {"open a/one.png", [&] { Open(a); }, dir.filePath(QStringLiteral("a")), a},
        {"save as b/two.png", [&] { Save(b); }, dir.filePath(QStringLiteral("b")), b},
        {"open a broken file", [&] { Open(bad); }, dir.filePath(QStringLiteral("b")), b},
    };
    for (const auto& row : table) {
        row.run();
        EXPECT_EQ(open->StartPath(), row.openStart) << row.step;
        EXPECT_EQ(save->StartPath(), row.saveStart) << row.step;
    }
    ASSERT_EQ(messages.size(), 1) << "the broken file is reported";
    // The hook is handed the same start.
    QString offered;
    save->ChooseFileName = [&](QString& name) { return offered = name, false; };
    Trigger("Save1");
    EXPECT_EQ(offered, b);
}

} // namespace
