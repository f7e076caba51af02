// SPDX-License-Identifier: GPL-3.0-or-later
// MIDI devices: the bytes both ways through a JACK server of the test's own (dummy
// driver, no sound card) and, where there is one, the ALSA sequencer.
#include "drill/MidiKeyEvent.h"
#include "intervals/FormIntervalli.h"
#include "melody/FormMelody.h"
#include "sound/MidiControl.h"
#include "sound/MidiPorts.h"
#include "sound/SoundSettings.h"
#include "tests_support/RecordingBackend.h"

#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>
#include <RtMidi.h>
#include <jack/jack.h>

namespace {

std::optional<MidiPort> port(MidiPort::Direction direction, const QString &name) {
    QString error;
    return findMidiPort(listMidiPorts(direction), name, &error);
}

// What a peer's input has received since the last call, as hex bytes.
QStringList received(RtMidiIn &in) {
    QStringList messages;
    std::vector<unsigned char> m;
    for (in.getMessage(&m); !m.empty(); in.getMessage(&m)) {
        QStringList bytes;
        for (unsigned char b : m)
            bytes << QString("%1").arg(b, 2, 16, QChar('0'));
        messages << bytes.join(' ');
    }
    return messages;
}

} // namespace

class TestMidiDevices : public QObject {
    Q_OBJECT

    QProcess jackd_;
    std::unique_ptr<RtMidiIn> peerIn_;
    std::unique_ptr<RtMidiOut> peerOut_;

  private slots:
    void initTestCase() {
        const QString server = QString("tonvik-test-%1").arg(QCoreApplication::applicationPid());
        qputenv("JACK_DEFAULT_SERVER", server.toLocal8Bit());
        qputenv("JACK_NO_AUDIO_RESERVATION", "1");
        jack_set_error_function([](const char *) {}); // while the server is still starting
        jack_set_info_function([](const char *) {});
        jackd_.setProcessChannelMode(QProcess::MergedChannels);
        jackd_.start("jackd",
                     {"-n", server, "--no-realtime", "-d", "dummy", "-r", "48000", "-p", "256"});
        jack_client_t *probe = nullptr;
        for (int i = 0; i < 100 && jackd_.waitForStarted() && !probe; ++i, QTest::qWait(50)) {
            jack_status_t status;
            probe = jack_client_open("probe", JackNoStartServer, &status);
        }
        if (!probe)
            QFAIL(qPrintable("the JACK server did not start:\n" + jackd_.readAll()));
        jack_client_close(probe);
        peerIn_ = std::make_unique<RtMidiIn>(RtMidi::UNIX_JACK, "tonvik-test");
        peerIn_->openVirtualPort("in");
        peerOut_ = std::make_unique<RtMidiOut>(RtMidi::UNIX_JACK, "tonvik-keys");
        peerOut_->openVirtualPort("out");
    }

    // Operations reach the port in order; "Stop noise!" as controllers 123 and 120.
    void operationsReachAJackPort() {
        const auto out = port(MidiPort::Output, "tonvik-test:in");
        QVERIFY(out);
        QCOMPARE(out->api, "jack");
        QString error;
        auto output = MidiPortOutput::open(*out, &error);
        QVERIFY2(output, qPrintable(error));
        MidiBackend::setCurrent(output.get());

        MidiControl midi("test");
        midi.midiOpen();
        QVERIFY(midi.programChange(2, 19));
        QVERIFY(midi.setPan(2, 127));
        QVERIFY(midi.noteOn(2, 90, 200)); // folded whole octaves down: 116
        QVERIFY(midi.noteOff(2, 116));
        midi.allNotesOff();
        QStringList stop;
        for (int channel = 0; channel < 16; ++channel)
            stop << QString("b%1 7b 00 | b%1 78 00").arg(channel, 0, 16);
        QStringList got;
        QTRY_COMPARE((got += received(*peerIn_)).join(" | "),
                     "c1 13 | b1 0a 7f | 91 74 5a | 81 74 00 | " + stop.join(" | "));

        // A window's notes, spaced by the pause between them.
        {
            PlaybackClock::Scope playback;
            midi.noteOn(1, 64, 60);
            PlaybackClock::advance(300);
            midi.noteOn(1, 64, 67);
        }
        QTest::qWait(100);
        QCOMPARE(got = received(*peerIn_), QStringList{"90 3c 40"});
        QTRY_COMPARE((got += received(*peerIn_)).join(" | "), "90 3c 40 | 90 43 40");
        MidiBackend::setCurrent(nullptr);
    }

