// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/AboutWindow.h"

#include "app/Artwork.h"
#include "drill/Widgets.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

AboutWindow::AboutWindow(QWidget *parent) : QDialog(parent) {
    setObjectName("formabout");
    setWindowTitle("About!");
    setModal(true);

    auto *picture = makeLabel("Image1", QString());
    picture->setPixmap(tonvikPicture({140, 140}));
    picture->setAccessibleName("Tonvik picture");

    auto line = [](const QString &name, const QString &text, const QFont &font) {
        auto *label = makeLabel(name, text);
        label->setFont(font);
        return label;
    };

    auto *texts = new QVBoxLayout;
    texts->addWidget(line("lblProductName", "Tonvik", displayFont(32)));
    texts->addWidget(line("lblVersion", "Tonvik 1.0", displayFont(16)));
    texts->addWidget(
        line("lblCredit", "Written by the Tonvik developers, for musicians", displayFont(11)));
    texts->addWidget(
        line("lblContact", "Ideas and bug reports are welcome on the project page", serifFont(10)));
    texts->addSpacing(10);
    texts->addWidget(line("lblThanks", "Thanks to: ", displayFont(11)));
    texts->addWidget(line("lblMidiControl", "JWCS MIDI Synthesiser Control", displayFont(11)));
    texts->addWidget(line("lblSynth", "FluidSynth and the FluidR3 GM sound font", displayFont(11)));
    texts->addSpacing(10);
    texts->addWidget(line("lblLicense",
                          "Free software under the GNU General Public License, version 3 or "
                          "later. There is no warranty.",
                          serifFont(10)));

    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(20, 20, 20, 20);
    layout->addWidget(picture, 0, Qt::AlignTop);
    layout->addSpacing(16);
    layout->addLayout(texts, 1);
}
