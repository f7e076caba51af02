// SPDX-License-Identifier: GPL-3.0-or-later
#include "sound/KeptSettings.h"

#include "sound/FileNames.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <cstdio>

namespace {
KeptSettings *g_current = nullptr;

void say(const QString &text) {
    std::fprintf(stderr, "tonvik: %s\n", fileNameBytes(text).constData());
}
} // namespace

KeptSettings::KeptSettings(const QString &file) : settings_(file, QSettings::IniFormat) {
    const QFileInfo info(file);
    // A file there that cannot be read is not written either: writing it would lose
    // whatever it holds.
    if (settings_.status() != QSettings::NoError || (info.exists() && !info.isReadable()) ||
        info.isDir()) {
        readable_ = false;
        say(QString("Cannot read the settings file %1: this run starts from the defaults "
                    "and keeps no settings.")
                .arg(file));
    }
    writeSoon_.setSingleShot(true);
    writeSoon_.setInterval(200);
    QObject::connect(&writeSoon_, &QTimer::timeout, [this] { write(); });
}

KeptSettings::~KeptSettings() {
    if (g_current == this)
        g_current = nullptr;
    if (writeSoon_.isActive())
        write();
}

KeptSettings *KeptSettings::current() {
    return g_current;
}

void KeptSettings::setCurrent(KeptSettings *settings) {
    g_current = settings;
}

QString KeptSettings::defaultPath() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           "/tonvik/tonvik.conf";
}

bool KeptSettings::contains(const QString &key) const {
    return readable_ && settings_.contains(key);
}

void KeptSettings::bad(const QString &key, const QString &value) {
    if (saidBad_.insert(key).second)
        say(QString("The settings file %1 holds \"%2\" for %3, which cannot be: its default "
                    "is used.")
                .arg(settings_.fileName(), value, key));
}

std::optional<int> KeptSettings::integer(const QString &key, int min, int max) {
    if (!contains(key))
        return std::nullopt;
    const QString text = settings_.value(key).toString();
    bool ok = false;
    const int value = text.toInt(&ok);
    if (ok && value >= min && value <= max)
        return value;
    bad(key, text);
    return std::nullopt;
}

std::optional<bool> KeptSettings::boolean(const QString &key) {
    if (!contains(key))
        return std::nullopt;
    const QString text = settings_.value(key).toString();
    if (text == "true" || text == "false")
        return text == "true";
    bad(key, text);
    return std::nullopt;
}

std::optional<QByteArray> KeptSettings::bytes(const QString &key) {
    if (!contains(key))
        return std::nullopt;
    const QVariant value = settings_.value(key);
    if (value.typeId() == QMetaType::QByteArray)
        return value.toByteArray();
    bad(key, value.toString());
    return std::nullopt;
}

std::optional<QRect> KeptSettings::rect(const QString &key) {
    if (!contains(key))
        return std::nullopt;
    const QVariant value = settings_.value(key);
    if (value.typeId() == QMetaType::QRect && value.toRect().isValid())
        return value.toRect();
    bad(key, value.toString());
    return std::nullopt;
}

void KeptSettings::set(const QString &key, const QVariant &value) {
    if (!readable_)
        return;
    settings_.setValue(key, value);
    writeSoon_.start();
}

void KeptSettings::clear() {
    if (!readable_)
        return;
    settings_.clear();
    write();
}

bool KeptSettings::write() {
    writeSoon_.stop();
    if (!readable_)
        return false;
    QDir().mkpath(QFileInfo(settings_.fileName()).absolutePath());
    settings_.sync();
    if (settings_.status() == QSettings::NoError) {
        saidUnwritable_ = false;
        return true;
    }
    if (!saidUnwritable_) {
        saidUnwritable_ = true;
        say(QString("Cannot write the settings file %1: the settings of this run are not "
                    "kept.")
                .arg(settings_.fileName()));
    }
    return false;
}
