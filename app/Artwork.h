// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QImage>
#include <QPixmap>

// The picture of the splash and about windows, and the program's icon: a keyboard
// octave under two beamed notes, drawn at the given size.
QImage tonvikImage(const QSize &size);
QPixmap tonvikPicture(const QSize &size);
