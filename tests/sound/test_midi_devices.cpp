// MIDI devices: the bytes both ways through a real JACK server (started here, with the
// dummy driver, so no sound card is needed) and, where the machine has one, the ALSA
// sequencer.
#include "drill/MidiKeyEvent.h"
#include "intervals/FormIntervalli.h"
#include "melody/FormMelody.h"
#include "sound/MidiControl.h"
#include "sound/MidiPorts.h"
#include "sound/SoundSettings.h"
#include "tests_support/RecordingBackend.h"

#include <QApplication>
#include <QFile>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <RtMidi.h>
#include <jack/jack.h>
#include <jack/midiport.h>
#include <mutex>

using Bytes = std::vector<std::uint8_t>;

namespace {

QString hex(const std::vector<Bytes> &messages) {
    QStringList out;
    for (const Bytes &m : messages) {
        QStringList bytes;
        for (std::uint8_t b : m)
            bytes << QString("%1").arg(b, 2, 16, QChar('0'));
        out << bytes.join(' ');
    }
    return out.join(" | ");
}

// A JACK server of the test's own, with the dummy driver.
class JackServer {
  public:
    bool start() {
        name_ = QString("tonvik-test-%1").arg(QCoreApplication::applicationPid());
        qputenv("JACK_DEFAULT_SERVER", name_.toLocal8Bit());
        qputenv("JACK_NO_AUDIO_RESERVATION", "1");
        process_.setProcessChannelMode(QProcess::MergedChannels);
        process_.start("jackd",
                       {"-n", name_, "--no-realtime", "-d", "dummy", "-r", "48000", "-p", "256"});
        if (!process_.waitForStarted(5000))
            return false;
        for (int i = 0; i < 100; ++i) {
            jack_status_t status;
            if (jack_client_t *probe = jack_client_open("probe", JackNoStartServer, &status)) {
                jack_client_close(probe);
                return true;
            }
            QTest::qWait(50);
        }
        return false;
    }
    QString log() { return QString::fromLocal8Bit(process_.readAll()); }
    ~JackServer() {
        process_.terminate();
        if (!process_.waitForFinished(5000))
            process_.kill();
    }

  private:
    QString name_;
    QProcess process_;
};

// The other end: a JACK client with a MIDI input that records what arrives and a MIDI
// output that sends what it is given.
class JackPeer {
  public:
    bool open() {
        jack_status_t status;
        client_ = jack_client_open("tonvik-test", JackNoStartServer, &status);
        if (!client_)
            return false;
        in_ = jack_port_register(client_, "in", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
        out_ = jack_port_register(client_, "out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
        jack_set_process_callback(client_, &JackPeer::process, this);
        return in_ && out_ && jack_activate(client_) == 0;
    }
    void close() {
        if (client_)
            jack_client_close(client_);
        client_ = nullptr;
    }
    ~JackPeer() { close(); }

    std::vector<Bytes> received() {
        std::lock_guard lock(mutex_);
        return received_;
    }
    void clear() {
        std::lock_guard lock(mutex_);
        received_.clear();
    }
    void send(Bytes message) {
        std::lock_guard lock(mutex_);
        toSend_.push_back(std::move(message));
    }

  private:
    static int process(jack_nframes_t frames, void *arg) {
        auto *self = static_cast<JackPeer *>(arg);
        void *in = jack_port_get_buffer(self->in_, frames);
        void *out = jack_port_get_buffer(self->out_, frames);
        jack_midi_clear_buffer(out);
        std::lock_guard lock(self->mutex_);
        const jack_nframes_t count = jack_midi_get_event_count(in);
        for (jack_nframes_t i = 0; i < count; ++i) {
            jack_midi_event_t event;
            if (jack_midi_event_get(&event, in, i) == 0)
                self->received_.emplace_back(event.buffer, event.buffer + event.size);
        }
        for (const Bytes &m : self->toSend_)
            jack_midi_event_write(out, 0, m.data(), m.size());
        self->toSend_.clear();
        return 0;
    }

    jack_client_t *client_ = nullptr;
    jack_port_t *in_ = nullptr;
    jack_port_t *out_ = nullptr;
    std::mutex mutex_;
    std::vector<Bytes> received_;
    std::vector<Bytes> toSend_;
};

std::optional<MidiPort> port(MidiPort::Direction direction, const QString &name) {
    QString error;
    return findMidiPort(listMidiPorts(direction), name, &error);
}

} // namespace

class TestMidiDevices : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase() {
        // libjack's own complaints while the server is still starting
        jack_set_error_function([](const char *) {});
        jack_set_info_function([](const char *) {});
        if (!jack_.start())
            QFAIL(qPrintable("the JACK server did not start:\n" + jack_.log()));
        QVERIFY(peer_.open());
    }

