// SPDX-License-Identifier: GPL-3.0-or-later
// MIDI ports by name; the scheduler; the real engine, offline and through the sound
// server.
#include "Signal.h"
#include "sound/AudioEngine.h"
#include "sound/EngineProbe.h"
#include "sound/MidiPorts.h"
#include "sound/Scheduler.h"
#include "sound/SoundSettings.h"
#include "tests_support/MonitorRecorder.h"

#include <QProcess>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTemporaryFile>
#include <QTest>
#include <RtMidi.h>
#include <cmath>
#include <dlfcn.h>
#include <unistd.h>

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

using namespace std::chrono_literals;

constexpr int kRate = 48000;

// Sends an operation stamped now (on channel 1 unless it names one).
void send(AudioEngine &engine, MidiOp op) {
    op.channel = op.channel ? op.channel : 1;
    op.stamp = SteadyClock::now();
    engine.send("test", op);
}

class TestSound : public QObject {
    Q_OBJECT

  private slots:
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
    // A keyboard unplugged is said once and let go of; plugged in again, it is chosen
    // again and heard.
    void aKeyboardPluggedInAgainIsHeard() {
        const QString server = QString("tonvik-sound-%1").arg(QCoreApplication::applicationPid());
        qputenv("JACK_DEFAULT_SERVER", server.toUtf8());
        const auto unset = qScopeGuard([] { qunsetenv("JACK_DEFAULT_SERVER"); });
        QProcess jack;
        jack.start("jackd", {"--no-realtime", "-S", "-n", server, "-d", "dummy"});
        const auto stopJack = qScopeGuard([&] { jack.terminate(), jack.waitForFinished(); });
        QTRY_VERIFY_WITH_TIMEOUT(QProcess::execute("jack_lsp", {}) == 0, 10000);
        MidiKeyboard keyboard;
        QSignalSpy played(&keyboard, &MidiKeyboard::notePlayed),
            lost(&keyboard, &MidiKeyboard::lost);
        for (const int note : {60, 62}) {
            auto keys = std::make_unique<RtMidiOut>(RtMidi::UNIX_JACK, "keys");
            keys->openVirtualPort("kbd");
            QString error;
            const auto port = findMidiPort(listMidiPorts(MidiPort::Input), "keys:kbd", &error);
            QVERIFY2(port && keyboard.choose(port, &error), qPrintable(error));
            QTest::qWait(100); // connected
            const unsigned char on[] = {0x90, static_cast<unsigned char>(note), 90};
            keys->sendMessage(on, 3);
            QTRY_COMPARE(played.size(), note == 60 ? 1 : 2);
            QCOMPARE(played.last().at(0).toInt(), note);
            keys.reset(); // unplugged
            QTRY_COMPARE_WITH_TIMEOUT(lost.size(), note == 60 ? 1 : 2, 3000);
            QTRY_VERIFY(!keyboard.port());
        }
        QVERIFY(lost.first().at(0).toString().contains("no longer heard"));
    }

