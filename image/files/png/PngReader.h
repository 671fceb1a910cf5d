// Our PNG reader for the kinds most files are: 8-bit grey, 8-bit palette,
// 8-bit RGB and RGBA, not interlaced. Rows are decoded one at a time straight
// into the new image's memory, in the layout Qt's reader gives them, so the
// picture layer treats both alike. Anything else (16 bits, fewer than 8,
// grey with alpha, interlaced, a transparent colour key) is left to Qt's
// reader. What the picture carries beside its pixels (colour space,
// resolution, text) is read with it.
#pragma once

#include <QImage>
#include <QString>
#include <QStringList>

class TProgress;

struct TPngRead {
    enum { NotHandled, Read, Failed } outcome = NotHandled;
    QImage image;   // when Read: Format_Grayscale8, Indexed8, RGB32 or ARGB32
    QString reason; // when Failed: the library's words for what is wrong
    QSize tooLarge; // when Failed because the picture is too large: its size
    QStringList textOrder; // when Read: the image's text keys in file order
};

// Reads the PNG file. maxBytes bounds the decoded picture (4 bytes a pixel
// counted, as for every kind). Sets the progress's total to the rows and
// advances it by each; throws TCancelled once the progress was cancelled.
// A picture too large is reported as Failed with its size in tooLarge.
TPngRead ReadPng(const QString& fileName, qint64 maxBytes, TProgress* progress = nullptr);
