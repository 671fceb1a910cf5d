// Rows for the view: the main window repainted while it shows an unchanged
// 8192 x 8192 picture at 25 %, 100 % and 200 %, the first repaint after a
// command changed every pixel, and the mouse-move handler that reports the
// pixel under the pointer; each at display scale 1 and again at 2 (the
// window on a screen of that scale, where there is one).
#include "BenchSupport.h"

#include "app/ImageControl.h"
#include "app/Unit1.h"
#include "image/bitmap/Graphics.h"
#include "image/operations/Operations.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QScreen>
#include <QWindow>
#include <QBackingStore>
#include <QGuiApplication>

#include <string>

#include <memory>

namespace {

constexpr int kSide = 8192;

const QImage& Picture()
{
    static const QImage picture = bench::GreyPicture(kSide, kSide);
    return picture;
}

// The main window, shown and exposed, with the picture in Image1 at a zoom.
struct View {
    std::unique_ptr<TForm1> form = std::make_unique<TForm1>();
    TImage* image = form->findChild<TImage*>(QStringLiteral("Image1"));

    View(const char* zoom, int scale)
    {
        for (QScreen* screen : QGuiApplication::screens())
            if (screen->devicePixelRatio() == scale)
                form->move(screen->geometry().topLeft() + QPoint(20, 20));
        image->Picture()->Bitmap()->SetImage(Picture());
        form->findChild<QComboBox*>(QStringLiteral("ComboBox1"))->setCurrentText(QString::fromLatin1(zoom));
        form->ComboBox1Change();
        form->show();
        while (!form->windowHandle() || !form->windowHandle()->isExposed())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QCoreApplication::processEvents();
        form->Repaint(); // the view's first render, outside the timing
    }
    // Whether the window is at the scale the row names.
    bool At(int scale) const { return form->devicePixelRatioF() == scale; }
    TBitmap& Bitmap() { return *image->Picture()->Bitmap(); }
};

const bool registered = bench::Register([] {
    for (const int scale : {1, 2})
    for (const char* zoom : {"25%", "100%", "200%"}) {
        const std::string picture = bench::PictureName(kSide, kSide, false) + " at " + zoom +
                                    (scale == 1 ? std::string() : ", scale " + std::to_string(scale));
        {
            bench::Row row;
            row.command = "Repaint, picture unchanged";
            row.picture = picture;
            row.ours = [zoom, scale](benchmark::State& state) {
                View view(zoom, scale);
                if (!view.At(scale))
                    state.SkipWithError("no screen at this scale");
                for (auto _ : state)
                    view.form->Repaint();
            };
            row.maxMilliseconds = 16;
            bench::AddRow(std::move(row));
        }
        {
            bench::Row row;
            row.command = "First repaint after complement";
            row.picture = picture;
            row.bytes = bench::PictureBytes(kSide, kSide, false);
            row.ours = [zoom, scale](benchmark::State& state) {
                View view(zoom, scale);
                if (!view.At(scale))
                    state.SkipWithError("no screen at this scale");
                for (auto _ : state) {
                    state.PauseTiming();
                    Complement(view.Bitmap());
                    state.ResumeTiming();
                    view.form->Repaint();
                }
                // The window's buffer shows what the control draws of the
                // picture as the last complement left it (a grab draws it
                // afresh).
                const QPoint at =
                    (QPointF(view.image->mapTo(view.form.get(), QPoint(0, 0))) * view.form->devicePixelRatioF())
                        .toPoint();
                const auto* buffer = dynamic_cast<const QImage*>(view.form->backingStore()->paintDevice());
                const QRgb drawn = view.image->grab(QRect(0, 0, 1, 1)).toImage().pixel(0, 0);
                if (!buffer || (buffer->pixel(at) & 0xFFFFFF) != (drawn & 0xFFFFFF))
                    state.SkipWithError("the repaint did not show the complement");
            };
            row.maxTimesMemcpy = 2;
            bench::AddRow(std::move(row));
        }
    }
    for (const int scale : {1, 2}) {
        bench::Row row;
        row.command = "Mouse move over the picture";
        row.picture = bench::PictureName(kSide, kSide, false) + " at 200%" +
                      (scale == 1 ? std::string() : ", scale " + std::to_string(scale));
        row.ours = [scale](benchmark::State& state) {
            View view("200%", scale);
            if (!view.At(scale))
                state.SkipWithError("no screen at this scale");
            int step = 0;
            for (auto _ : state) {
                // A real event through the application, to the handler that
                // writes the position and the value.
                const QPointF at(16 + step % 600, 16 + step % 400);
                QMouseEvent move(QEvent::MouseMove, at, view.image->mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                                 Qt::NoModifier);
                QCoreApplication::sendEvent(view.image, &move);
                ++step;
            }
            // The last move, at 200 %, reports the bitmap pixel at half the
            // control position, at either scale.
            const int last = step - 1;
            const QString expected = QStringLiteral("X=%1").arg((16 + last % 600) / 2);
            if (view.form->findChild<QLabel*>(QStringLiteral("StatusPanel0"))->text() != expected)
                state.SkipWithError("the mouse moves did not reach the handler");
        };
        row.maxMilliseconds = 0.05;
        bench::AddRow(std::move(row));
    }
});

} // namespace
