// The picture layer's failures and the words they are told in.
#pragma once

#include <QString>
#include <QStringView>

#include <stdexcept>

// Failures of the picture layer: a file that can't be read or written, a
// picture too large for memory. The message is meant for the user.
class Exception : public std::runtime_error {
public:
    explicit Exception(const QString& message) : std::runtime_error(message.toStdString()) {}
    QString Message() const { return QString::fromStdString(what()); }
};

// Work that did not fit in memory, told the same way wherever it happens:
// "there is not enough memory " and what the memory was for ("to write the
// picture"), in lower case and without a full stop, so that it can stand as
// the reason in a longer message ("Cannot save ...: there is ...").
QString NotEnoughMemory(QStringView purpose);
// The same for a picture of width x height pixels: purpose "to convert"
// gives "there is not enough memory to convert a picture of 640 × 480 pixels".
QString NotEnoughMemory(QStringView purpose, int width, int height);
// A clause as a message of its own: its first letter a capital, a full stop
// at its end.
QString Sentence(const QString& clause);
