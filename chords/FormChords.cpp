#include "chords/FormChords.h"

#include <QVBoxLayout>

FormChords::FormChords(QWidget *parent)
    : DrillWindow(DrillKind::Chords,
                  {"Formchords", "Tonvik 1.0 Chords", "chords", "optionsmnu", "mci"}, parent) {}

void FormChords::buildControls(QWidget *central) {
    auto *layout = new QVBoxLayout(central);
    layout->addStretch(1);
    layout->addWidget(navigationRow());
}

void FormChords::Form_Load() {
    Midi()->midiOpen();
    sendProgramThenPan();
}
