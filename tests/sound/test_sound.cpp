// SPDX-License-Identifier: GPL-3.0-or-later
// The MIDI control's checks, MIDI ports by name, and the real engine rendering offline.
#include "Signal.h"
#include "sound/AudioEngine.h"
#include "sound/MidiControl.h"
#include "sound/MidiPorts.h"
#include "tests_support/RecordingBackend.h"

#include <QSignalSpy>
#include <QTest>
#include <cmath>
#include <memory>

using namespace std::chrono_literals;

namespace {

constexpr int kRate = 48000;

double noteHz(int note) {
    return 440.0 * std::pow(2.0, (note - 69) / 12.0);
}

struct Offline {
    AudioEngine engine;
    TimePoint t0;

    explicit Offline(EngineConfig config = {})
        : engine((config.offline = true, config.sampleRate = kRate, config)) {
        QVERIFY2(engine.waitForSoundFont(), "no General MIDI sound font installed");
        t0 = SteadyClock::now();
        engine.setOfflineOrigin(t0);
    }

    void op(MidiOp::Kind kind, int channel, int value, int note = 0,
            std::chrono::milliseconds at = 0ms, quint64 playback = 0) {
        engine.send("test", MidiOp{.kind = kind,
                                   .channel = channel,
                                   .value = value,
                                   .note = note,
                                   .stamp = t0 + at,
                                   .playback = playback});
    }
    void noteOn(int note, std::chrono::milliseconds at = 0ms, int channel = 1) {
        op(MidiOp::NoteOn, channel, 100, note, at);
    }
    AudioEngine::Stereo render(double seconds, int block = 64) {
        return engine.renderOffline(int(seconds * kRate), block);
    }
    size_t frameAt(double seconds) const {
        return size_t(engine.safetyLatencyMs() * kRate / 1000 + seconds * kRate);
    }
};

} // namespace

class TestSound : public QObject {
    Q_OBJECT
  private slots:
    void checksValuesAndFoldsHighNotes() {
        RecordingBackend rec;
        MidiControl midi("Formtest");
        // Notes above 127 keep their pitch class, whole octaves down.
        for (const auto &[channel, velocity, note] :
             {std::tuple{16, 127, 127}, {1, 0, 0}, {1, 100, 128}, {1, 100, 131}})
            QVERIFY(midi.noteOn(channel, velocity, note));
        QVERIFY(midi.noteOff(1, 130));
        for (const auto &[channel, velocity, note] :
             {std::tuple{0, 100, 60}, {17, 100, 60}, {1, -1, 60}, {1, 128, 60}, {1, 100, -5}})
            QVERIFY(!midi.noteOn(channel, velocity, note));
        QVERIFY(!midi.noteOff(0, 60) && !midi.programChange(1, 128) && !midi.programChange(-3, 0) &&
                !midi.setPan(1, 128));
        QVERIFY(midi.programChange(2, 127) && midi.setPan(3, 0));
        midi.allNotesOff();
        QCOMPARE(rec.lines("Formtest"),
                 QStringList({"noteOn 16 127 127", "noteOn 1 0 0", "noteOn 1 100 116",
                              "noteOn 1 100 119", "noteOff 1 118", "programChange 2 127",
                              "setPan 3 0", "allNotesOff"}));
        QVERIFY(MidiControl::playableNote(200) == 116 && MidiControl::playableNote(-1) == -1);
    }

    void portsAreFoundByNameOrAPartFittingOnlyOne() {
        const std::vector<MidiPort> ports{{"alsa", "Midi Through:Midi Through Port-0 14:0"},
                                          {"jack", "synth:midi_in"},
                                          {"jack", "synth:midi_in_2"}};
        QString error;
        QCOMPARE(findMidiPort(ports, "synth:midi_in", &error)->name, "synth:midi_in");
        QCOMPARE(findMidiPort(ports, "jack: synth:midi_in_2", &error)->name, "synth:midi_in_2");
        QCOMPARE(findMidiPort(ports, "through", &error)->api, "alsa");
        const std::pair<QString, QString> refused[] = {{"synth", "could be any of"},
                                                       {"fluid", "no MIDI port is called"}};
        for (const auto &[name, message] : refused) {
            QVERIFY(!findMidiPort(ports, name, &error));
            QVERIFY2(error.contains(message), qPrintable(error));
        }
        QVERIFY(!findMidiPort({}, "fluid", &error));
        QVERIFY2(error.contains("there are none"), qPrintable(error));
    }
    // One note at its pitch, ended by its note-off; pan 0 puts it on the left.
    void aNoteAtItsPitchPannedAndEnded() {
        Offline held, released;
        for (Offline *s : {&held, &released}) {
            s->op(MidiOp::Pan, 1, 0);
            s->noteOn(69);
        }
        released.op(MidiOp::NoteOff, 1, 69, 0, 900ms);
        const auto a = held.render(2.0), b = released.render(2.0);
        const double f =
            measure::peakFrequency(a.left, kRate, 300, 600, held.frameAt(0.1), kRate / 2);
        QVERIFY2(std::fabs(f - 440.0) < 4.4, qPrintable(QString::number(f)));
        const double left = measure::rms(a.left, 0, kRate), right = measure::rms(a.right, 0, kRate);
        QVERIFY2(left > 20 * right, qPrintable(QString("%1 %2").arg(left).arg(right)));
        const double ringing = measure::rms(a.left, held.frameAt(1.4), kRate / 2);
        const double after = measure::rms(b.left, released.frameAt(1.4), kRate / 2);
        QVERIFY2(ringing > 1e-4 && after < ringing / 100,
                 qPrintable(QString("%1 %2").arg(after).arg(ringing)));
    }