    // A note at its pitch; pan 0 puts it on the left.
    void aNoteAtItsPitchPanned() {
        EngineConfig config;
        config.offline = true;
        config.sampleRate = kRate;
        AudioEngine engine(config);
        QVERIFY2(engine.waitForSoundFont(), "no General MIDI sound font installed");
        EngineProbe::setOrigin(engine, SteadyClock::now());
        send(engine, {.kind = MidiOp::Pan, .value = 0});
        send(engine, {.kind = MidiOp::NoteOn, .value = 100, .note = 69});
        const auto a = EngineProbe::render(engine, kRate);
        const double f = measure::peakFrequency(a.left, kRate, 300, 600, kRate / 10, kRate / 2);
        QVERIFY2(std::fabs(f - 440.0) < 4.4, qPrintable(QString::number(f)));
        const double left = measure::rms(a.left), right = measure::rms(a.right);
        QVERIFY2(left > 20 * right, qPrintable(QString("%1 %2").arg(left).arg(right)));
        // Another instrument: the note still ringing dies away within 100 ms, not cut
        // (5 ms after the change it has lost less than 20 dB).
        const auto ringing = EngineProbe::render(engine, kRate / 10).left;
        send(engine, {.kind = MidiOp::ProgramChange, .value = 19});
        const auto fade = EngineProbe::render(engine, kRate / 10);
        auto rms = [](const std::vector<float> &x, size_t from, size_t n) {
            return measure::rms({x.begin() + from, x.begin() + from + n});
        };
        const double before = rms(ringing, ringing.size() - kRate / 500, kRate / 500);
        const double at5ms = rms(fade.left, kRate / 200, kRate / 500);
        QVERIFY2(at5ms > 0.1 * before, qPrintable(QString("%1 %2").arg(at5ms).arg(before)));
        const std::vector<float> tail(fade.left.end() - kRate / 50, fade.left.end());
        QVERIFY2(measure::rms(tail) < 1e-4 * measure::rms(a.left),
                 qPrintable(QString::number(measure::rms(tail))));
    }
    // The default instrument over every key a drill plays: no lead-in of silence.
    void notesSoundFromTheirFirstFrame() {
        EngineConfig config;
        config.offline = true;
        config.sampleRate = kRate;
        AudioEngine engine(config);
        QVERIFY(engine.waitForSoundFont());
        const TimePoint origin = SteadyClock::now();
        EngineProbe::setOrigin(engine, origin);
        auto at = [&](MidiOp op, std::chrono::milliseconds ms) {
            op.channel = 1, op.stamp = origin + ms, engine.send("test", op);
        };
        at({.kind = MidiOp::ProgramChange, .value = SoundSettings{}.instrument}, 0ms);
        QStringList late;
        for (int key = 12; key <= 127; ++key) { // 100 ms each: 80 sounding, 20 silent
            const auto start = std::chrono::milliseconds(100 * (key - 12));
            at({.kind = MidiOp::NoteOn, .value = 100, .note = key}, start);
            const long onset =
                measure::firstAbove(EngineProbe::render(engine, kRate * 8 / 100).left, 1e-4f);
            if (onset < 0 || onset > kRate / 1000) // -80 dBFS within 1 ms
                late << QString("%1: %2 ms").arg(key).arg(onset * 1000.0 / kRate);
            at({.kind = MidiOp::AllNotesOff}, start + 80ms);
            EngineProbe::render(engine, kRate * 2 / 100);
        }
        QVERIFY2(late.isEmpty(), qPrintable(late.join(", ")));
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
        g_inCallback = 0;
        send(engine, {.kind = MidiOp::ProgramChange, .value = 24}); // a guitar, then an organ
        send(engine, {.kind = MidiOp::NoteOn, .value = 110, .note = 64});
        QTest::qWait(300);
        send(engine, {.kind = MidiOp::ProgramChange, .value = 19}); // it holds
        send(engine, {.kind = MidiOp::NoteOn, .value = 110, .note = 60});
        QTest::qWait(1000);
        QVERIFY(measure::rms(recorder.take()) > 1e-3);
        send(engine, {.kind = MidiOp::AllNotesOff});
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

    // A sound font that cannot be loaded (a missing one is refused with the command
    // line): said, naming it, and nothing sounds.
    void badSoundFontMakesTheEngineSilentAndSaysSo() {
        QTemporaryFile font;
        QVERIFY(font.open() && font.write("RIFF\x10\0\0\0sfbkLIST this is not a font", 36) == 36);
        font.close();
        EngineConfig config;
        config.offline = true;
        config.soundFont = font.fileName();
        // What the font loader's libraries print goes to our log, not the terminal.
        QTemporaryFile said;
        QVERIFY(said.open());
        const int terminal = ::dup(2);
        ::dup2(said.handle(), 2);
        AudioEngine engine(config);
        QSignalSpy silent(&engine, &AudioEngine::silent);
        QVERIFY(!engine.waitForSoundFont());
        ::dup2(terminal, 2);
        QCOMPARE(said.readAll(), QByteArray());
        QVERIFY(silent.wait(2000));
        // The user gave this font: the message does not send them back to --soundfont FILE.
        const QString message = silent.first().first().toString();
        QVERIFY2(message.contains(font.fileName() + " could not be loaded") &&
                     !message.contains("start Tonvik with --soundfont FILE"),
                 qPrintable(message));
        send(engine, {.kind = MidiOp::NoteOn, .value = 100, .note = 60});
        QCOMPARE(measure::firstAbove(EngineProbe::render(engine, 4800).left, 0), -1L);
    }
};

QTEST_MAIN(TestSound)
#include "test_sound.moc"
