#include "melody/FormMelody.h"

#include "sound/SoundSettings.h"

#include <QMessageBox>
#include <QVBoxLayout>

FormMelody::FormMelody(QWidget *parent)
    : DrillWindow(DrillKind::Melody,
                  {"formmelody", "Tonvik 1.0 Melody", "melody", "optionsmnu", "MCIWnd1"}, parent),
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
