#include "chords/FormChords.h"

#include <QVBoxLayout>

namespace {
DrillWindow::Cycle chordsCycle() {
    DrillWindow::Cycle c;
    c.notestCaption = "No Test";
    c.sliderFrameCaption = "Arpeggio time [ms]";
    c.countBeforePlaying = true;
    return c;
}
} // namespace

FormChords::FormChords(QWidget *parent)
    : DrillWindow(DrillKind::Chords,
                  {"Formchords", "Tonvik 1.0 Chords", "chords", "optionsmnu", "mci"}, chordsCycle(),
                  parent) {}

void FormChords::buildControls(QWidget *central) {
    auto *layout = new QVBoxLayout(central);
    layout->addStretch(1);
    layout->addWidget(navigationRow());
}

void FormChords::Form_Load() {
    Midi()->midiOpen();
    sendProgramThenPan();
}
