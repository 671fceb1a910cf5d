// Every hostile file through the real window and the open dialog: a message
// naming the file and the reason, the picture that was showing kept byte for
// byte, and a window that still works afterwards. What Qt's readers decode
// in part (truncated BMP and GIF files, say) is counted by kind.
#include "support/HostileInputs.h"
#include "support/TestPictures.h"
#include "support/WindowFixture.h"

#include <QDir>
#include <QFile>

#include <cstdio>
#include <map>

using namespace testpictures;

namespace {

struct Tally {
    int tried = 0;
    int refused = 0;
    int recovered = 0;
    int truncatedRecovered = 0;
    int skipped = 0;
};

} // namespace

TEST_F(WindowTest, HostileFilesAreRefusedAndThePictureStaysByteForByte)
{
    const QString folder = dir.filePath(QStringLiteral("hostile"));
    ASSERT_TRUE(QDir().mkpath(folder));
    // Others may pass through, so that an unreadable file is refused for its
    // own permissions, not its folder's.
    const auto open = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner |
                      QFileDevice::ReadOther | QFileDevice::ExeOther;
    QFile::setPermissions(dir.path(), open);
    QFile::setPermissions(folder, open);
    const QList<hostile::Input> inputs = hostile::Build(folder);

    const QString baseline = OpenPicture(RandomColour(23, 17, 5, false), QStringLiteral("baseline.png"));
    ASSERT_TRUE(messages.isEmpty()) << messages.join(QLatin1Char('\n')).toStdString();
    const QByteArray before = Bytes(*Bitmap());
    const TPixelFormat format = Bitmap()->PixelFormat();

    std::map<QString, Tally> tally;
    std::map<QString, QStringList> reasons;
    for (const hostile::Input& input : inputs) {
        SCOPED_TRACE((input.kind + QStringLiteral(": ") + input.what + QStringLiteral(" (") + input.path +
                      QLatin1Char(')'))
                         .toStdString());
        Tally& t = tally[input.kind];
        messages.clear();
        Image()->SetAutoSize(false); // turned on before the load, and it stays on
        if (input.unreadable) {
            if (hostile::ReadableDespitePermissions(input.path)) {
                ++t.skipped;
                std::printf("skipped %s: this process reads files whatever their permissions\n",
                            qPrintable(input.what));
                continue;
            }
            hostile::Unprivileged scope;
            ASSERT_TRUE(scope.Active()) << scope.Why().toStdString();
            Open(input.path);
        } else {
            Open(input.path);
        }
        ++t.tried;

        if (!messages.isEmpty()) {
            EXPECT_NE(input.expect, hostile::Expect::Opens) << messages.front().toStdString();
            ++t.refused;
            ASSERT_EQ(messages.size(), 1) << messages.join(QLatin1Char('\n')).toStdString();
            const QString& message = messages.front();
            const QString named = QStringLiteral("\"%1\"").arg(QDir::toNativeSeparators(input.path));
            EXPECT_TRUE(message.contains(named)) << message.toStdString();
            // Something follows the name: the reason.
            const QString reason = message.mid(message.indexOf(named) + named.size());
            EXPECT_GE(reason.trimmed().size(), 8) << "no reason given: " << message.toStdString();
            reasons[reason.trimmed()] << input.kind;
            EXPECT_EQ(Bytes(*Bitmap()), before);
            EXPECT_EQ(Bitmap()->PixelFormat(), format);
            EXPECT_EQ(Image()->size(), QSize(23, 17));
            EXPECT_TRUE(Image()->AutoSize());
            continue;
        }
        // Qt's reader decoded the file (or part of it) and said so.
        EXPECT_NE(input.expect, hostile::Expect::Refused) << "loaded without a message";
        ++t.recovered;
        if (input.truncated)
            ++t.truncatedRecovered;
        const TBitmap& loaded = *Bitmap();
        EXPECT_FALSE(loaded.Empty());
        EXPECT_TRUE(loaded.BytesPerPixel() == 1 || loaded.BytesPerPixel() == 4);
        if (loaded.BytesPerPixel() == 1) {
            EXPECT_EQ(loaded.Image().colorCount(), 256);
        }
        EXPECT_EQ(Image()->size(), QSize(loaded.Width(), loaded.Height()));
        Open(baseline);
        ASSERT_TRUE(messages.isEmpty()) << messages.join(QLatin1Char('\n')).toStdString();
        ASSERT_EQ(Bytes(*Bitmap()), before);
    }

    // The figures the README quotes.
    int total = 0;
    int pictureKinds = 0;
    std::printf("%-12s %6s %8s %10s %22s %8s\n", "kind", "tried", "refused", "recovered", "of which truncated",
                "skipped");
    for (const auto& [kind, t] : tally) {
        std::printf("%-12s %6d %8d %10d %22d %8d\n", qPrintable(kind), t.tried, t.refused, t.recovered,
                    t.truncatedRecovered, t.skipped);
        total += t.tried;
        if (kind != QStringLiteral("file system") && t.tried > 0)
            ++pictureKinds;
    }
    std::printf("%d hostile inputs tried across %d picture kinds\n", total, pictureKinds);
    for (auto& [reason, kinds] : reasons) {
        kinds.removeDuplicates();
        std::printf("  %s  (%s)\n", qPrintable(reason), qPrintable(kinds.join(QLatin1Char(' '))));
    }
    EXPECT_GE(total, 60);
    EXPECT_GE(pictureKinds, 8);

    // The window goes on: the picture is the one opened first, commands work
    // on it and a valid file still opens.
    EXPECT_EQ(Bytes(*Bitmap()), before);
    Trigger("Complement1");
    EXPECT_NE(Bytes(*Bitmap()), before);
    Trigger("Complement1");
    EXPECT_EQ(Bytes(*Bitmap()), before);
    form->repaint();
    messages.clear();
    const QImage after = RandomGrey(9, 4, 3);
    OpenPicture(after, QStringLiteral("after.png"));
    EXPECT_TRUE(messages.isEmpty());
    EXPECT_EQ(Bitmap()->Image(), after);
}
