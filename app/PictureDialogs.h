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
    // then in FileName. A save dialog gives a name typed without an
    // extension the extension of the picture kind chosen in the filter.
    bool Execute();
    QString FileName() const { return fileName_; }
    // The filter chosen last (one of PictureFilter's), offered again at the
    // next Execute.
    QString Filter() const { return filter_; }
    void SetFilter(const QString& filter) { filter_ = filter; }

    // The picture the window shows, from the file last opened or saved: the
    // open dialog starts in its folder, the save dialog proposes its folder
    // and name. Before any, both start in the user's Pictures folder.
    void SetCurrentPicture(const QString& fileName) { currentPicture_ = fileName; }
    // Where the dialog starts: a folder (open) or a file name (save).
    QString StartPath() const;

    // Stands in for the real dialog (tests): gets the start path, returns
    // false to cancel or true with the chosen name.
    std::function<bool(QString& fileName)> ChooseFileName;

protected:
    TPictureDialog(QWidget* parent, bool saving);

private:
    bool saving_;
    QString fileName_;
    QString filter_;
    QString currentPicture_;
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

// The dialogs' filters: "All pictures (*.bmp *.gif …)" first, then one per
// picture kind Qt reads (saving: writes) with all its extensions ("JPEG
// (*.jpg *.jpeg)"), then "All files (*)".
QStringList PictureFilters(bool saving);

// The first extension of the filter's picture kind ("jpg" for "JPEG (*.jpg
// *.jpeg)"); empty for "All pictures" and "All files".
QString FilterExtension(const QString& filter);

// The name with the extension of the filter's picture kind when it has none;
// unchanged when it has one or the filter names no single kind.
QString WithFilterExtension(const QString& fileName, const QString& filter);
