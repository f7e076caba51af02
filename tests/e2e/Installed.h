#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

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
