// SPDX-License-Identifier: GPL-3.0-or-later
// Renders the program's icon as PNG files of the usual sizes into the given directory.
#include "app/Artwork.h"

#include <QDir>
#include <cstdio>

int main(int argc, char **argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT_DIRECTORY\n", argv[0]);
        return 2;
    }
    const QDir dir(QString::fromLocal8Bit(argv[1]));
    for (int size : {16, 32, 48, 64, 128, 256}) {
        const QString path = dir.filePath(QString("tonvik-%1.png").arg(size));
        if (!tonvikImage({size, size}).save(path)) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
            return 1;
        }
    }
    return 0;
}
