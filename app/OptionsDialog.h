// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>

class QComboBox;
class QLabel;
class QPushButton;
class QSlider;
struct SoundSettings;

// The "Settings" dialog. It shows the four sound settings when it opens and stores
// what it shows when it closes, however it is closed: there is no OK or Cancel. What it
// stores is kept for the next run.
class OptionsDialog : public QDialog {
    Q_OBJECT
  public:
    explicit OptionsDialog(QWidget *parent = nullptr);

    QComboBox *channelList = nullptr;
    QComboBox *instrumentList = nullptr;
    QSlider *volumeSlider = nullptr;
    QSlider *panSlider = nullptr;
    QPushButton *centerButton = nullptr;
    QPushButton *resetButton = nullptr; // "Reset to defaults"
    // The MIDI keyboard's port ("None" first), changed as soon as another is chosen.
    QComboBox *midiInputList = nullptr;
    QLabel *midiInputProblem = nullptr;
    // The audio input whose sung or played notes answer: "None" or a sound server source.
    QComboBox *audioInList = nullptr;

    void done(int result) override;

  signals:
    // "Reset to defaults": the dialog shows the default sound settings; every other
    // kept setting is to go back to its default too.
    void resetRequested();

  private:
    void onLoad();
    void showSettings(const SoundSettings &settings);
    void onUnload();
    void onCenter();
    void fillMidiInputs();
    void onMidiInputChosen();
};
