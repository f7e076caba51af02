// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "theory/Answer.h"

#include <QByteArray>
#include <QString>
#include <vector>

// The progress store's files, named by the system's bytes (a name need not be UTF-8),
// and the CSV it writes.
namespace storefiles {

QString native(const QByteArray &file); // for messages
bool exists(const QByteArray &file);
// Whether this process may write the file, tried as the writer would open it.
bool canWrite(const QByteArray &file, QString *why);
bool makeDirectories(const QByteArray &dir);
// The file a name stands for: links followed, as far as the file or its directory exists.
QByteArray canonical(const QByteArray &file);
// Writes `data` to a new file beside `target`, then puts it in the target's place: a
// full disk, a kill or a crash leaves the old file as it was. A link keeps pointing to
// the file, which gets the new content.
bool saveFile(QByteArray target, const QByteArray &data, QString *error);
// Every answer as CSV: a header line, RFC 4180 quoting, and a text that a spreadsheet
// would take for a formula begun with a quote.
QByteArray csv(const std::vector<Answer> &rows);

} // namespace storefiles
