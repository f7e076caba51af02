// SPDX-License-Identifier: GPL-3.0-or-later
// The MIDI control's checks, MIDI ports by name, and the real engine rendering offline.
#include "Signal.h"
#include "sound/AudioEngine.h"
#include "sound/EngineProbe.h"
#include "sound/MidiControl.h"
#include "sound/MidiPorts.h"
#include "sound/Scheduler.h"
#include "sound/SoundSettings.h"
#include "tests_support/MonitorRecorder.h"
#include "tests_support/RecordingBackend.h"

#include <QSignalSpy>
#include <QTest>
#include <cmath>
#include <dlfcn.h>
#include <memory>

using namespace std::chrono_literals;

// Every allocation, free and mutex lock made on an audio thread inside the engine's
// callback is counted (not under AddressSanitizer, which has its own allocator).
std::atomic<int> g_inCallback{0};
#if !defined(__SANITIZE_ADDRESS__)
extern "C" {
void *__libc_malloc(size_t), *__libc_calloc(size_t, size_t), *__libc_realloc(void *, size_t);
void __libc_free(void *);
static void count() {
    if (AudioOutput::inCallback())
        ++g_inCallback;
}
void *malloc(size_t n) {
    return count(), __libc_malloc(n);
}
void *calloc(size_t n, size_t size) {
    return count(), __libc_calloc(n, size);
}
void *realloc(void *p, size_t n) {
    return count(), __libc_realloc(p, n);
}
void free(void *p) {
    count(), __libc_free(p);
}
int pthread_mutex_lock(pthread_mutex_t *m) {
    static const auto real =
        reinterpret_cast<int (*)(pthread_mutex_t *)>(dlsym(RTLD_NEXT, "pthread_mutex_lock"));
    return count(), real(m);
}
}
#endif

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
        EngineProbe::setOrigin(engine, t0);
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
    EngineProbe::Stereo render(double seconds, int block = 64) {
        return EngineProbe::render(engine, int(seconds * kRate), block);
    }
    static size_t frameAt(double seconds) { return size_t(seconds * kRate); }
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

    // The default instrument over every key a drill plays: no lead-in of silence.
    void notesSoundFromTheirFirstFrame() {
        Offline s;
        s.op(MidiOp::ProgramChange, 1, SoundSettings{}.instrument);
        QStringList late;
        for (int key = 12; key <= 127; ++key) {
            const auto at = std::chrono::milliseconds(100 * (key - 12));
            s.noteOn(key, at);
            const auto out = s.render(0.08);
            const long onset = measure::firstAbove(out.left, 1e-4f); // -80 dBFS, centred
            if (onset < 0 || onset > kRate / 1000)
                late << QString("%1: %2 ms").arg(key).arg(onset * 1000.0 / kRate);
            s.op(MidiOp::AllNotesOff, 0, 0, 0, at + 80ms);
            s.render(0.02);
        }
        QVERIFY2(late.isEmpty(), qPrintable(late.join(", ")));
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

    void operationsLandOnTheirFrames_data() {
        QTest::addColumn<int>("period");
        for (int period : {64, 256, 1024})
            QTest::addRow("%d-frame periods", period) << period;
    }

    // The scheduler alone, driven like an output: a callback every period, every other
    // one reading the clock half a period late, operations posted between callbacks.
    void operationsLandOnTheirFrames() {
        QFETCH(int, period);
        struct Renderer : FrameRenderer {
            qint64 frame = 0;
            std::vector<std::pair<int, qint64>> applied; // note (program: -program), frame
            void apply(const Scheduled &s) override {
                applied.emplace_back(s.op.kind == MidiOp::NoteOn ? s.op.note : -s.op.value, frame);
            }
            void renderFrames(int n, float *, float *) override { frame += n; }
        } renderer;
        Scheduler scheduler(kRate);
        const TimePoint t0 = SteadyClock::now();
        const auto at = [&](double ms) {
            return t0 + std::chrono::duration_cast<SteadyClock::duration>(
                            std::chrono::duration<double, std::milli>(ms));
        };
        struct Post {
            double sentMs, stampMs; // when sent, and the stamp (its due time)
            MidiOp::Kind kind;
            int value;
            quint64 playback;
        };
        const Post posts[] = {
            {40, 40, MidiOp::NoteOn, 50, 0},         // a key
            {100, 100, MidiOp::NoteOn, 60, 7},       // a question's first note
            {300, 350, MidiOp::NoteOn, 64, 7},       // sent 50 ms early
            {320, 320, MidiOp::ProgramChange, 5, 0}, // sent after 64: not before it
            {700, 600, MidiOp::NoteOn, 67, 7},       // sent 100 ms late
            {800, 850, MidiOp::NoteOn, 72, 7},       // back on the grid
            {820, 820, MidiOp::NoteOn, 48, 8},       // the next question: not before 72
            {1300, 1350, MidiOp::NoteOn, 76, 9},     // to be stopped before it sounds
            {1310, 1310, MidiOp::AllNotesOff, 0, 0},
        };
        std::vector<float> buffer(static_cast<size_t>(period));
        const double periodMs = 1000.0 * period / kRate;
        size_t next = 0;
        for (int k = 0; k * periodMs < 1600; ++k) {
            for (; next < std::size(posts) && posts[next].sentMs <= k * periodMs; ++next)
                scheduler.post({.kind = posts[next].kind,
                                .channel = 1,
                                .value = posts[next].value,
                                .note = posts[next].value,
                                .stamp = at(posts[next].stampMs),
                                .playback = posts[next].playback});
            scheduler.setClock(at((k + (k % 2) * 0.5) * periodMs));
            scheduler.render(period, buffer.data(), buffer.data(), renderer);
        }
        // The first period that starts at or after a moment.
        const auto periodAfter = [&](double ms) {
            return qint64(std::ceil(ms / periodMs)) * period;
        };
        const qint64 first = periodAfter(100);
        const std::vector<std::pair<int, qint64>> expected = {
            {50, periodAfter(40)},       {60, first},
            {64, first + kRate / 4},     {-5, first + kRate / 4},
            {67, periodAfter(700)},      {72, first + kRate * 3 / 4},
            {48, first + kRate * 3 / 4}, {0, periodAfter(1310)}};
        QCOMPARE(renderer.applied, expected);
    }

    void stopNoiseSilencesEveryChannelAtOnce() {
        Offline s;
        s.noteOn(60, 0ms, 1);
        s.noteOn(64, 0ms, 2);
        s.noteOn(67, 290ms, 3); // asked for before the stop, due after it: dropped
        s.op(MidiOp::AllNotesOff, 0, 0, 0, 300ms);
        const auto out = s.render(0.7);
        const auto stop = size_t(0.3 * kRate);
        QVERIFY(measure::rms(out.left, stop - 4800, 4800) > 1e-3);
        QCOMPARE(measure::firstAbove(out.left, 1e-6f, stop + 64), -1L);
    }

    // Through the sound server: what the output holds queued is dropped, not played out.
    void stopNoiseIsNotHeardAfterTheBufferHeld() {
        if (!AudioEngine::availableDrivers().contains("pulseaudio"))
            QSKIP("built without PulseAudio");
        MonitorRecorder recorder;
        QVERIFY(recorder.start());
        EngineConfig config;
        config.audioDriver = "pulseaudio";
        config.periodSize = 256;
        config.periods = 32; // 171 ms
        AudioEngine engine(config);
        QVERIFY(engine.waitForSoundFont());
        QTRY_VERIFY_WITH_TIMEOUT(engine.outputRunning(), 5000);
        QTest::qWait(2500); // an idle null sink holds a new stream's first write
        const auto send = [&](MidiOp op) {
            op.channel = 1;
            op.stamp = SteadyClock::now();
            engine.send("test", op);
        };
        g_inCallback = 0;
        send({.kind = MidiOp::ProgramChange, .value = 24}); // a guitar, then an organ
        send({.kind = MidiOp::NoteOn, .value = 110, .note = 64});
        QTest::qWait(300);
        send({.kind = MidiOp::ProgramChange, .value = 19}); // it holds
        send({.kind = MidiOp::NoteOn, .value = 110, .note = 60});
        QTest::qWait(1000);
        QVERIFY(measure::rms(recorder.take()) > 1e-3);
        send({.kind = MidiOp::AllNotesOff});
        std::vector<float> after;
        for (int waited = 0; waited < 600; waited += 50, QTest::qWait(50)) {
            const auto more = recorder.take();
            after.insert(after.end(), more.begin(), more.end());
        }
        // What still sounds after the stop: the recorder's own lag and a period, not the
        // 171 ms the output had queued.
        long sounding = 0;
        for (float x : after)
            sounding += std::fabs(x) > 1e-3f;
        QVERIFY2(sounding < kRate * 60 / 1000,
                 qPrintable(QString("%1 ms of sound after the stop").arg(sounding * 1000 / kRate)));
#if !defined(__SANITIZE_ADDRESS__)
        QCOMPARE(g_inCallback.load(), 0); // nothing allocated, freed or locked there
#endif
    }

    void missingSoundFontMakesTheEngineSilentAndSaysSo() {
        EngineConfig config;
        config.offline = true;
        config.soundFont = "/nonexistent/none.sf2";
        AudioEngine engine(config);
        QSignalSpy silent(&engine, &AudioEngine::silent);
        QVERIFY(!engine.waitForSoundFont());
        QVERIFY(silent.wait(2000));
        QVERIFY(silent.first().first().toString().contains("--soundfont"));
        engine.send("test", MidiOp{.kind = MidiOp::NoteOn,
                                   .channel = 1,
                                   .value = 100,
                                   .note = 60,
                                   .stamp = SteadyClock::now()});
        const auto out = EngineProbe::render(engine, 4800);
        QCOMPARE(measure::firstAbove(out.left, 0), -1L);
        QTest::qWait(100);
        QCOMPARE(silent.count(), 1);
    }
};

QTEST_MAIN(TestSound)
#include "test_sound.moc"
