#include "scales/FormScales.h"

#include <QVBoxLayout>

namespace {
DrillWindow::Cycle scalesCycle() {
    DrillWindow::Cycle c;
    c.notestCaption = "No Test";
    c.stopCaption = "&Stop noise!";
    c.answerPoints = 13.5;
    c.sliderFrameCaption = "Intervals [ms]";
    c.sliderLoadValue = 250;
    c.sliderValueDesignText = "500";
    c.countBeforePlaying = true;
    return c;
}
} // namespace

FormScales::FormScales(QWidget *parent)
    : DrillWindow(DrillKind::Scales, {"Formscales", "Scales", "Command1", "optionsmnu", "mci"},
                  scalesCycle(), parent) {}

void FormScales::buildControls(QWidget *central) {
    auto *layout = new QVBoxLayout(central);
    layout->addStretch(1);
    layout->addWidget(navigationRow());
}

void FormScales::Form_Load() {
    Midi()->midiOpen();
    sendProgramThenPan();
}
