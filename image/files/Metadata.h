// What files of each kind keep beside the pixels, and what they cannot.
//
// The picture's colour space, resolution and text travel in its QImage and
// are written by every writer that can hold them (our PNG writer; Qt's for
// the other kinds). What a file or a kind cannot carry through the workbench
// is said in plain words, once, when the file is opened or saved.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QImageIOHandler>
#include <QString>
#include <QStringList>

class QImageWriter;

// What reading a file gave beside its image.
struct TOpened {
    QStringList textOrder; // the image's text keys in file order, where known
    QStringList notices;   // what the workbench does not keep of the file
};

// The picture turned as a camera's orientation tag says, so that it shows
// upright; colour space, resolution and text stay (Qt's own turning while
// reading drops the colour space).
QImage Upright(const QImage& image, QImageIOHandler::Transformations orientation);

// The writer's options for the kind: JPEG at quality 90 with optimised
// Huffman tables (a photo's quality; Qt's default is 75).
void SetWriterOptions(QImageWriter& writer, const QByteArray& kind);

// What the workbench does not keep of a file just read into image (in the
// file's own format, before it becomes a bitmap) out of frames frames or
// pages: more than 8 bits per channel, the frames after the first.
QStringList OpenNotices(const QString& fileName, const QImage& image, int frames);

// What a file of the kind cannot keep of image: see-through pixels, where
// the kind has no alpha channel.
QStringList SaveNotices(const QString& fileName, const QImage& image, const QByteArray& kind);
