#include "drill/Widgets.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QScreen>
#include <cmath>

namespace {
QString plainCaption(QString caption) {
    caption.remove(QRegularExpression(QStringLiteral("&(?!&)")));
    return caption.trimmed();
}

template <typename W> W *named(W *w, const QString &name, const QString &caption) {
    w->setObjectName(name);
    if (!plainCaption(caption).isEmpty())
        w->setAccessibleName(plainCaption(caption));
    return w;
}
} // namespace

QPushButton *makeButton(const QString &name, const QString &caption, QWidget *parent) {
    auto *b = named(new QPushButton(caption, parent), name, caption);
    b->setAutoDefault(false);
    return b;
}

QCheckBox *makeCheckBox(const QString &name, const QString &caption, QWidget *parent) {
    return named(new QCheckBox(caption, parent), name, caption);
}

QRadioButton *makeOption(const QString &name, const QString &caption, QWidget *parent) {
    return named(new QRadioButton(caption, parent), name, caption);
}

QLabel *makeLabel(const QString &name, const QString &caption, QWidget *parent) {
    return named(new QLabel(caption, parent), name, caption);
}

QGroupBox *makeFrame(const QString &name, const QString &caption, QWidget *parent) {
    return named(new QGroupBox(caption, parent), name, caption);
}

QString arrayName(const QString &name, int index) {
    return QStringLiteral("%1(%2)").arg(name).arg(index);
}

void fillAccessibleNames(QWidget *root) {
    for (QWidget *w : root->findChildren<QWidget *>()) {
        if (!w->accessibleName().isEmpty())
            continue;
        QString caption;
        if (auto *b = qobject_cast<QAbstractButton *>(w))
            caption = b->text();
        else if (auto *l = qobject_cast<QLabel *>(w))
            caption = l->text();
        else if (auto *g = qobject_cast<QGroupBox *>(w))
            caption = g->title();
        caption = plainCaption(caption);
        if (!caption.isEmpty())
            w->setAccessibleName(caption);
    }
}

QFont displayFont(double points) {
    QFont f;
    f.setFamilies(
        {"Tempus Sans ITC", "URW Chancery L", "Z003", "TeX Gyre Chorus", "DejaVu Serif", "serif"});
    f.setStyleHint(QFont::Decorative);
    f.setPointSizeF(points);
    return f;
}

QFont serifFont(double points) {
    QFont f;
    f.setFamilies({"Times New Roman", "Liberation Serif", "DejaVu Serif", "serif"});
    f.setStyleHint(QFont::Serif);
    f.setPointSizeF(points);
    return f;
}

QFont sizedFont(double points) {
    QFont f = QApplication::font();
    f.setPointSizeF(points);
    return f;
}

int twipsToPixels(int twips, const QWidget *widget) {
    const double dpi = widget ? widget->logicalDpiX() : 96.0;
    return int(std::lround(twips / 15.0 * dpi / 96.0));
}

void centerOnScreen(QWidget *window) {
    const QScreen *screen = window->screen() ? window->screen() : QApplication::primaryScreen();
    if (!screen)
        return;
    QRect frame = window->frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    window->move(frame.topLeft());
}
