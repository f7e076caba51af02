// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/OptionsDialog.h"

#include "app/VoiceAnswers.h"

#include "sound/Instruments.h"
#include "sound/MidiPorts.h"
#include "sound/SoundSettings.h"

#include <QComboBox>
#include <QFutureWatcher>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPromise>
#include <QPushButton>
#include <QSlider>
#include <QThreadPool>
#include <memory>

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

OptionsDialog::OptionsDialog(QWidget *parent) : QDialog(parent) {
    setObjectName("optionsform");
    setWindowTitle("Settings");
    setModal(true);

    channelList = new QComboBox;
    channelList->setObjectName("Combochannel");
    for (int c = 1; c <= 16; ++c)
        channelList->addItem(QString::number(c));

    instrumentList = new QComboBox;
    instrumentList->setObjectName("comboinstr");
    instrumentList->setMaxVisibleItems(20);
    for (const char *name : kInstrumentNames)
        instrumentList->addItem(QString::fromLatin1(name));

    volumeSlider = settingSlider("volumeslider");
    panSlider = settingSlider("panslider");

    centerButton = new QPushButton("Center");
    centerButton->setObjectName("Command1");
    centerButton->setAccessibleName("Center");
    centerButton->setAutoDefault(false);
    connect(centerButton, &QPushButton::clicked, this, &OptionsDialog::onCenter);

    resetButton = new QPushButton("Reset to defaults");
    resetButton->setObjectName("resetdefaults");
    resetButton->setAccessibleName("Reset to defaults");
    resetButton->setToolTip("Every setting of every window back to how Tonvik starts the "
                            "first time");
    resetButton->setAutoDefault(false);
    connect(resetButton, &QPushButton::clicked, this, [this] {
        showSettings(SoundSettings{});
        emit resetRequested();
    });

    auto *left = new QLabel("L");
    left->setObjectName("Label5");
    auto *right = new QLabel("R");
    right->setObjectName("Label6");
    auto *panRow = new QHBoxLayout;
    panRow->addWidget(left);
    panRow->addWidget(panSlider, 1);
    panRow->addWidget(right);

    auto *grid = new QGridLayout(this);
    grid->addWidget(buddyLabel("MIDI Channel", channelList, "Label1"), 0, 0);
    grid->addWidget(channelList, 0, 1, Qt::AlignLeft);
    grid->addWidget(buddyLabel("Instrument", instrumentList, "Label2"), 1, 0);
    grid->addWidget(instrumentList, 1, 1);
    grid->addWidget(buddyLabel("Volume (0-127)", volumeSlider, "Label3"), 2, 0);
    grid->addWidget(volumeSlider, 2, 1);
    grid->addWidget(buddyLabel("Panning", panSlider, "Label4"), 3, 0);
    grid->addLayout(panRow, 3, 1);
    grid->addWidget(centerButton, 4, 1, Qt::AlignHCenter);

    midiInputList = new QComboBox;
    midiInputList->setObjectName("combomidiin");
    midiInputProblem = new QLabel;
    midiInputProblem->setObjectName("midiinproblem");
    midiInputProblem->setWordWrap(true);
    grid->addWidget(buddyLabel("MIDI input", midiInputList, "midiinlabel"), 5, 0);
    grid->addWidget(midiInputList, 5, 1);
    grid->addWidget(midiInputProblem, 6, 0, 1, 2);
    fillMidiInputs();
    connect(midiInputList, &QComboBox::currentIndexChanged, this,
            &OptionsDialog::onMidiInputChosen);

    // The sources as the sound server has them now (monitors too), by description. They
    // are asked for on a worker and added when they come: a server that does not answer
    // must not hold the dialog up.
    audioInList = new QComboBox;
    audioInList->setObjectName("comboaudioin");
    audioInList->addItem("None", QString());
    // One listing at a time: a dialog opened again while the server keeps the last one
    // waiting watches that one.
    using Sources = QList<PitchListener::Source>;
    static QFuture<Sources> listing;
    if (!listing.isValid() || listing.isFinished()) {
        auto promise = std::make_shared<QPromise<Sources>>();
        listing = promise->future();
        promise->start();
        QThreadPool::globalInstance()->start([promise] {
            promise->addResult(PitchListener::sources());
            promise->finish();
        });
    }
    auto *sources = new QFutureWatcher<Sources>(this);
    connect(sources, &QFutureWatcherBase::finished, this, [this, sources] {
        // The source in use may be there already, by its name only (showSettings).
        for (const PitchListener::Source &source : sources->result())
            if (const int at = audioInList->findData(source.name); at >= 0)
                audioInList->setItemText(at, source.description);
            else
                audioInList->addItem(source.description, source.name);
    });
    sources->setFuture(listing);
    grid->addWidget(buddyLabel("Audio input", audioInList, "audioinlabel"), 7, 0);
    grid->addWidget(audioInList, 7, 1);
    grid->addWidget(resetButton, 8, 0, 1, 2, Qt::AlignRight);

    onLoad();
}

void OptionsDialog::onLoad() {
    showSettings(soundSettings());
}

void OptionsDialog::showSettings(const SoundSettings &s) {
    channelList->setCurrentIndex(s.channel - 1);
    volumeSlider->setValue(s.volume);
    instrumentList->setCurrentIndex(s.instrument);
    panSlider->setValue(s.pan);
    const QString source = VoiceAnswers::current() ? VoiceAnswers::current()->source() : QString();
    if (audioInList->findData(source) < 0) // listened to, but gone from the server's list
        audioInList->addItem(source, source);
    audioInList->setCurrentIndex(audioInList->findData(source));
}

// "None", then every MIDI input port; the one in use is chosen.
void OptionsDialog::fillMidiInputs() {
    MidiKeyboard *keyboard = MidiKeyboard::current();
    const std::optional<MidiPort> used = keyboard ? keyboard->port() : std::nullopt;
    midiInputList->addItem("None");
    for (const MidiPort &port : listMidiPorts(MidiPort::Input))
        midiInputList->addItem(port.label(), QStringList{port.api, port.name});
    if (used) {
        int at = midiInputList->findText(used->label());
        if (at < 0) {
            midiInputList->addItem(used->label(), QStringList{used->api, used->name});
            at = midiInputList->count() - 1;
        }
        midiInputList->setCurrentIndex(at);
    }
    midiInputList->setEnabled(keyboard != nullptr);
}

void OptionsDialog::onMidiInputChosen() {
    std::optional<MidiPort> port;
    const QStringList data = midiInputList->currentData().toStringList();
    if (data.size() == 2)
        port = MidiPort{data[0], data[1]};
    QString error;
    MidiKeyboard *keyboard = MidiKeyboard::current();
    midiInputProblem->setText(!keyboard || keyboard->choose(port, &error) ? QString() : error);
}

void OptionsDialog::onCenter() {
    panSlider->setValue(64);
}

void OptionsDialog::onUnload() {
    SoundSettings &s = soundSettings();
    s.channel = channelList->currentIndex() + 1;
    s.volume = volumeSlider->value();
    s.instrument = instrumentList->currentIndex();
    s.pan = panSlider->value();
    s.keep();
    // A source that cannot be opened is said in the windows and not kept.
    const QString source = audioInList->currentData().toString();
    if (VoiceAnswers *voice = VoiceAnswers::current(); voice && source != voice->source())
        voice->listenTo(source);
}

void OptionsDialog::done(int result) {
    onUnload();
    QDialog::done(result);
}
