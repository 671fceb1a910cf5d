// Random sequences of every command through the real window, with invariants
// checked after each step. Each sequence has its own seed (printed with any
// failure); IMAGEBENCH_SEQUENCES sets how many run (default 150, a few seconds)
// and IMAGEBENCH_SEED the first seed, so that
//   IMAGEBENCH_SEED=<seed> IMAGEBENCH_SEQUENCES=1
// replays exactly the sequence that failed.
#include "analysis/Matrices.h"
#include "image/operations/Operations.h"
#include "support/HostileInputs.h"
#include "support/TestPictures.h"
#include "support/WindowFixture.h"

#include <QDir>
#include <QFile>
#include <QPushButton>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

using namespace testpictures;

namespace {

std::uint64_t FromEnvironment(const char* name, std::uint64_t fallback)
{
    const char* text = std::getenv(name);
    return text && *text ? std::strtoull(text, nullptr, 10) : fallback;
}

struct ZoomText {
    const char* text;
    int percent; // 0: not in the table
};
constexpr ZoomText kZooms[] = {{"25%", 25},     {"50%", 50},    {"75%", 75},    {"100%", 100},  {"150%", 150},
                           {"200%", 200},  {"30%", 0},     {"100", 0},     {"", 0},        {"abc", 0},
                           {"200%%", 0},    {" 50%", 0},    {"-25%", 0},    {"1e9%", 0}};

using Matrix = std::vector<std::int32_t>;
Matrix Snapshot(const TMatrix& m) { return Matrix(m, m + MatrixSize * MatrixSize); }
bool Same(const TMatrix& m, const Matrix& copy) { return std::equal(copy.begin(), copy.end(), m); }

// What the picture shows: its bytes and, on 8-bit pictures, its palette.
QByteArray Shown(const TBitmap& bitmap)
{
    QByteArray out = Bytes(bitmap);
    if (bitmap.BytesPerPixel() == 1)
        for (int i = 0; i < 256; ++i) {
            const QRgb entry = bitmap.PaletteEntry(i);
            out.append(reinterpret_cast<const char*>(&entry), sizeof entry);
        }
    return out;
}

class RandomSequences : public WindowTest {
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        if (HasFatalFailure())
            return;
        const QString folder = dir.filePath(QStringLiteral("hostile"));
        QDir().mkpath(folder);
        for (const hostile::Input& input : hostile::Build(folder))
            if (input.expect == hostile::Expect::Refused && !input.unreadable)
                hostileFiles << input.path;
    }

    void SetZoom(const char* text)
    {
        auto* box = Find<QComboBox>("ComboBox1");
        box->lineEdit()->setText(QString::fromLatin1(text));
        QTest::keyClick(box->lineEdit(), Qt::Key_Return);
    }

    QImage RandomPicture(Random& r)
    {
        const int size = r.Below(8);
        const int w = size < 4 ? r.Between(1, 16) : size < 7 ? r.Between(1, 128) : r.Between(1, 600);
        const int h = size < 4 ? r.Between(1, 16) : size < 7 ? r.Between(1, 128) : r.Between(1, 700);
        const std::uint32_t seed = std::uint32_t(r.Next());
        switch (r.Below(4)) {
        case 0:
            return RandomGrey(w, h, seed);
        case 1: {
            QList<QRgb> palette(r.Between(2, 256));
            for (QRgb& entry : palette)
                entry = qRgb(r.Below(256), r.Below(256), r.Below(256));
            const int n = int(palette.size());
            return Palette(w, h, palette, [&](int, int) { return r.Below(n); });
        }
        case 2:
            return RandomColour(w, h, seed, false);
        default:
            return RandomColour(w, h, seed, true);
        }
    }

