// What a picture is beside its pixels: the colour space its colours are
// in, its resolution and its text notes. A conversion that makes a new image
// from an old one (a new layout, a new palette) changes the pixels only, so
// the new image takes these over.
#pragma once

#include <QColorSpace>
#include <QImage>

inline void KeepCarried(const QImage& from, QImage& to)
{
    if (to.isNull())
        return;
    to.setColorSpace(from.colorSpace());
    to.setDotsPerMeterX(from.dotsPerMeterX());
    to.setDotsPerMeterY(from.dotsPerMeterY());
    to.setOffset(from.offset());
    for (const QString& key : from.textKeys())
        to.setText(key, from.text(key));
}
