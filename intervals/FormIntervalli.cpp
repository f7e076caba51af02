#include "intervals/FormIntervalli.h"

#include <QVBoxLayout>

FormIntervalli::FormIntervalli(QWidget *parent)
    : DrillWindow(DrillKind::Intervals,
                  {"Formintervalli", "Tonvik 1.0 Intervals", "intervals", "optionmnu", "mci"},
                  parent) {}

void FormIntervalli::buildControls(QWidget *central) {
    auto *layout = new QVBoxLayout(central);
    layout->addStretch(1);
    layout->addWidget(navigationRow());
}

void FormIntervalli::Form_Load() {
    Midi()->midiOpen();
    feedbackSound()->setMciCommand("open");
    // The volume chosen in the options dialog is kept: loading this window must not
    // silently put it back to 100.
    sendProgramThenPan();
}

bool FormIntervalli::Form_Unload() {
    Midi()->midiClose();
    feedbackSound()->setMciCommand("close");
    return true;
}
