// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QString>

// A drill window's player for the feedback sounds. It is driven through two string
// properties: assigning mciCommand runs "open", "play" or "close"; "play" plays the
// file named by mciFileName, mixed into the synthesiser's output.
class FeedbackSound : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString mciCommand READ mciCommand WRITE setMciCommand)
    Q_PROPERTY(QString mciFileName READ mciFileName WRITE setMciFileName)
  public:
    explicit FeedbackSound(QString window, QObject *parent = nullptr);

    QString mciCommand() const { return command_; }
    void setMciCommand(const QString &command);
    QString mciFileName() const { return fileName_; }
    void setMciFileName(const QString &name) { fileName_ = name; }
    bool isOpen() const { return open_; }

  signals:
    // Every command as it is run, with the file name it refers to.
    void commandRun(const QString &command, const QString &fileName);

  private:
    void play();

    QString window_;
    QString command_;
    QString fileName_;
    bool open_ = false;
};
