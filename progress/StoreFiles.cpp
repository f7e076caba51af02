// SPDX-License-Identifier: GPL-3.0-or-later
#include "progress/StoreFiles.h"

#include "sound/FileNames.h"

#include <QDir>
#include <QRandomGenerator>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace storefiles {

QString native(const QByteArray &file) {
    return QDir::toNativeSeparators(fileNameFromBytes(file));
}

bool exists(const QByteArray &file) {
    struct stat st;
    return ::stat(file.constData(), &st) == 0;
}

// Whether this process may write the file, tried as the writer would open it.
bool canWrite(const QByteArray &file, QString *why) {
    const int fd = ::open(file.constData(), O_RDWR | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        *why = qt_error_string(errno);
        return false;
    }
    ::close(fd);
    return true;
}

bool makeDirectories(const QByteArray &dir) {
    struct stat st;
    if (::stat(dir.constData(), &st) == 0)
        return S_ISDIR(st.st_mode) || (errno = ENOTDIR, false);
    const qsizetype slash = dir.lastIndexOf('/');
    if (slash > 0 && !makeDirectories(dir.left(slash)))
        return false;
    return ::mkdir(dir.constData(), 0777) == 0 || errno == EEXIST;
}

// The file a name stands for: links followed, as far as the file or its directory exists.
QByteArray canonical(const QByteArray &file) {
    const qsizetype slash = file.lastIndexOf('/');
    const QByteArray dir = slash < 0 ? QByteArray(".") : file.left(std::max<qsizetype>(slash, 1));
    for (const auto &[path, rest] :
         {std::pair(file, QByteArray()), std::pair(dir, '/' + file.mid(slash + 1))})
        if (char *resolved = ::realpath(path.constData(), nullptr)) {
            QByteArray found = resolved;
            std::free(resolved);
            return found.endsWith('/') && !rest.isEmpty() ? found.chopped(1) + rest : found + rest;
        }
    return file;
}

// Writes `data` to a new file beside `target`, then puts it in the target's place: a
// full disk, a kill or a crash leaves the old file as it was. A link keeps pointing to
// the file, which gets the new content.
bool saveFile(QByteArray target, const QByteArray &data, QString *error) {
    if (char *resolved = ::realpath(target.constData(), nullptr)) {
        target = resolved;
        std::free(resolved);
    }
    struct stat old;
    const bool replacing = ::stat(target.constData(), &old) == 0;
    if (replacing && !S_ISREG(old.st_mode)) {
        *error = "it is not a regular file";
        return false;
    }
    QByteArray temp;
    int fd = -1;
    for (int i = 0; i < 100 && fd < 0; ++i) {
        temp = target + ".new-" + QByteArray::number(QRandomGenerator::global()->generate(), 36);
        fd = ::open(temp.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST)
            break;
    }
    if (fd < 0) {
        *error = qt_error_string(errno);
        return false;
    }
    auto fail = [&](int code) {
        *error = qt_error_string(code);
        ::close(fd);
        ::unlink(temp.constData());
        return false;
    };
    for (qsizetype done = 0; done < data.size();) {
        const ssize_t n = ::write(fd, data.constData() + done, size_t(data.size() - done));
        if (n > 0)
            done += n;
        else if (n == 0 || errno != EINTR)
            return fail(n == 0 ? ENOSPC : errno);
    }
    if ((replacing && ::fchmod(fd, old.st_mode & 07777) != 0) || ::fsync(fd) != 0)
        return fail(errno);
    if (::close(fd) != 0 || ::rename(temp.constData(), target.constData()) != 0) {
        *error = qt_error_string(errno);
        ::unlink(temp.constData());
        return false;
    }
    return true;
}

// One CSV field of text: RFC 4180 quoting, and a text that a spreadsheet would take for a
// formula ("=", "+", "-", "@", a tab or a return first) begun with a quote, so that it
// shows as written.
namespace {
QByteArray csvText(QString s) {
    const bool formula = !s.isEmpty() && QStringView(u"=+-@\t\r").contains(s[0]);
    if (formula)
        s.prepend('\'');
    if (formula || s.contains(',') || s.contains('"') || s.contains('\n') || s.contains('\r'))
        s = '"' + s.replace('"', "\"\"") + '"';
    return s.toUtf8();
}
} // namespace

QByteArray csv(const std::vector<Answer> &rows) {
    QByteArray out = "time_utc,drill,asked_index,asked,root,mode,asked_notes,answered_index,"
                     "answered_keys,right,weight,answer_ms,key_ms\r\n";
    for (const Answer &a : rows) {
        const QByteArray fields[] = {csvText(a.at.toUTC().toString(Qt::ISODateWithMs)),
                                     csvText(a.drill),
                                     QByteArray::number(a.askedIndex),
                                     csvText(a.askedName),
                                     QByteArray::number(a.root),
                                     csvText(a.mode),
                                     csvText(a.askedNotes),
                                     QByteArray::number(a.answeredIndex),
                                     csvText(a.answeredKeys),
                                     a.right ? "1" : "0",
                                     QByteArray::number(a.weight),
                                     QByteArray::number(a.answerMs),
                                     csvText(a.keyTimes)};
        out += QByteArrayList(std::begin(fields), std::end(fields)).join(',') + "\r\n";
    }
    return out;
}

} // namespace storefiles
