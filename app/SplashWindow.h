// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QWidget>

class QFrame;
class QLabel;

// The window shown at start. Any key, or a click on its frame, opens the main window.
// It goes when the key or the mouse button is let go, not when it is pressed: the
// release then reaches the window that saw the press, and nothing of the key is left
// to land in the main window (a tool that types into the window it named, and sends
// the release elsewhere once that window is gone, would leave the key held down in
// the X server, which then repeats it into whatever has the focus).
class SplashWindow : public QWidget {
    Q_OBJECT
  public:
    explicit SplashWindow(QWidget *parent = nullptr);

    QFrame *frame = nullptr;
    // Shows a problem with the sound where the user sees it at start.
    void showSoundProblem(const QString &text);

  signals:
    // Emitted once, by the first key or click on the frame.
    void continueRequested();

  protected:
    void keyPressEvent(QKeyEvent *event) override;
    void keyReleaseEvent(QKeyEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

  private:
    void onKeyPress();
    void onFrameClick();
    void leave();

    QLabel *soundStatus_ = nullptr;
    bool left_ = false;
    bool keyDown_ = false;   // a key was pressed here and not let go yet
    bool frameDown_ = false; // likewise the mouse button on the frame
};
