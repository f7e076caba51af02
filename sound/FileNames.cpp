// SPDX-License-Identifier: GPL-3.0-or-later
#include "sound/FileNames.h"

#include <QFile>

namespace {

constexpr char16_t kByteEscape = 0xDC00; // U+DC80..U+DCFF: the bytes 0x80..0xFF

// The length of the well-formed UTF-8 sequence at `at`, or 0.
int sequenceLength(const QByteArray &s, qsizetype at) {
    const auto byte = [&](qsizetype i) { return i < s.size() ? uchar(s[i]) : 0; };
    const uchar lead = byte(at);
    auto continues = [&](int n, uchar low, uchar high) {
        if (byte(at + 1) < low || byte(at + 1) > high)
            return 0;
        for (int i = 2; i < n; ++i)
            if ((byte(at + i) & 0xC0) != 0x80)
                return 0;
        return n;
    };
    if (lead < 0x80)
        return 1;
    if (lead >= 0xC2 && lead <= 0xDF)
        return continues(2, 0x80, 0xBF);
    if (lead == 0xE0)
        return continues(3, 0xA0, 0xBF);
    if (lead == 0xED) // not the surrogates
        return continues(3, 0x80, 0x9F);
    if (lead >= 0xE1 && lead <= 0xEF)
        return continues(3, 0x80, 0xBF);
    if (lead == 0xF0)
        return continues(4, 0x90, 0xBF);
    if (lead >= 0xF1 && lead <= 0xF3)
        return continues(4, 0x80, 0xBF);
    if (lead == 0xF4)
        return continues(4, 0x80, 0x8F);
    return 0;
}

} // namespace

QString fileNameFromBytes(const QByteArray &bytes) {
    const QString name = QFile::decodeName(bytes);
    if (QFile::encodeName(name) == bytes)
        return name;
    QString out;
    for (qsizetype i = 0; i < bytes.size();) {
        if (const int n = sequenceLength(bytes, i)) {
            out += QString::fromUtf8(bytes.mid(i, n));
            i += n;
        } else {
            out += QChar(char16_t(kByteEscape + uchar(bytes[i++])));
        }
    }
    return out;
}

QByteArray fileNameBytes(const QString &name) {
    QByteArray out;
    qsizetype plain = 0; // the start of the run not yet converted
    for (qsizetype i = 0; i < name.size(); ++i) {
        const char16_t c = name[i].unicode();
        const bool paired = i > 0 && name[i - 1].isHighSurrogate();
        if (c >= kByteEscape + 0x80 && c <= kByteEscape + 0xFF && !paired) {
            out += QFile::encodeName(name.mid(plain, i - plain));
            out += char(c - kByteEscape);
            plain = i + 1;
        }
    }
    return out + QFile::encodeName(name.mid(plain));
}
