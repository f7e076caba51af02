#pragma once

#include <QAbstractButton>
#include <QComboBox>
#include <QLabel>
#include <QSlider>
#include <QTest>
#include <QWidget>

// Finding a window's controls by their design names, as a tester reads them.
inline QAbstractButton *button(QWidget *w, const QString &name) {
    auto *b = w->findChild<QAbstractButton *>(name);
    if (!b)
        qFatal("no button %s in %s", qPrintable(name), qPrintable(w->objectName()));
    return b;
}
inline QLabel *label(QWidget *w, const QString &name) {
    auto *l = w->findChild<QLabel *>(name);
    if (!l)
        qFatal("no label %s in %s", qPrintable(name), qPrintable(w->objectName()));
    return l;
}
inline QString text(QWidget *w, const QString &name) {
    return label(w, name)->text();
}
inline QComboBox *combo(QWidget *w, const QString &name) {
    return w->findChild<QComboBox *>(name);
}
inline QSlider *slider(QWidget *w, const QString &name = "Slider1") {
    return w->findChild<QSlider *>(name);
}
inline void click(QWidget *w, const QString &name) {
    QTest::mouseClick(button(w, name), Qt::LeftButton);
}
inline bool enabled(QWidget *w, const QString &name) {
    auto *c = w->findChild<QWidget *>(name);
    if (!c)
        qFatal("no control %s in %s", qPrintable(name), qPrintable(w->objectName()));
    return c->isEnabled();
}
