#include "Unit1.h"

#include "Application.h"
#include "ImageControl.h"
#include "PictureDialogs.h"
#include "Unit2.h"
#include "analysis/Analysis.h"
#include "image/Graphics.h"
#include "image/Operations.h"
#include "ui_Unit1.h"

TForm1* Form1 = nullptr;

TForm1::TForm1(QWidget* parent) : QMainWindow(parent), ui(std::make_unique<Ui::TForm1>())
{
    ui->setupUi(this);
    // The client area below the menu is 688 x 424, the status bar included.
    resize(688, ui->MainMenu1->sizeHint().height() + 424);
    move(225, 216);
}

TForm1::~TForm1() = default;

void TForm1::Repaint() { repaint(); }

void TForm1::Open1Click()
{
    Application->Protect([this] {
        if (ui->OpenPictureDialog1->Execute()) {
            ui->Image1->SetAutoSize(true);
            ui->Image1->Picture()->LoadFromFile(ui->OpenPictureDialog1->FileName());
        }
    });
}

void TForm1::Save1Click()
{
    Application->Protect([this] {
        if (ui->SavePictureDialog1->Execute())
            ui->Image1->Picture()->SaveToFile(ui->SavePictureDialog1->FileName());
    });
}

void TForm1::ExitwithoutSaving1Click() { close(); }

void TForm1::Help1Click()
{
    Application->Protect([] { HelpDlg->ShowModal(); });
}

void TForm1::Image1MouseMove(Qt::KeyboardModifiers Shift, int X, int Y)
{
    (void)Shift;
    (void)X;
    (void)Y;
}

void TForm1::Complement1Click()
{
    Application->Protect([this] {
        Complement(*ui->Image1->Picture()->Bitmap());
        Repaint();
    });
}

void TForm1::EdgeDetection1Click()
{
    Application->Protect([this] {
        EdgeDetect(*ui->Image1->Picture()->Bitmap());
        Repaint();
    });
}

void TForm1::ComboBox1Change() {}

void TForm1::FlipRotate1Click()
{
    Application->Protect([this] { MirrorHorizontally(*ui->Image1->Picture()->Bitmap()); });
}

void TForm1::Thresholding1Click()
{
    Application->Protect([this] { CaptureBitmap(*ui->Image1->Picture()->Bitmap()); });
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
