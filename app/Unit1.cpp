#include "Unit1.h"

#include "Application.h"
#include "Background.h"
#include "Controls.h"
#include "ImageControl.h"
#include "MenuKeys.h"
#include "Notices.h"
#include "PictureDialogs.h"
#include "ScreenPlacement.h"
#include "Unit2.h"
#include "analysis/Analysis.h"
#include "image/bitmap/Graphics.h"
#include "image/operations/Operations.h"
#include "ui_Unit1.h"

#include <QLineEdit>
#include <QWidget>

#include <algorithm>
#include <memory>

TForm1* Form1 = nullptr;

namespace {

// The zoom box's texts and the display size each names, in percent of the
// bitmap's size; 0 for any other text.
int ZoomPercent(const QString& text)
{
    static const struct {
        const char* text;
        int percent;
    } table[] = {{"25%", 25}, {"50%", 50}, {"75%", 75}, {"100%", 100}, {"150%", 150}, {"200%", 200}};
    for (const auto& row : table)
        if (text == QLatin1String(row.text))
            return row.percent;
    return 0;
}

// A side of the zoomed view, truncated toward zero and kept to what a
// widget can be.
int Zoomed(int side, int percent) { return int(std::min<qint64>(qint64(side) * percent / 100, QWIDGETSIZE_MAX)); }

} // namespace

TForm1::TForm1(QWidget* parent) : QMainWindow(parent), ui(std::make_unique<Ui::TForm1>())
{
    ui->setupUi(this);
    // The client area below the menu is 688 x 424, the status bar included.
    resize(688, ui->MainMenu1->sizeHint().height() + 424);
    move(225, 216);
    KeepOnScreen(this);
    // The form binds the zoom box's activation, which Qt emits only for
    // texts in the list; a typed text of any other kind reaches the handler
    // when Enter confirms it or the box loses the focus.
    connect(ui->ComboBox1->lineEdit(), &QLineEdit::editingFinished, this, &TForm1::ComboBox1Change);
}

TForm1::~TForm1()
{
    // The zoom box loses the focus while the window goes away; that must not
    // reach a handler of a window half destroyed.
    disconnect(ui->ComboBox1->lineEdit(), nullptr, this, nullptr);
}

void TForm1::Repaint() { RepaintWindow(this); }

void TForm1::Open1Click()
{
    Application->Protect([this] {
        if (!ui->OpenPictureDialog1->Execute())
            return;
        // Read into a picture of its own: the one showing stays until the new
        // one is complete, and stays for good when the open fails or is
        // cancelled.
        const QString fileName = ui->OpenPictureDialog1->FileName();
        ui->Image1->SetAutoSize(true);
        const auto loaded = std::make_shared<TPicture>();
        RunInBackground(
            this, QStringLiteral("Opening"), fileName,
            [loaded, fileName](TProgress& progress) { loaded->LoadFromFile(fileName, &progress); },
            [&] {
                ui->Image1->Picture()->Bitmap()->Assign(*loaded->Bitmap());
                PictureFiled(fileName);
                ShowNotices(ui->StatusBar1, loaded->Notices());
            });
    });
}

void TForm1::Save1Click()
{
    Application->Protect([this] {
        const TBitmap* bitmap = ui->Image1->Picture()->Bitmap();
        if (bitmap->Empty())
            throw Exception(NoPictureToSave());
        if (!ui->SavePictureDialog1->Execute())
            return;
        const QString fileName = ui->SavePictureDialog1->FileName();
        const auto saved = std::make_shared<TPicture>(); // shares the pixels; the writer reads only its own
        saved->Bitmap()->Assign(*bitmap);
        RunInBackground(
            this, QStringLiteral("Saving"), fileName,
            [saved, fileName](TProgress& progress) { saved->SaveToFile(fileName, &progress); },
            [&, saved] {
                PictureFiled(fileName);
                ShowNotices(ui->StatusBar1, saved->Notices());
            });
    });
}

