#include "sound/DataFiles.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

QStringList dataDirectories() {
    QStringList dirs = {QStringLiteral(TONVIK_DATADIR)};
    if (QCoreApplication::instance())
        dirs << QCoreApplication::applicationDirPath();
    dirs << QDir::currentPath();
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
