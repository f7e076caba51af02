// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>

// A file name as the system has it, a string of bytes, and as a QString. Qt 6 reads every
// name as UTF-8 and turns a byte that is not UTF-8 into U+FFFD, which names another file;
// here such a byte b becomes the lone surrogate U+DC00 + b instead, and back again. A name
// that is UTF-8 reads as QFile::decodeName reads it. A QString holding such a byte must
// reach the system through fileNameBytes(), not through Qt's file classes.
QString fileNameFromBytes(const QByteArray &bytes);
QByteArray fileNameBytes(const QString &name);