    void highNotesSoundWholeOctavesLower() {
        Offline s;
        MidiBackend::setCurrent(&s.engine);
        MidiControl midi("test");
        QVERIFY(midi.programChange(1, 24)); // the default instrument reaches note 118
        QVERIFY(midi.noteOn(1, 100, 130));  // played as 118, keeping its pitch class
        const auto out = s.render(0.6);
        MidiBackend::setCurrent(nullptr);
        const double f =
            measure::peakFrequency(out.left, kRate, 5000, 10000, s.frameAt(0.05), kRate / 4);
        QVERIFY2(std::fabs(f - noteHz(118)) < noteHz(118) * 0.01, qPrintable(QString::number(f)));
    }

    void notesStampedApartStartThatFarApart_data() {
        QTest::addColumn<int>("block");
        QTest::newRow("64-frame buffers") << 64;
        QTest::newRow("1024-frame buffers") << 1024;
        QTest::newRow("odd 333-frame buffers") << 333;
    }

    void notesStampedApartStartThatFarApart() {
        QFETCH(int, block);
        // The second note's onset is found in what it adds to the first note alone.
        Offline both, first;
        both.noteOn(60);
        both.noteOn(67, 250ms);
        first.noteOn(60);
        const auto a = both.render(0.6, block), b = first.render(0.6, block);
        const long onset1 = measure::firstAbove(a.left, 1e-6f);
        const long onset2 = measure::firstAbove(measure::difference(a.left, b.left), 1e-6f);
        QVERIFY(onset1 >= 0 && onset2 >= 0);
        QVERIFY2(std::labs(onset1 - long(both.frameAt(0))) <= 64,
                 qPrintable(QString::number(onset1)));
        QVERIFY2(std::labs((onset2 - onset1) - kRate / 4) <= 64,
                 qPrintable(QString::number(onset2 - onset1)));
    }

    void operationsThatWaitedKeepTheirOrderAndSpacing() {
        // The output has run on (as after a stall) past the time of these operations:
        // they sound at once, in order, and each playback keeps its spacing.
        Offline s;
        s.engine.recordApplied(true);
        s.render(1.0);
        s.op(MidiOp::NoteOn, 1, 100, 60, 0ms, 1);
        s.op(MidiOp::NoteOn, 1, 100, 72, 250ms, 1);
        s.op(MidiOp::NoteOn, 1, 100, 64, 251ms, 2); // the next question, right after the first
        s.op(MidiOp::NoteOn, 1, 100, 76, 501ms, 2);
        s.render(1.0);
        const auto applied = s.engine.applied();
        QCOMPARE(int(applied.size()), 4);
        QCOMPARE(applied[0].frame, qint64(kRate));
        QCOMPARE(applied[1].frame - applied[0].frame, qint64(kRate / 4));
        QVERIFY(applied[2].frame >= applied[1].frame);
        QCOMPARE(applied[3].frame - applied[2].frame, qint64(kRate / 4));
        QCOMPARE(applied[2].op.note, 64);
    }

    void stopNoiseSilencesEveryChannelAtOnce() {
        Offline s;
        s.noteOn(60, 0ms, 1);
        s.noteOn(64, 0ms, 2);
        s.noteOn(67, 290ms, 3); // asked for before the stop, due after it: dropped
        s.op(MidiOp::AllNotesOff, 0, 0, 0, 300ms);
        const auto out = s.render(0.7);
        // Without the safety latency that delays notes.
        const auto stop = size_t(0.3 * kRate);
        QVERIFY(measure::rms(out.left, stop - 4800, 4800) > 1e-3);
        QCOMPARE(measure::firstAbove(out.left, 1e-6f, stop + 64), -1L);
    }

    void missingSoundFontMakesTheEngineSilentAndSaysSo() {
        EngineConfig config;
        config.offline = true;
        config.soundFont = "/nonexistent/none.sf2";
        AudioEngine engine(config);
        QSignalSpy silent(&engine, &AudioEngine::silent);
        QVERIFY(!engine.waitForSoundFont());
        QVERIFY(silent.wait(2000));
        QVERIFY(silent.first().first().toString().contains("--soundfont FILE"));
        engine.send("test", MidiOp{.kind = MidiOp::NoteOn,
                                   .channel = 1,
                                   .value = 100,
                                   .note = 60,
                                   .stamp = SteadyClock::now()});
        const auto out = engine.renderOffline(4800);
        QCOMPARE(measure::firstAbove(out.left, 0), -1L);
        QTest::qWait(100);
        QCOMPARE(silent.count(), 1);
    }
};

QTEST_MAIN(TestSound)
#include "test_sound.moc"
