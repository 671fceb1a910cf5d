// The main window: a picture, the zoom box, the pixel probe, the analysis
// read-outs and the menu. Its controls and event bindings are declared in
// forms/Unit1.ui; each handler wires one event to a picture or analysis
// function.
#pragma once

#include <QMainWindow>

#include <memory>

namespace Ui {
class TForm1;
}

class TImage;
class TPictureDialog;
class QLabel;

class TForm1 : public QMainWindow {
    Q_OBJECT
public:
    explicit TForm1(QWidget* parent = nullptr);
    ~TForm1() override;

    // Redraws the window and its controls at once, so that bytes written
    // straight into the picture's rows become visible.
    void Repaint();

public slots:
    void Open1Click();
    void Save1Click();
    void ExitwithoutSaving1Click();
    void Help1Click();
    void MenuKey1Click();
    void Image1MouseMove(Qt::KeyboardModifiers Shift, int X, int Y);
    void Complement1Click();
    void EdgeDetection1Click();
    void ComboBox1Change();
    void FlipRotate1Click();
    void Thresholding1Click();
    void Button1Click();

private:
    // A picture was opened from or saved to the file: the dialogs start
    // from it next time.
    void PictureFiled(const QString& fileName);

    std::unique_ptr<Ui::TForm1> ui;
};

// The main window of the process.
extern TForm1* Form1;