    // When the port goes, the program says so once and plays on the fallback.
    void aVanishingPortFallsBackToTheSynthesiser() {
        auto gone = std::make_unique<RtMidiIn>(RtMidi::UNIX_JACK, "tonvik-gone");
        gone->openVirtualPort("in");
        const auto out = port(MidiPort::Output, "tonvik-gone:in");
        QVERIFY(out);
        QString error;
        auto output = MidiPortOutput::open(*out, &error);
        QVERIFY2(output, qPrintable(error));
        RecordingBackend synthesiser;
        output->setFallback(&synthesiser);
        MidiBackend::setCurrent(output.get());
        QSignalSpy lost(output.get(), &MidiPortOutput::lost);

        gone.reset();
        QTRY_COMPARE(lost.size(), 1);
        QVERIFY(lost[0][0].toString().contains("\"jack: tonvik-gone:in\" has gone"));
        QCOMPARE(MidiBackend::current(), &synthesiser);
        QVERIFY(MidiControl("test").noteOn(1, 64, 60));
        QCOMPARE(synthesiser.lines(), QStringList{"test noteOn 1 64 60"});
        QTest::qWait(700);
        QCOMPARE(lost.size(), 1);
    }

    // A MIDI key presses the Melody window's key of its name; nothing in other drills.
    void keysFromAJackPortAnswerInTheMelodyWindow() {
        const auto in = port(MidiPort::Input, "tonvik-keys:out");
        QVERIFY(in);
        QString error;
        auto input = MidiKeyboardInput::open(*in, &error);
        QVERIFY2(input, qPrintable(error));
        connect(input.get(), &MidiKeyboardInput::notePressed, &MidiKeyEvent::post);
        QSignalSpy pressed(input.get(), &MidiKeyboardInput::notePressed);

        variabiliglobali() = SoundSettings{};
        RecordingBackend synthesiser;
        FormMelody melody;
        FormIntervalli intervals;
        for (DrillWindow *w : std::initializer_list<DrillWindow *>{&melody, &intervals}) {
            w->showWindow();
            w->activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(w));
            synthesiser.clear();
            // C#5: tasto(1), C#4 outside test mode; a note-on of velocity 0 is a release.
            for (const std::vector<unsigned char> &m :
                 {std::vector<unsigned char>{0x90, 73, 100}, {0x80, 73, 0}, {0x90, 74, 0}})
                peerOut_->sendMessage(&m);
            QTRY_COMPARE(pressed.size(), w == &melody ? 1 : 2);
            QTest::qWait(50);
            QCOMPARE(synthesiser.notes(), w == &melody ? std::vector<int>{61} : std::vector<int>{});
        }
    }

    // The same through the kernel's sequencer, where there is one.
    void operationsReachAnAlsaSequencerPort() {
        if (!QFile::exists("/dev/snd/seq"))
            QSKIP("no ALSA sequencer on this machine (/dev/snd/seq is missing)");
        RtMidiIn peer(RtMidi::LINUX_ALSA, "tonvik-test");
        peer.openVirtualPort("in");
        const auto out = port(MidiPort::Output, "tonvik-test:in");
        QVERIFY(out && out->api == "alsa");
        QString error;
        auto output = MidiPortOutput::open(*out, &error);
        QVERIFY2(output, qPrintable(error));
        output->send("test", MidiOp{.kind = MidiOp::NoteOn,
                                    .channel = 1,
                                    .value = 80,
                                    .note = 69,
                                    .stamp = SteadyClock::now()});
        QStringList got;
        QTRY_COMPARE(got += received(peer), QStringList{"90 45 50"});
    }

    void cleanupTestCase() {
        peerIn_.reset();
        peerOut_.reset();
        jackd_.terminate();
        if (!jackd_.waitForFinished(5000))
            jackd_.kill();
    }
};

QTEST_MAIN(TestMidiDevices)
#include "test_midi_devices.moc"
