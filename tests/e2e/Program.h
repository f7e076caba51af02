// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Accessibility.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

// Runs a command to its end; true if it succeeded. Its output (both streams) in *output.
inline bool runCommand(const QString &program, const QStringList &args, QString *output = nullptr) {
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, args);
    const bool ok =
        p.waitForFinished(60000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    if (output)
        *output = QString::fromLocal8Bit(p.readAll());
    return ok;
}

// Installs the program built in this build tree into `prefix`, as a user would.
inline bool installInto(const QString &prefix, QString *output = nullptr) {
    return runCommand("cmake", {"--install", TONVIK_BUILD_DIR, "--prefix", prefix}, output);
}

// A note-on in the MIDI trace: when (ms) and which.
struct TracedNote {
    qint64 ms;
    int note;
};

// One run of the installed program in a home and XDG folders of its own (never the
// user's): its accessibility tree, MIDI trace and standard error.
struct Program {
    QProcess process;
    QTemporaryDir home;
    QString said;
    A11yNode app;

    // Starts bin/tonvik of `prefix`, waits for its title window; `melody`: opens Melody.
    void start(const QString &prefix, QProcessEnvironment env, const QStringList &args = {},
               bool melody = false) {
        env.remove("QT_QPA_PLATFORM");
        env.insert("QT_LINUX_ACCESSIBILITY_ALWAYS_ON", "1");
        env.insert("TONVIK_MIDI_TRACE", home.filePath("trace.txt"));
        env.insert("HOME", home.path());
        for (const char *xdg : {"XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME"})
            env.insert(xdg, home.filePath(xdg));
        process.setProcessEnvironment(env);
        process.start(prefix + "/bin/tonvik", args);
        QVERIFY(process.waitForStarted());
        app = a11y::application(process.processId(), 15000);
        QVERIFY2(app.valid(), "the program did not appear on the accessibility bus");
        QVERIFY(a11y::waitFor(app, "label", "Hit a button !", 10000).valid());
        if (melody) {
            QTest::qWait(300);
            QVERIFY(a11y::typeKey(0xff0d)); // Return
            QVERIFY(a11y::waitFor(app, "push button", "New", 10000).valid());
        }
    }
    QString stderrText() { return said += QString::fromLocal8Bit(process.readAllStandardError()); }
    QStringList traceLines() const {
        QFile f(home.filePath("trace.txt"));
        return f.open(QIODevice::ReadOnly | QIODevice::Text)
                   ? QString::fromUtf8(f.readAll()).split('\n', Qt::SkipEmptyParts)
                   : QStringList();
    }
    // The note-ons of a window (all: any window) from trace line `from` on.
    std::vector<TracedNote> notes(const QString &window = {}, int from = 0) const {
        std::vector<TracedNote> notes;
        for (const QString &line : traceLines().mid(from)) {
            const QStringList f = line.split(' ');
            if (f.size() == 6 && (window.isEmpty() || f[1] == window) && f[2] == "noteOn")
                notes.push_back({f[0].toLongLong(), f[5].toInt()});
        }
        return notes;
    }
    // The window whose title ends with `title`, once it shows (within waitMs).
    A11yNode window(const QString &title, int waitMs = 5000) const {
        QElapsedTimer timer;
        timer.start();
        for (;; QTest::qWait(100)) {
            const auto frames = app.findAll([&](const A11yNode &n) {
                return n.role() == "frame" && n.name().endsWith(title) && n.showing();
            });
            if (!frames.empty() || timer.elapsed() >= waitMs)
                return frames.empty() ? A11yNode() : frames.front();
        }
    }
    // Presses a control of a window, waiting for it to show.
    bool press(const QString &title, const QString &role, const QString &name) const {
        return a11y::waitFor(window(title), role, name, 5000).press();
    }
    // The confirmed exit, which must end the program at once and well.
    void exit() {
        QVERIFY(press("Melody", "push button", "Exit"));
        QVERIFY(a11y::waitFor(app, "push button", "Yes", 5000).press());
        QVERIFY2(process.waitForFinished(8000), "the program did not end");
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), 0);
    }
    ~Program() {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished();
        }
    }
};
