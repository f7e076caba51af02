// SPDX-License-Identifier: GPL-3.0-or-later
#include "drill/Widgets.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QHash>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QScreen>
#include <QSlider>
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

namespace {

QString baseName(const QString &objectName) {
    const int paren = objectName.indexOf('(');
    return paren < 0 ? objectName : objectName.left(paren);
}

QString describe(QWidget *w, const QString &itemWord) {
    const QString name = w->accessibleName();
    const QString base = baseName(w->objectName());
    const QString key =
        w->toolTip().contains('(') ? w->toolTip().section('(', 1).chopped(1) : QString();
    const QString withKey = key.isEmpty() ? QString() : QString(" (key %1)").arg(key);

    if (qobject_cast<QSlider *>(w))
        return "The pause between the notes, in milliseconds";
    if (qobject_cast<QComboBox *>(w))
        return base == "nnotescombo" ? "How many notes a melody has"
                                     : "The note the questions start from: random or fixed";
    if (qobject_cast<QCheckBox *>(w)) {
        if (base == "octave")
            return QString("When ticked, melodies use notes of the %1 octave").arg(name);
        if (itemWord == "note")
            return QString("When ticked, melodies may use %1").arg(name);
        return QString("When ticked, questions may be %1").arg(name);
    }
    if (qobject_cast<QRadioButton *>(w)) {
        if (name.compare("No test", Qt::CaseInsensitive) == 0)
            return "Practice: the answer buttons play, nothing is scored";
        if (name == "Test mode")
            return "The answer buttons answer the question, and the score is kept";
        return QString("Plays the notes of a question: %1").arg(name.toLower());
    }
    if (!qobject_cast<QPushButton *>(w))
        return {};
    static const QHash<QString, QString> shared{
        {"New", "Plays a new question"},          {"Repeat", "Plays the question again"},
        {"Reveal", "Shows the answer"},           {"Stop noise!", "Silences every note at once"},
        {"Reset", "Sets the score back to zero"}, {"Exit", "Asks whether to leave Tonvik"},
    };
    if (const auto it = shared.find(name); it != shared.end())
        return it.value() + withKey;
    if (base == "tasto")
        return QString("Plays %1; in test mode, answers with it%2").arg(name, withKey);
    if (base == "playint" || base == "playchord" || base == "playscale")
        return QString("Plays the %1 %2; in test mode, answers with it").arg(itemWord, name);
    if (name == "Melody" || name == "Intervals" || name == "Chords" || name == "Scales")
        return QString("Opens the %1 window").arg(name);
    if (name.startsWith("All", Qt::CaseInsensitive))
        return "Ticks every box of its group";
    if (name.startsWith("None", Qt::CaseInsensitive))
        return "Clears every box of its group";
    return QString("Ticks the boxes of the set \"%1\" and clears the others").arg(name);
}

} // namespace

void fillAccessibleDescriptions(QWidget *root, const QString &itemWord) {
    for (QWidget *w : root->findChildren<QWidget *>()) {
        if (!w->accessibleDescription().isEmpty())
            continue;
        const QString text = describe(w, itemWord);
        if (!text.isEmpty())
            w->setAccessibleDescription(text);
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