    // Every window's operations arrive at the port as MIDI messages, in order.
    void operationsReachAJackPort() {
        const auto out = port(MidiPort::Output, "tonvik-test:in");
        QVERIFY(out);
        QCOMPARE(out->api, "jack");
        QString error;
        auto output = MidiPortOutput::open(*out, &error);
        QVERIFY2(output, qPrintable(error));
        MidiBackend *previous = MidiBackend::current();
        MidiBackend::setCurrent(output.get());
        peer_.clear();

        MidiControl midi("test");
        midi.midiOpen();
        QVERIFY(midi.programChange(2, 19));
        QVERIFY(midi.setPan(2, 127));
        QVERIFY(midi.noteOn(2, 90, 200)); // folded to 128 octaves down: 200 - 7 * 12 = 116
        QVERIFY(midi.noteOff(2, 116));
        midi.allNotesOff();
        QTRY_COMPARE(peer_.received().size(), size_t(4 + 32));
        const auto got = peer_.received();
        QCOMPARE(hex({got.begin(), got.begin() + 4}), "c1 13 | b1 0a 7f | 91 74 5a | 81 74 00");
        QCOMPARE(got.back(), (Bytes{0xbf, 120, 0}));

        // A window's notes, spaced by the pause between them.
        peer_.clear();
        {
            PlaybackClock::Scope playback;
            midi.noteOn(1, 64, 60);
            PlaybackClock::advance(300);
            midi.noteOn(1, 64, 67);
        }
        QTest::qWait(100);
        QCOMPARE(hex(peer_.received()), "90 3c 40");
        QTRY_COMPARE(hex(peer_.received()), "90 3c 40 | 90 43 40");
        MidiBackend::setCurrent(previous);
    }

    // When the port goes, the program says so once and plays on the fallback.
    void aVanishingPortFallsBackToTheSynthesiser() {
        jack_status_t status;
        jack_client_t *client = jack_client_open("tonvik-gone", JackNoStartServer, &status);
        QVERIFY(client);
        QVERIFY(jack_port_register(client, "in", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0));
        QCOMPARE(jack_activate(client), 0);

        const auto out = port(MidiPort::Output, "tonvik-gone:in");
        QVERIFY(out);
        QString error;
        auto output = MidiPortOutput::open(*out, &error);
        QVERIFY2(output, qPrintable(error));
        RecordingBackend synthesiser;
        output->setFallback(&synthesiser);
        MidiBackend::setCurrent(output.get());
        QSignalSpy lost(output.get(), &MidiPortOutput::lost);

        jack_client_close(client);
        QTRY_COMPARE(lost.size(), 1);
        QVERIFY(lost[0][0].toString().contains("\"jack: tonvik-gone:in\" has gone"));
        QCOMPARE(MidiBackend::current(), &synthesiser);
        MidiControl midi("test");
        QVERIFY(midi.noteOn(1, 64, 60));
        QCOMPARE(synthesiser.lines(), QStringList{"test noteOn 1 64 60"});
        QTest::qWait(700);
        QCOMPARE(lost.size(), 1);
    }

    // A key on a MIDI keyboard presses the Melody window's key of the same name, and
    // nothing in the other drills.
    void keysFromAJackPortAnswerInTheMelodyWindow() {
        const auto in = port(MidiPort::Input, "tonvik-test:out");
        QVERIFY(in);
        QString error;
        auto input = MidiKeyboardInput::open(*in, &error);
        QVERIFY2(input, qPrintable(error));
        connect(input.get(), &MidiKeyboardInput::notePressed, &MidiKeyEvent::post);
        QSignalSpy pressed(input.get(), &MidiKeyboardInput::notePressed);

        variabiliglobali() = SoundSettings{};
        RecordingBackend synthesiser;
        FormMelody melody;
        melody.showWindow();
        melody.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&melody));
        synthesiser.clear();

        peer_.send({0x90, 73, 100}); // C#5: tasto(1), played as C#4 outside test mode
        peer_.send({0x80, 73, 0});
        peer_.send({0x90, 74, 0}); // a note-on with velocity 0 is a release
        QTRY_COMPARE(pressed.size(), 1);
        QTRY_COMPARE(synthesiser.notes(), std::vector<int>{61});

        FormIntervalli intervals;
        intervals.showWindow();
        intervals.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&intervals));
        synthesiser.clear();
        peer_.send({0x90, 60, 100});
        QTRY_COMPARE(pressed.size(), 2);
        QTest::qWait(50);
        QVERIFY(synthesiser.calls().empty());
    }

    // The same through the kernel's sequencer, where there is one.
    void operationsReachAnAlsaSequencerPort() {
        if (!QFile::exists("/dev/snd/seq"))
            QSKIP("no ALSA sequencer on this machine (/dev/snd/seq is missing)");
        RtMidiIn peer(RtMidi::LINUX_ALSA, "tonvik-test");
        peer.openVirtualPort("in");
        const auto out = port(MidiPort::Output, "tonvik-test:in");
        QVERIFY(out);
        QCOMPARE(out->api, "alsa");
        QString error;
        auto output = MidiPortOutput::open(*out, &error);
        QVERIFY2(output, qPrintable(error));
        output->send("test", MidiOp{.kind = MidiOp::NoteOn,
                                    .channel = 1,
                                    .value = 80,
                                    .note = 69,
                                    .stamp = SteadyClock::now()});
        std::vector<unsigned char> message;
        QTRY_VERIFY((peer.getMessage(&message), !message.empty()));
        QCOMPARE(message, (std::vector<unsigned char>{0x90, 69, 80}));
    }

  private:
    JackServer jack_;
    JackPeer peer_;
};

QTEST_MAIN(TestMidiDevices)
#include "test_midi_devices.moc"
