#pragma once

#include <QWidget>

class QFrame;
class QLabel;

// The window shown at start. Any key, or a click on its frame, opens the main window.
class SplashWindow : public QWidget {
    Q_OBJECT
  public:
    explicit SplashWindow(QWidget *parent = nullptr);

    QFrame *Frame1 = nullptr;
    // Shows a problem with the sound where the user sees it at start.
    void showSoundProblem(const QString &text);

  signals:
    // Emitted once, by the first key press or click on the frame.
    void continueRequested();

  protected:
    void keyPressEvent(QKeyEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

  private:
    void Form_KeyPress();
    void Frame1_Click();
    void leave();

    QLabel *soundStatus_ = nullptr;
    bool left_ = false;
};
