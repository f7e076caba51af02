// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>

class QComboBox;
class QPushButton;
class QSlider;

// The "Settings" dialog. It shows the four sound settings when it opens and stores
// what it shows when it closes, however it is closed: there is no OK or Cancel.
class OptionsDialog : public QDialog {
    Q_OBJECT
  public:
    explicit OptionsDialog(QWidget *parent = nullptr);

    QComboBox *channelList = nullptr;
    QComboBox *instrumentList = nullptr;
    QSlider *volumeSlider = nullptr;
    QSlider *panSlider = nullptr;
    QPushButton *centerButton = nullptr;
    // The audio input whose sung or played notes answer: "None" or a sound server source.
    QComboBox *audioInList = nullptr;

    void done(int result) override;

  private:
    void onLoad();
    void onUnload();
    void onCenter();
};