    // One step; returns what it was, for the trace.
    void Step(Random& r, QString& what)
    {
        TImage* image = Image();
        const QSize viewBefore = image->size();
        const QByteArray before = Bytes(*Bitmap());
        const int w = Bitmap()->Width();
        const int h = Bitmap()->Height();
        bool viewMayChange = false;
        messages.clear();

        // Of 20 draws: 3 opens, 1 hostile open, 7 commands, 2 thresholdings,
        // 2 clicks, 2 zooms, 2 probes, 1 save.
        static constexpr int kSteps[20] = {0, 0, 0, 1, 2, 2, 2, 2, 2, 2, 2, 3, 3, 4, 4, 5, 5, 6, 6, 7};
        switch (kSteps[r.Below(20)]) {
        case 0: {
            const QImage picture = RandomPicture(r);
            what = QStringLiteral("open %1 x %2 (format %3)")
                       .arg(picture.width())
                       .arg(picture.height())
                       .arg(int(picture.format()));
            OpenPicture(picture, QStringLiteral("picture.png"));
            ASSERT_EQ(Bitmap()->Width(), picture.width());
            ASSERT_EQ(image->size(), picture.size()) << "an opened picture shows at natural size";
            viewMayChange = true;
            break;
        }
        case 1: {
            const QString path = hostileFiles[r.Below(int(hostileFiles.size()))];
            what = QStringLiteral("open hostile ") + QFileInfo(path).fileName();
            Open(path);
            ASSERT_EQ(messages.size(), 1) << "a hostile file gives one message";
            ASSERT_TRUE(messages.front().contains(QDir::toNativeSeparators(path)));
            ASSERT_EQ(Bytes(*Bitmap()), before) << "a refused file keeps the picture";
            // AutoSize turned on before the load and stays on: an empty
            // picture leaves the control as it was, any other shows at its size.
            ASSERT_TRUE(image->AutoSize());
            ASSERT_EQ(image->size(), w > 0 ? QSize(w, h) : viewBefore);
            viewMayChange = true;
            messages.clear();
            break;
        }
        case 2: {
            // The picture changes exactly as its operation changes a copy (the
            // operations themselves are checked against their references in
            // the unit tests); with no picture nothing changes.
            const Command& command = kCommands[r.Below(int(std::size(kCommands)))];
            what = QString::fromLatin1(command.action);
            TBitmap expected;
            expected.Assign(*Bitmap());
            command.operation(expected);
            Trigger(command.action);
            ASSERT_EQ(Bitmap()->PixelFormat(), expected.PixelFormat());
            ASSERT_EQ(Shown(*Bitmap()), Shown(expected)) << "the command is not its operation";
            break;
        }
        case 3: {
            what = QStringLiteral("thresholding");
            const Matrix capture = Snapshot(CaptureMatrix);
            const Matrix channel = Snapshot(ChannelMatrix);
            const Matrix haar = Snapshot(HaarMatrix);
            TBitmap expected;
            expected.Assign(*Bitmap());
            ConvertTo8bit(expected);
            Trigger("Thresholding1");
            ASSERT_EQ(Shown(*Bitmap()), Shown(expected)) << "thresholding converts the picture to 8 bits";
            ASSERT_EQ(Bitmap()->Width(), w);
            ASSERT_EQ(Bitmap()->Height(), h);
            ASSERT_TRUE(Same(ChannelMatrix, channel) && Same(HaarMatrix, haar)) << "capture writes only CaptureMatrix";
            const int cw = std::min(w, MatrixSize);
            const int ch = std::min(h, MatrixSize);
            for (int x = 0; x < MatrixSize; ++x)
                for (int y = 0; y < MatrixSize; ++y) {
                    const std::int32_t now = At(CaptureMatrix, x, y);
                    if (x >= cw || y >= ch) {
                        ASSERT_EQ(now, capture[x * MatrixSize + y]) << "written outside, at " << x << "," << y;
                    } else {
                        ASSERT_EQ(now, Bitmap()->Canvas()->Pixels(x, y)) << "at " << x << ", " << y;
                    }
                }
            if (w > 0) {
                ASSERT_EQ(Bitmap()->PixelFormat(), pf8bit);
            }
            break;
        }
        case 4: {
            what = QStringLiteral("Button1");
            const Matrix capture = Snapshot(CaptureMatrix);
            Find<QPushButton>("Button1")->click();
            ASSERT_TRUE(Same(CaptureMatrix, capture)) << "the Haar step leaves CaptureMatrix alone";
            ASSERT_EQ(Bytes(*Bitmap()), before);
            ASSERT_EQ(Text("Edit2"), QString::number(ChannelMatrix[4]));
            ASSERT_EQ(Text("Edit3"), QString::number(ChannelMatrix[5]));
            ASSERT_EQ(Text("Edit4"), QString::number(HaarMatrix[2]));
            ASSERT_EQ(Text("Edit5"), QString::number(HaarMatrix[258]));
            break;
        }
        case 5: {
            const ZoomText& zoom = kZooms[r.Below(int(std::size(kZooms)))];
            what = QStringLiteral("zoom \"%1\"").arg(QString::fromLatin1(zoom.text));
            SetZoom(zoom.text);
            viewMayChange = true;
            ASSERT_EQ(Bytes(*Bitmap()), before) << "zoom changes only the view";
            const int percent = zoom.percent > 0 ? zoom.percent : 100;
            ASSERT_EQ(image->size(), QSize(w * percent / 100, h * percent / 100)) << "the view matches the zoom";
            ASSERT_TRUE(image->Stretch());
            ASSERT_FALSE(image->AutoSize());
            ASSERT_EQ(Find<QComboBox>("ComboBox1")->currentText(),
                      QString::fromLatin1(zoom.percent ? zoom.text : "100%"));
            break;
        }
        case 6: {
            // Inside the bitmap, just outside it, and far away.
            const auto coordinate = [&r](int n) {
                return r.Below(3) == 0 ? r.Between(-5, n + 5)
                       : r.Below(3) == 0 ? int(r.Next())
                                         : r.Between(0, std::max(n - 1, 0));
            };
            const int x = coordinate(w);
            const int y = coordinate(h);
            what = QStringLiteral("probe %1, %2").arg(x).arg(y);
            // Straight to the handler: real pointer events are the probe tests'
            // business, and Qt drops a move to where the pointer already is.
            form->Image1MouseMove(Qt::NoModifier, x, y);
            ASSERT_EQ(Bytes(*Bitmap()), before) << "the probe never changes the picture";
            // The probe reports the bitmap pixel drawn under the pointer.
            const QPoint pixel = image->BitmapPoint(QPoint(x, y));
            ASSERT_EQ(Find<QLabel>("StatusPanel0")->text(), QStringLiteral("X=%1").arg(pixel.x()));
            ASSERT_EQ(Find<QLabel>("StatusPanel1")->text(), QStringLiteral("Y=%1").arg(pixel.y()));
            const QString label = Find<QLabel>("Label1")->text();
            const TColor colour = Bitmap()->Canvas()->Pixels(pixel.x(), pixel.y());
            if (colour == clNone)
                ASSERT_TRUE(label.isEmpty()) << "no pixel there, yet a value: " << label.toStdString();
            else
                ASSERT_EQ(label, QString::number(GetRValue(colour)));
            break;
        }
        default: {
            what = QStringLiteral("save");
            const QString path = dir.filePath(QStringLiteral("saved.png"));
            Save(path);
            if (w == 0) {
                ASSERT_EQ(messages.size(), 1) << "saving no picture says so";
                messages.clear();
                break;
            }
            TPicture reloaded;
            reloaded.LoadFromFile(path);
            ASSERT_EQ(reloaded.Bitmap()->Width(), w);
            ASSERT_EQ(reloaded.Bitmap()->Height(), h);
            break;
        }
        }
        ASSERT_TRUE(messages.isEmpty()) << "unexpected message: " << messages.join(QLatin1Char('\n')).toStdString();
        const TBitmap& b = *Bitmap();
        ASSERT_TRUE(b.Empty() || b.BytesPerPixel() == 4 || (b.BytesPerPixel() == 1 && b.Image().colorCount() == 256));
        if (!viewMayChange) {
            ASSERT_EQ(image->size(), viewBefore) << "only open and zoom change the view";
        }
    }

