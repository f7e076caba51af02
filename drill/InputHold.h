// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QPointer>
#include <memory>
#include <vector>

#include <QEvent>

// While a question plays, user input (clicks, keys, wheel, shortcuts) is held back
// instead of being handled, and handed on in its order once the playing has ended:
// no handler runs inside another. Everything else (painting, timers) goes on.
class InputHold : public QObject {
    Q_OBJECT
  public:
    // Nested holds are one hold; input is released when the outermost ends.
    static void begin();
    static void end();
    static bool active();
    static bool isUserInput(const QEvent *event);

  protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

  private:
    struct Held {
        QPointer<QObject> receiver;
        std::unique_ptr<QEvent> event;
    };
    std::vector<Held> held_;
    int depth_ = 0;

    static InputHold &instance();
};
