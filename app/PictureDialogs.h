// The picture file dialogs: hidden components of a window that ask the user
// for a picture file name when executed.
#pragma once

#include <QString>
#include <QWidget>

#include <functional>

class TPictureDialog : public QWidget {
    Q_OBJECT
public:
    // Shows the dialog; true when the user confirmed a file, whose name is
    // then in FileName.
    bool Execute();
    QString FileName() const { return fileName_; }

    // Stands in for the real dialog (tests): gets the current file name,
    // returns false to cancel or true with the chosen name.
    std::function<bool(QString& fileName)> ChooseFileName;

protected:
    TPictureDialog(QWidget* parent, bool saving);

private:
    bool saving_;
    QString fileName_;
};

class TOpenPictureDialog : public TPictureDialog {
    Q_OBJECT
public:
    explicit TOpenPictureDialog(QWidget* parent = nullptr) : TPictureDialog(parent, false) {}
};

class TSavePictureDialog : public TPictureDialog {
    Q_OBJECT
public:
    explicit TSavePictureDialog(QWidget* parent = nullptr) : TPictureDialog(parent, true) {}
};

// "All pictures (*.png *.jpg …)" first, then one filter per picture kind Qt
// reads (saving: writes).
QString PictureFilter(bool saving);
