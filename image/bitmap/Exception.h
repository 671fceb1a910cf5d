// The picture layer's failures and the words they are told in.
#pragma once

#include <QString>

#include <stdexcept>

// Failures of the picture layer: a file that can't be read or written, a
// picture too large for memory. The message is meant for the user.
class Exception : public std::runtime_error {
public:
    explicit Exception(const QString& message) : std::runtime_error(message.toStdString()) {}
    QString Message() const { return QString::fromStdString(what()); }
};

// Work that did not fit in memory, told the same way everywhere: "there is
// not enough memory " and what for ("to write the picture"), lower case and
// without a full stop, to stand as the reason in a longer message.
inline QString NotEnoughMemory(QStringView purpose)
{
    return QStringLiteral("there is not enough memory %1").arg(purpose);
}
// The same for a picture: "to convert", 640, 480 gives "there is not enough
// memory to convert a picture of 640 × 480 pixels".
inline QString NotEnoughMemory(QStringView purpose, int width, int height)
{
    return NotEnoughMemory(QStringLiteral("%1 a picture of %2 × %3 pixels").arg(purpose).arg(width).arg(height));
}
// A clause as a message of its own: a capital first and a full stop last.
inline QString Sentence(const QString& clause)
{
    return clause.isEmpty() ? clause : clause.front().toUpper() + clause.sliced(1) + u'.';
}
