// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/OptionsForm.h"

#include "sound/Instruments.h"
#include "sound/SoundSettings.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSlider>

namespace {

QLabel *buddyLabel(const QString &text, QWidget *buddy, const QString &name) {
    auto *label = new QLabel(text);
    label->setObjectName(name);
    label->setBuddy(buddy);
    buddy->setAccessibleName(text);
    return label;
}

QSlider *settingSlider(const QString &name) {
    auto *slider = new QSlider(Qt::Horizontal);
    slider->setObjectName(name);
    slider->setRange(0, 127);
    slider->setPageStep(8);
    slider->setMinimumWidth(260);
    return slider;
}

} // namespace

OptionsForm::OptionsForm(QWidget *parent) : QDialog(parent) {
    setObjectName("optionsform");
    setWindowTitle("Settings");
    setModal(true);

    Combochannel = new QComboBox;
    Combochannel->setObjectName("Combochannel");
    for (int c = 1; c <= 16; ++c)
        Combochannel->addItem(QString::number(c));

    comboinstr = new QComboBox;
    comboinstr->setObjectName("comboinstr");
    comboinstr->setMaxVisibleItems(20);
    for (const char *name : kInstrumentNames)
        comboinstr->addItem(QString::fromLatin1(name));

    volumeslider = settingSlider("volumeslider");
    panslider = settingSlider("panslider");

    Command1 = new QPushButton("Center");
    Command1->setObjectName("Command1");
    Command1->setAccessibleName("Center");
    Command1->setAutoDefault(false);
    connect(Command1, &QPushButton::clicked, this, &OptionsForm::Command1_Click);

    auto *left = new QLabel("L");
    left->setObjectName("Label5");
    auto *right = new QLabel("R");
    right->setObjectName("Label6");
    auto *panRow = new QHBoxLayout;
    panRow->addWidget(left);
    panRow->addWidget(panslider, 1);
    panRow->addWidget(right);

    auto *grid = new QGridLayout(this);
    grid->addWidget(buddyLabel("MIDI Channel", Combochannel, "Label1"), 0, 0);
    grid->addWidget(Combochannel, 0, 1, Qt::AlignLeft);
    grid->addWidget(buddyLabel("Instrument", comboinstr, "Label2"), 1, 0);
    grid->addWidget(comboinstr, 1, 1);
    grid->addWidget(buddyLabel("Volume (0-127)", volumeslider, "Label3"), 2, 0);
    grid->addWidget(volumeslider, 2, 1);
    grid->addWidget(buddyLabel("Panning", panslider, "Label4"), 3, 0);
    grid->addLayout(panRow, 3, 1);
    grid->addWidget(Command1, 4, 1, Qt::AlignHCenter);

    Form_Load();
}

void OptionsForm::Form_Load() {
    const SoundSettings &s = variabiliglobali();
    Combochannel->setCurrentIndex(s.channel - 1);
    volumeslider->setValue(s.volume);
    comboinstr->setCurrentIndex(s.instrument);
    panslider->setValue(s.pan);
}

void OptionsForm::Command1_Click() {
    panslider->setValue(64);
}

void OptionsForm::Form_Unload() {
    SoundSettings &s = variabiliglobali();
    s.channel = Combochannel->currentIndex() + 1;
    s.volume = volumeslider->value();
    s.instrument = comboinstr->currentIndex();
    s.pan = panslider->value();
}

void OptionsForm::done(int result) {
    Form_Unload();
    QDialog::done(result);
}
