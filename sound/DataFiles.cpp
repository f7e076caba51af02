// SPDX-License-Identifier: GPL-3.0-or-later
#include "sound/DataFiles.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

QStringList dataDirectories() {
    // TONVIK_DATA_PATH: the only places to look (a packager's layout, a user's own sounds).
    if (const QString path = qEnvironmentVariable("TONVIK_DATA_PATH"); !path.isEmpty())
        return path.split(QDir::listSeparator(), Qt::SkipEmptyParts);
    QStringList dirs = {QStringLiteral(TONVIK_DATADIR)};
    if (QCoreApplication::instance()) {
        const QDir exe(QCoreApplication::applicationDirPath());
        // Installed into another prefix than the one it was built for: bin/../share/tonvik.
        dirs << QDir::cleanPath(exe.filePath("../" TONVIK_RELATIVE_DATADIR));
        dirs << exe.path();
    }
    dirs << QDir::currentPath();
    // Run from the source tree (or any other directory) before it is installed.
    dirs << QStringLiteral(TONVIK_BUILD_DIR);
    dirs.removeDuplicates();
    return dirs;
}

QString findDataFile(const QString &name) {
    for (const QString &dir : dataDirectories()) {
        const QFileInfo file(QDir(dir).filePath(name));
        if (file.isFile())
            return file.absoluteFilePath();
    }
    return {};
}
