// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QRect>
#include <QSettings>
#include <QString>
#include <QTimer>
#include <QVariant>
#include <optional>
#include <set>

// The settings kept between runs, in one file (`~/.config/tonvik/tonvik.conf`): the
// sound settings, each drill window's controls and each window's place. A value is
// written shortly after it changes (not only at exit, so a crash keeps it). A value that
// cannot be read or is out of range counts as not kept, said once on standard error;
// a file that cannot be read is left alone all run, one that cannot be written is said
// once, and the run goes on either way.
class KeptSettings {
  public:
    explicit KeptSettings(const QString &file);
    ~KeptSettings(); // writes what is waiting

    // The settings of this run; null keeps nothing (a run with --defaults, the tests).
    static KeptSettings *current();
    static void setCurrent(KeptSettings *settings);
    // ~/.config/tonvik/tonvik.conf (under $XDG_CONFIG_HOME).
    static QString defaultPath();

    bool contains(const QString &key) const;
    // The value kept, if there is one and it is in range.
    std::optional<int> integer(const QString &key, int min, int max);
    std::optional<bool> boolean(const QString &key);
    std::optional<QByteArray> bytes(const QString &key);
    std::optional<QRect> rect(const QString &key);
    void set(const QString &key, const QVariant &value);
    // Forgets every value ("Reset to defaults").
    void clear();
    // Writes now; false if the file cannot be written.
    bool write();

  private:
    void bad(const QString &key, const QString &value);

    QSettings settings_;
    bool readable_ = true;
    bool saidUnwritable_ = false;
    std::set<QString> saidBad_;
    QTimer writeSoon_;
};
