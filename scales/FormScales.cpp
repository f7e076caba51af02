#include "scales/FormScales.h"

#include <QVBoxLayout>

FormScales::FormScales(QWidget *parent)
    : DrillWindow(DrillKind::Scales, {"Formscales", "Scales", "Command1", "optionsmnu", "mci"},
                  parent) {}

void FormScales::buildControls(QWidget *central) {
    auto *layout = new QVBoxLayout(central);
    layout->addStretch(1);
    layout->addWidget(navigationRow());
}

void FormScales::Form_Load() {
    Midi()->midiOpen();
    sendProgramThenPan();
}
