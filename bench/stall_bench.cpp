// Rows for a window that keeps answering during long work: the main window
// opens, saves and converts a 12000 x 9000 picture as a user starts it (the
// menu item, the file dialog answered), and the ms column is the longest
// time its thread went without serving a 5 ms timer meanwhile. The note under
// the table says when the progress dialog showed and how long the command
// took in all.
#include "BenchSupport.h"

#include "app/Application.h"
#include "app/ImageControl.h"
#include "app/PictureDialogs.h"
#include <QProgressDialog>
#include "app/Unit1.h"
#include "image/bitmap/Graphics.h"

#include <QAction>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QImageWriter>
#include <QTemporaryDir>
#include <QTimer>
#include <QWindow>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>

namespace {

constexpr int kWidth = 12000;
constexpr int kHeight = 9000;
constexpr int kTickMs = 5;

// A photo-like colour picture: smooth gradients plus seeded noise of about
// 6 levels, so that files compress as photographs do.
const QImage& Photo()
{
    static const QImage photo = [] {
        QImage image(kWidth, kHeight, QImage::Format_RGB32);
        std::uint64_t state = 0x2545F4914F6CDD1Dull;
        for (int y = 0; y < kHeight; ++y) {
            auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
            for (int x = 0; x < kWidth; ++x) {
                state ^= state << 13;
                state ^= state >> 7;
                state ^= state << 17;
                // The sum of four bytes less their mean: roughly Gaussian.
                const int noise = (int(state & 0xFF) + int((state >> 8) & 0xFF) + int((state >> 16) & 0xFF) +
                                   int((state >> 24) & 0xFF) - 510) / 12;
                const int r = 40 + x * 160 / kWidth + noise;
                const int g = 60 + y * 140 / kHeight + noise;
                const int b = 128 + int(60 * std::sin((x + y) / 900.0)) + noise;
                row[x] = qRgb(std::clamp(r, 0, 255), std::clamp(g, 0, 255), std::clamp(b, 0, 255));
            }
        }
        return image;
    }();
    return photo;
}

// What one measured command showed: the longest stall, when the progress
// dialog first showed (-1: never) and the whole time, in ms.
struct Stall {
    double longest = 0;
    double longestEnd = 0; // when the longest stall ended
    double dialogAt = -1;
    double total = 0;
};

std::map<std::string, Stall>& Results()
{
    static std::map<std::string, Stall> results;
    return results;
}

// The main window, shown and exposed, with the picture in its view.
struct Window {
    std::unique_ptr<TForm1> form = std::make_unique<TForm1>();

    explicit Window(const QImage& picture)
    {
        // A failure goes to the log, not into a message box nobody answers.
        Application->ExceptionDisplay = [](const QString& message) {
            std::fprintf(stderr, "stall row: %s\n", qPrintable(message));
        };
        if (!picture.isNull())
            form->findChild<TImage*>(QStringLiteral("Image1"))->Picture()->Bitmap()->SetImage(picture);
        form->show();
        while (!form->windowHandle() || !form->windowHandle()->isExposed())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QCoreApplication::processEvents();
    }
    // The file dialog answers with this name, as a user would choose it.
    void Answer(const char* dialog, const QString& fileName)
    {
        form->findChild<TPictureDialog*>(QString::fromLatin1(dialog))->ChooseFileName = [fileName](QString& chosen) {
            chosen = fileName;
            return true;
        };
    }
    // Triggers the menu item and measures the window's thread meanwhile.
    Stall Measure(const char* action)
    {
        Stall stall;
        QElapsedTimer clock;
        qint64 last = 0;
        QTimer tick;
        QObject::connect(&tick, &QTimer::timeout, [&] {
            const qint64 now = clock.nsecsElapsed();
            if ((now - last) / 1e6 > stall.longest) {
                stall.longest = (now - last) / 1e6;
                stall.longestEnd = now / 1e6;
            }
            last = now;
            if (stall.dialogAt < 0) {
                const auto* dialog = form->findChild<QProgressDialog*>();
                if (dialog && dialog->isVisible())
                    stall.dialogAt = now / 1e6;
            }
        });
        tick.start(kTickMs);
        clock.start();
        form->findChild<QAction*>(QString::fromLatin1(action))->trigger();
        const qint64 end = clock.nsecsElapsed();
        if ((end - last) / 1e6 > stall.longest) {
            stall.longest = (end - last) / 1e6;
            stall.longestEnd = end / 1e6;
        }
        stall.total = end / 1e6;
        tick.stop();
        return stall;
    }
};

void AddStallRow(const char* what, const std::function<Stall(QTemporaryDir&)>& run)
{
    bench::Row row;
    row.command = "Stall";
    row.picture = std::string(what) + " " + std::to_string(kWidth) + " × " + std::to_string(kHeight);
    const std::string key = row.picture;
    row.ours = [run, key](benchmark::State& state) {
        QTemporaryDir dir;
        for (auto _ : state) {
            const Stall stall = run(dir);
            Results()[key] = stall;
            state.SetIterationTime(stall.longest / 1000.0);
        }
    };
    row.manualTime = true;
    row.iterations = 1;
    row.maxMilliseconds = 50;
    row.note = [key] {
        const Stall& stall = Results()[key];
        char text[200];
        if (stall.dialogAt < 0)
            std::snprintf(text, sizeof text, "no progress dialog; done in %.0f ms", stall.total);
        else
            std::snprintf(text, sizeof text, "progress dialog shown after %.0f ms (target ≤ 1000); done in %.0f ms",
                          stall.dialogAt, stall.total);
        const std::size_t used = std::strlen(text);
        std::snprintf(text + used, sizeof text - used, "; the longest stall ended at %.0f ms", stall.longestEnd);
        return std::string(text);
    };
    bench::AddRow(std::move(row));
}

const bool registered = bench::Register([] {
    AddStallRow("open PNG", [](QTemporaryDir& dir) {
        // The file, written once with light compression (outside the
        // measurement): what is measured is the window while it reads.
        const QString path = dir.filePath(QStringLiteral("photo.png"));
        if (!QFile::exists(path)) {
            QImageWriter writer(path, "png");
            writer.setQuality(80);
            writer.write(Photo());
        }
        Window window{QImage()};
        window.Answer("OpenPictureDialog1", path);
        return window.Measure("Open1");
    });
    AddStallRow("save PNG", [](QTemporaryDir& dir) {
        Window window(Photo());
        window.Answer("SavePictureDialog1", dir.filePath(QStringLiteral("saved.png")));
        return window.Measure("Save1");
    });
    AddStallRow("save JPEG", [](QTemporaryDir& dir) {
        Window window(Photo());
        window.Answer("SavePictureDialog1", dir.filePath(QStringLiteral("saved.jpg")));
        return window.Measure("Save1");
    });
    AddStallRow("thresholding", [](QTemporaryDir&) {
        Window window(Photo());
        return window.Measure("Thresholding1");
    });
});

} // namespace