    QStringList hostileFiles;
};

} // namespace

TEST_F(RandomSequences, InvariantsHoldAfterEveryStep)
{
    const std::uint64_t first = FromEnvironment("IMAGEBENCH_SEED", 1);
    const std::uint64_t count = FromEnvironment("IMAGEBENCH_SEQUENCES", 150);
    std::uint64_t steps = 0;
    for (std::uint64_t seed = first; seed < first + count; ++seed) {
        Random r(seed);
        // Each sequence starts in a fresh window, as after start-up.
        form = std::make_unique<TForm1>();
        Form1 = form.get();
        form->show();
        const int length = r.Between(1, 12);
        QStringList done;
        for (int i = 0; i < length; ++i) {
            QString what;
            Step(r, what);
            done << what;
            ++steps;
            if (HasFatalFailure()) {
                std::printf("failed at step %d of sequence IMAGEBENCH_SEED=%llu IMAGEBENCH_SEQUENCES=1: %s\n", i + 1,
                            static_cast<unsigned long long>(seed), qPrintable(done.join(QStringLiteral(" / "))));
                return;
            }
        }
    }
    std::printf("%llu sequences, %llu steps, seeds %llu .. %llu\n", static_cast<unsigned long long>(count),
                static_cast<unsigned long long>(steps), static_cast<unsigned long long>(first),
                static_cast<unsigned long long>(first + count - 1));
}
