// Rows for a command run once in a fresh process, as a user meets it: no
// memory the process mapped before, nothing kept from an earlier run. Each
// iteration starts this program again with IMAGEBENCH_COLD naming the
// command; that process makes its input (not timed), runs the command once,
// prints the milliseconds it took and ends. The loop rows beside them run
// the same commands again and again in one process.
#include "BenchSupport.h"
#include "PngPictures.h"

#include "analysis/Analysis.h"
#include "image/bitmap/Graphics.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QImageWriter>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>

#include <cstdio>
#include <map>
#include <string>

namespace {

constexpr int kSide = 8192;

QString Folder()
{
    static QTemporaryDir dir;
    return dir.path();
}

QString PngFile()
{
    const QString path = Folder() + QStringLiteral("/cold-colour.png");
    if (!QFile::exists(path))
        QImageWriter(path, "png").write(bench::NoisyGradient(kSide, false));
    return path;
}

// A command timed in the fresh process: set-up (not timed) returns the
// command itself.
using TCold = std::function<std::function<void()>(const QString& file)>;

const std::map<std::string, TCold>& Commands()
{
    static const std::map<std::string, TCold> commands = {
        {"thresholding",
         [](const QString&) {
             auto bitmap = std::make_shared<TBitmap>();
             bitmap->SetImage(bench::ColourPicture(kSide, kSide));
             return [bitmap] { CaptureBitmap(*bitmap); };
         }},
        {"open-png",
         [](const QString& file) {
             return [file] {
                 TPicture picture;
                 picture.LoadFromFile(file);
             };
         }},
        {"save-png",
         [](const QString& file) {
             auto picture = std::make_shared<TPicture>();
             picture->Bitmap()->SetImage(bench::NoisyGradient(kSide, false));
             return [picture, file] { picture->SaveToFile(file + QStringLiteral(".saved.png")); };
         }},
    };
    return commands;
}

void AddCold(const char* key, const char* command, std::function<QString()> file)
{
    bench::Row row;
    row.command = std::string(command) + ", cold";
    row.picture = bench::PictureName(kSide, kSide, true);
    row.manualTime = true;
    row.iterations = 3;
    row.ours = [key, file](benchmark::State& state) {
        const QString path = file ? file() : QString();
        for (auto _ : state) {
            QProcess child;
            QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
            environment.insert(QStringLiteral("IMAGEBENCH_COLD"), QString::fromLatin1(key));
            environment.insert(QStringLiteral("IMAGEBENCH_COLD_FILE"), path);
            child.setProcessEnvironment(environment);
            child.start(QCoreApplication::applicationFilePath(), {});
            bool ms = false;
            double milliseconds = 0;
            if (child.waitForFinished(-1) && child.exitCode() == 0)
                milliseconds = child.readAllStandardOutput().trimmed().toDouble(&ms);
            if (!ms) {
                state.SkipWithError("the fresh process did not run the command");
                break;
            }
            state.SetIterationTime(milliseconds / 1000);
        }
    };
    bench::AddRow(std::move(row));
}

const bool registered = bench::Register([] {
    AddCold("thresholding", "Colour thresholding", nullptr);
    AddCold("open-png", "Open PNG", PngFile);
    AddCold("save-png", "Save PNG", [] { return Folder() + QStringLiteral("/cold-save"); });
});

} // namespace

int bench::RunColdCommandIfAsked()
{
    const QByteArray key = qgetenv("IMAGEBENCH_COLD");
    if (key.isEmpty())
        return -1;
    const auto found = Commands().find(key.toStdString());
    if (found == Commands().end())
        return 2;
    const std::function<void()> command = found->second(qEnvironmentVariable("IMAGEBENCH_COLD_FILE"));
    QElapsedTimer clock;
    clock.start();
    command();
    std::printf("%.3f\n", double(clock.nsecsElapsed()) / 1e6);
    return 0;
}
