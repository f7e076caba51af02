// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>

class QComboBox;
class QLabel;
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
    // The MIDI keyboard's port ("None" first), changed as soon as another is chosen.
    QComboBox *midiInputList = nullptr;
    QLabel *midiInputProblem = nullptr;

    void done(int result) override;

  private:
    void onLoad();
    void onUnload();
    void onCenter();
    void fillMidiInputs();
    void onMidiInputChosen();
};
