// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>

// The "About!" window; it is closed with its close box.
class AboutWindow : public QDialog {
    Q_OBJECT
  public:
    explicit AboutWindow(QWidget *parent = nullptr);
};
