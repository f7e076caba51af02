// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QFont>
#include <QRadioButton>
#include <QString>
#include <string_view>

class QAbstractButton;
class QCheckBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QWidget;

// Small helpers for building the windows: every control gets its design name as its
// objectName and a caption-derived accessible name.
QPushButton *makeButton(const QString &name, const QString &caption, QWidget *parent = nullptr);
QCheckBox *makeCheckBox(const QString &name, const QString &caption, QWidget *parent = nullptr);
QRadioButton *makeOption(const QString &name, const QString &caption, QWidget *parent = nullptr);
QLabel *makeLabel(const QString &name, const QString &caption, QWidget *parent = nullptr);
QGroupBox *makeFrame(const QString &name, const QString &caption, QWidget *parent = nullptr);

// Runs handler whenever the option button becomes the selected one, by a click or by
// the program, as an option's Click does.
template <typename Handler>
void onSelected(QRadioButton *option, QObject *context, Handler handler) {
    QObject::connect(option, &QRadioButton::toggled, context, [handler](bool on) {
        if (on)
            handler();
    });
}

// Ticks (or clears) every check box of a row.
template <typename Boxes> void setAllChecked(const Boxes &boxes, bool checked) {
    for (auto *box : boxes)
        box->setChecked(checked);
}

// A name of the music tables (plain ASCII) as a caption.
inline QString latin1(std::string_view s) {
    return QString::fromLatin1(s.data(), qsizetype(s.size()));
}

// The name of the i-th element of a control array, e.g. "playint(7)".
QString arrayName(const QString &name, int index);

// Gives every control below root that has none an accessible name: its caption
// without the access-key ampersand.
void fillAccessibleNames(QWidget *root);

// Gives every control below root that has none an accessible description: what it
// does, in a few words, for screen readers and the tooltip-less. itemWord is what the
// window's items are ("interval", "chord", ...).
void fillAccessibleDescriptions(QWidget *root, const QString &itemWord);

// The decorative display face of the splash and about windows, and a serif face.
QFont displayFont(double points);
QFont serifFont(double points);
// A plain face at a given point size (the drill windows' large labels).
QFont sizedFont(double points);

// Places a top-level window in the middle of the screen it is on.
void centerOnScreen(QWidget *window);

// Lengths of the window design, given in twips (1/1440 inch), in pixels for a widget.
int twipsToPixels(int twips, const QWidget *widget);
