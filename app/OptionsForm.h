// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>

class QComboBox;
class QPushButton;
class QSlider;

// The "Settings" dialog. It shows the four sound settings when it opens and stores
// what it shows when it closes, however it is closed: there is no OK or Cancel.
class OptionsForm : public QDialog {
    Q_OBJECT
  public:
    explicit OptionsForm(QWidget *parent = nullptr);

    QComboBox *Combochannel = nullptr;
    QComboBox *comboinstr = nullptr;
    QSlider *volumeslider = nullptr;
    QSlider *panslider = nullptr;
    QPushButton *Command1 = nullptr;

    void done(int result) override;

  private:
    void Form_Load();
    void Form_Unload();
    void Command1_Click();
};
