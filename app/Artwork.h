#pragma once

#include <QPixmap>

// The picture of the splash and about windows: a keyboard octave under two beamed
// notes, drawn at the given size.
QPixmap tonvikPicture(const QSize &size);
