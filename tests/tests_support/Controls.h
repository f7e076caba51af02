// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QAbstractButton>
#include <QComboBox>
#include <QLabel>
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