void TForm1::PictureFiled(const QString& fileName)
{
    ui->OpenPictureDialog1->SetCurrentPicture(fileName);
    ui->SavePictureDialog1->SetCurrentPicture(fileName);
}

void TForm1::ExitwithoutSaving1Click() { close(); }

void TForm1::Help1Click()
{
    Application->Protect([] { HelpDlg->ShowModal(); }, false);
}

void TForm1::MenuKey1Click()
{
    // F10 highlights the first menu's title, as a lone Alt does; the arrows
    // move along the bar, Down or Enter opens a menu, Escape leaves.
    HighlightMenuBar(ui->MainMenu1);
}

void TForm1::Image1MouseMove(Qt::KeyboardModifiers Shift, int X, int Y)
{
    (void)Shift;
    Application->Protect([this, X, Y] {
        // The bitmap pixel drawn on the device pixel under the pointer; where
        // none is drawn the position is still shown and the value left blank.
        const QPoint at = ui->Image1->PixelUnderPointer(X, Y);
        ui->StatusPanel0->setText(QStringLiteral("X=") + QString::number(at.x()));
        ui->StatusPanel1->setText(QStringLiteral("Y=") + QString::number(at.y()));
        const TColor colour = ui->Image1->Canvas()->Pixels(at.x(), at.y());
        ui->Label1->setText(colour == clNone ? QString() : QString::number(GetRValue(colour)));
    }, false);
}

void TForm1::Complement1Click()
{
    Application->Protect([this] {
        ChangeInBackground(this, QStringLiteral("Complement"), *ui->Image1->Picture()->Bitmap(),
                           [](TBitmap& bitmap, TProgress&) { Complement(bitmap); });
        Repaint();
    });
}

void TForm1::EdgeDetection1Click()
{
    Application->Protect([this] {
        ChangeInBackground(this, QStringLiteral("Edge detection"), *ui->Image1->Picture()->Bitmap(),
                           [](TBitmap& bitmap, TProgress&) { EdgeDetect(bitmap); });
        Repaint();
    });
}

void TForm1::ComboBox1Change()
{
    Application->Protect([this] {
        int percent = ZoomPercent(ui->ComboBox1->currentText());
        if (percent == 0) {
            percent = 100;
            ui->ComboBox1->setCurrentText(QStringLiteral("100%"));
        }
        const TBitmap* bitmap = ui->Image1->Picture()->Bitmap();
        ui->Image1->SetAutoSize(false);
        ui->Image1->SetStretch(true);
        ui->Image1->resize(Zoomed(bitmap->Width(), percent), Zoomed(bitmap->Height(), percent));
    });
}

void TForm1::FlipRotate1Click()
{
    Application->Protect([this] {
        ChangeInBackground(this, QStringLiteral("Flip/Rotate"), *ui->Image1->Picture()->Bitmap(),
                           [](TBitmap& bitmap, TProgress&) { MirrorHorizontally(bitmap); });
    });
}

void TForm1::Thresholding1Click()
{
    Application->Protect([this] {
        // The conversion to 8 bits is the long part and runs on a copy; the
        // capture of the converted picture's corner is quick.
        TBitmap* bitmap = ui->Image1->Picture()->Bitmap();
        if (ChangeInBackground(this, QStringLiteral("Thresholding"), *bitmap,
                               [](TBitmap& copy, TProgress& progress) { ConvertTo8bit(copy, &progress); }))
            CaptureBitmap(*bitmap);
    });
}

void TForm1::Button1Click()
{
    Application->Protect([this] {
        HaarStep();
        ui->Edit2->setText(QString::number(ChannelMatrix[4]));
        ui->Edit3->setText(QString::number(ChannelMatrix[5]));
        ui->Edit4->setText(QString::number(HaarMatrix[2]));
        ui->Edit5->setText(QString::number(HaarMatrix[258]));
    });
}
