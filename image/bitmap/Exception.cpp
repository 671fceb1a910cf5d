#include "image/bitmap/Exception.h"

QString NotEnoughMemory(QStringView purpose)
{
    return QStringLiteral("there is not enough memory %1").arg(purpose);
}

QString NotEnoughMemory(QStringView purpose, int width, int height)
{
    return NotEnoughMemory(QStringLiteral("%1 a picture of %2 × %3 pixels").arg(purpose).arg(width).arg(height));
}

QString Sentence(const QString& clause)
{
    if (clause.isEmpty())
        return clause;
    return clause.front().toUpper() + clause.sliced(1) + u'.';
}
