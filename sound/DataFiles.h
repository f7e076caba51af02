// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

// Where the program's own data files (right.wav, wrong.wav) are looked for, in order:
// the installed data directory (where it was configured to go, then relative to the
// executable), beside the executable, the current directory, the build directory.
QStringList dataDirectories();
// The full path of a data file, or an empty string if it is nowhere.
QString findDataFile(const QString &name);
