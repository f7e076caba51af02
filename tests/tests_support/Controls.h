// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSlider>
#include <QTest>
#include <QTimer>

// A window's controls by their design names, as a tester reads them.
template <typename T = QWidget> T *control(QWidget *w, const QString &name) {
    auto *c = w->findChild<T *>(name);
    if (!c)
        qFatal("no %s in %s", qPrintable(name), qPrintable(w->objectName()));
    return c;
}
inline QAbstractButton *button(QWidget *w, const QString &name) {
    return control<QAbstractButton>(w, name);
}
inline QString text(QWidget *w, const QString &name) {
    return control<QLabel>(w, name)->text();
}
inline void click(QWidget *w, const QString &name) {
    QTest::mouseClick(button(w, name), Qt::LeftButton);
}
inline bool enabled(QWidget *w, const QString &name) {
    return control(w, name)->isEnabled();
}

// Answers the next message box the program shows (the real one, run modally) with
// `which`, and keeps its text, title and icon.
struct MessageBoxAnswer {
    QString text, title;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
};
inline void answerNextMessageBox(QMessageBox::StandardButton which, MessageBoxAnswer *seen) {
    auto *poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, [poll, which, seen] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box)
            return;
        *seen = {box->text(), box->windowTitle(), box->icon(),
                 box->standardButton(box->defaultButton())};
        poll->deleteLater();
        box->button(which)->click();
    });
    poll->start(10);
}
