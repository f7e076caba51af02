#include "melody/FormMelody.h"

#include "sound/SoundSettings.h"

#include <QMessageBox>
#include <QVBoxLayout>

namespace {
DrillWindow::Cycle melodyCycle() {
    DrillWindow::Cycle c;
    c.testFrame = "Frame6";
    c.questionsCaption = "Label3";
    c.questionsCount = "Label4";
    c.rightCaption = "Label2";
    c.stopName = "stoponoise";
    c.feedbackPoints = 13.5;
    c.sliderFrame = "delayframe";
    c.sliderFrameCaption = "Delay ";
    c.sliderMaximum = 3000;
    c.sliderValueLabel.clear();
    c.recomputePercentOnNew = false;
    return c;
}
} // namespace

FormMelody::FormMelody(QWidget *parent)
    : DrillWindow(DrillKind::Melody,
                  {"formmelody", "Tonvik 1.0 Melody", "melody", "optionsmnu", "MCIWnd1"},
                  melodyCycle(), parent),
      exitQuestion(askExitQuestion) {}

void FormMelody::buildControls(QWidget *central) {
    auto *layout = new QVBoxLayout(central);
    layout->addStretch(1);
    layout->addWidget(navigationRow());
}

void FormMelody::Form_Load() {
    Midi()->midiOpen();
    feedbackSound()->setMciCommand("open");
    variabiliglobali().storeDefaults();
    sendPanThenProgram();
}

bool FormMelody::Form_Unload() {
    if (!exitQuestion(this))
        return false;
    Midi()->midiClose();
    feedbackSound()->setMciCommand("close");
    emit exitConfirmed();
    return true;
}

bool askExitQuestion(QWidget *parent) {
    QMessageBox box(QMessageBox::Warning, "Tonvik 1.0", "Exit from Tonvik 1.0?",
                    QMessageBox::Yes | QMessageBox::No, parent);
    box.setObjectName("exitquestion");
    box.setDefaultButton(QMessageBox::Yes);
    return box.exec() == QMessageBox::Yes;
}
