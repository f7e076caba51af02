// SPDX-License-Identifier: GPL-3.0-or-later
// Where notes land: the user-interface thread's CPU in a pause, and the onsets of a
// question's notes against its first at the engine's sample clock.
#include "Harness.h"
#include "sound/EngineProbe.h"
#include "sound/SoundSettings.h"

#include "chords/ChordsWindow.h"
#include "intervals/IntervalsWindow.h"
#include "scales/ScalesWindow.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QSlider>
#include <QTest>
#include <algorithm>
#include <cmath>
#include <sys/resource.h>

// CPU of the user-interface thread, and of the whole process with the synthesiser
// rendering the two notes, during a question with a 2000 ms interval pause.
std::vector<Row> pauseBenchmark(int runs) {
    Row thread{"CPU of the UI thread during a 2000 ms pause", "< 2 %", {}, " %"};
    Row process{"CPU of the process (synth rendering too)", "", {}, " %"};
    progress("pause: %d questions with a 2000 ms pause", runs);
    AudioEngine engine(benchConfig());
    MidiBackend::setCurrent(&engine);
    auto w = octaveWindow(2000);
    for (int run = 0; run < runs; ++run) {
        const auto start = SteadyClock::now();
        const double t0 = cpuSeconds(RUSAGE_THREAD), p0 = cpuSeconds(RUSAGE_SELF);
        clickNew(w.get());
        const double wall = std::chrono::duration<double>(SteadyClock::now() - start).count();
        thread.values.push_back(100 * (cpuSeconds(RUSAGE_THREAD) - t0) / wall);
        process.values.push_back(100 * (cpuSeconds(RUSAGE_SELF) - p0) / wall);
    }
    MidiBackend::setCurrent(nullptr);
    return {thread, process};
}

// The second note's onset against the first, at the engine's sample clock: the frame
// at which each note-on was applied, rounded up to the synthesiser's 64-frame block.
std::vector<Row> onsetBenchmark() {
    std::vector<Row> rows;
    for (int period : {64, 256, 1024}) {
        progress("onset: 50 octaves at 250 ms, %d-frame periods", period);
        EngineConfig config = benchConfig();
        config.periodSize = period;
        AudioEngine engine(config);
        MidiBackend::setCurrent(&engine);
        while (!engine.outputRunning())
            std::this_thread::sleep_for(10ms);
        auto w = octaveWindow(250);
        EngineProbe::record(engine, true);
        for (int i = 0; i < 50; ++i)
            clickNew(w.get());
        // Until every note has been applied.
        for (size_t seen = 0; EngineProbe::applied(engine).size() != seen || seen < 100;) {
            seen = EngineProbe::applied(engine).size();
            std::this_thread::sleep_for(500ms);
            if (seen >= 100 && EngineProbe::applied(engine).size() == seen)
                break;
        }
        Row row{"second-note onset error, " + std::to_string(period) + "-frame periods",
                "p99 < 1.5 ms",
                {},
                " ms"};
        qint64 root = -1; // the onset of the question's first note (60), then its octave
        for (const auto &a : EngineProbe::applied(engine)) {
            if (a.op.kind != MidiOp::NoteOn)
                continue;
            const qint64 onset = (a.frame + 63) / 64 * 64;
            if (qEnvironmentVariableIsSet("TONVIK_BENCH_VERBOSE"))
                std::printf("  note %d stamp %lld ms applied at frame %lld\n", a.op.note,
                            (long long)msSinceStart(a.op.stamp), (long long)a.frame);
            if (a.op.note == 60) {
                root = onset;
            } else if (root >= 0) {
                row.values.push_back(
                    std::fabs(double(onset - root) * 1000.0 / engine.sampleRate() - 250.0));
                root = -1;
            }
        }
        std::vector<double> sorted = row.values;
        std::sort(sorted.begin(), sorted.end());
        if (!sorted.empty())
            std::printf(
                "onset error %d-frame periods: p50 %.3f ms, p99 %.3f ms, max %.3f ms over %zu "
                "pauses (%s)\n",
                period, sorted[sorted.size() / 2], sorted[sorted.size() * 99 / 100], sorted.back(),
                sorted.size(), engine.driverName().toUtf8().constData());
        rows.push_back(row);
        EngineProbe::record(engine, false);
        MidiBackend::setCurrent(nullptr);
    }
    return rows;
}

// Every note of a question against its first, at the engine's sample clock (the frame
// it was applied at, rounded up to the synthesiser's 64-frame block): a 13-note
// chromatic scale at 250 ms and a 6-note arpeggio (an eleventh chord) at 50 ms.
std::vector<Row> questionOnsetBenchmark(int runs) {
    std::vector<Row> rows;
    Capture capture("tonvik_null.monitor"); // keeps the null sink from idling
    std::this_thread::sleep_for(2500ms);
    for (int period : {64, 256, 1024}) {
        progress("questions: %d scales and %d arpeggios, %d-frame periods", runs, runs, period);
        EngineConfig config = benchConfig();
        config.periodSize = period;
        AudioEngine engine(config);
        MidiBackend::setCurrent(&engine);
        engine.waitForSoundFont();
        MidiControl warm("bench");
        warm.noteOn(1, 1, 30);
        waitUntilPlaying(engine);

        ScalesWindow scales;
        scales.showWindow();
        QTest::mouseClick(scales.findChild<QAbstractButton *>("Nonescales"), Qt::LeftButton);
        QTest::mouseClick(scales.findChild<QAbstractButton *>("Nonemodes"), Qt::LeftButton);
        buttonWithText(&scales, "Cromatic")->setChecked(true);
        scales.findChild<QSlider *>("Slider1")->setValue(250);
        ChordsWindow chords;
        chords.showWindow();
        QTest::mouseClick(chords.findChild<QAbstractButton *>("None"), Qt::LeftButton);
        for (auto *box : chords.findChildren<QCheckBox *>())
            box->setChecked(box->text() == "11");
        buttonWithText(&chords, "Arpeggio")->click();
        chords.findChild<QSlider *>("Slider1")->setValue(50);

        struct Case {
            QWidget *window;
            int notes, spacing;
            std::string name;
        };
        for (const Case &c : {Case{&scales, 13, 250, "13-note chromatic scale at 250 ms"},
                              Case{&chords, 6, 50, "6-note arpeggio at 50 ms"}}) {
            Row row{"onset error, " + c.name + ", " + std::to_string(period) + "-frame periods",
                    "p99 <= 1.5 ms",
                    {},
                    " ms"};
            for (int run = 0; run < runs; ++run) {
                EngineProbe::record(engine, true);
                QTest::mouseClick(c.window->findChild<QAbstractButton *>("New"), Qt::LeftButton);
                for (int i = 0; i < 100; ++i) { // until every note has been applied
                    const auto a = EngineProbe::applied(engine);
                    if (std::count_if(a.begin(), a.end(), [](const auto &x) {
                            return x.op.kind == MidiOp::NoteOn;
                        }) >= c.notes)
                        break;
                    std::this_thread::sleep_for(20ms);
                }
                std::vector<qint64> frames;
                for (const auto &a : EngineProbe::applied(engine)) {
                    if (qEnvironmentVariableIsSet("TONVIK_BENCH_VERBOSE"))
                        std::printf("  %s %d %d stamp %lld frame %lld\n", midiOpName(a.op.kind),
                                    a.op.value, a.op.note, (long long)msSinceStart(a.op.stamp),
                                    (long long)a.frame);
                    if (a.op.kind == MidiOp::NoteOn)
                        frames.push_back((a.frame + 63) / 64 * 64);
                }
                EngineProbe::record(engine, false);
                for (size_t k = 1; k < frames.size() && int(k) < c.notes; ++k)
                    row.values.push_back(
                        std::fabs(double(frames[k] - frames[0]) * 1000.0 / engine.sampleRate() -
                                  double(k) * c.spacing));
            }
            std::vector<double> v = row.values;
            std::sort(v.begin(), v.end());
            if (!v.empty())
                std::printf("%s: p50 %.3f ms, p99 %.3f ms, max %.3f ms over %zu notes\n",
                            row.figure.c_str(), v[v.size() / 2], v[v.size() * 99 / 100], v.back(),
                            v.size());
            rows.push_back(row);
        }
        MidiBackend::setCurrent(nullptr);
    }
    return rows;
}

// The progress store: recording an answer on the user-interface thread, the Progress

// Where a note of the default instrument begins, rendered offline from the frame its
// note-on is applied at, over every key a drill plays (12-127): the first frame above
// silence (-80 dBFS), and the first above -50 dBFS.
std::vector<Row> attackBenchmark() {
    Row silence{
        "default guitar, keys 12-127: first frame > -80 dBFS after note-on", "<= 1 ms", {}, " ms"};
    Row heard{
        "default guitar, keys 12-127: first frame > -50 dBFS after note-on", "<= 1 ms", {}, " ms"};
    progress("attack: 116 keys rendered offline");
    EngineConfig config;
    config.offline = true;
    AudioEngine engine(config);
    engine.waitForSoundFont();
    const TimePoint t0 = SteadyClock::now();
    EngineProbe::setOrigin(engine, t0);
    const auto send = [&](MidiOp op, int ms) {
        op.channel = op.kind == MidiOp::AllNotesOff ? 0 : 1;
        op.stamp = t0 + std::chrono::milliseconds(ms);
        engine.send("bench", op);
    };
    send({.kind = MidiOp::ProgramChange, .value = SoundSettings{}.instrument}, 0);
    for (int key = 12; key <= 127; ++key) {
        const int at = 100 * (key - 12);
        send({.kind = MidiOp::NoteOn, .value = 100, .note = key}, at);
        const auto out = EngineProbe::render(engine, 48000 * 80 / 1000);
        for (auto [row, level] : {std::pair{&silence, 1e-4f}, std::pair{&heard, 0.00316f}}) {
            size_t i = 0;
            while (i < out.left.size() && std::fabs(out.left[i]) <= level &&
                   std::fabs(out.right[i]) <= level)
                ++i;
            row->values.push_back(1000.0 * double(i) / 48000);
            if (qEnvironmentVariableIsSet("TONVIK_BENCH_VERBOSE"))
                std::printf("  key %d: %.2f ms to %s\n", key, 1000.0 * double(i) / 48000,
                            row == &silence ? "-80 dBFS" : "-50 dBFS");
        }
        send({.kind = MidiOp::AllNotesOff}, at + 80);
        EngineProbe::render(engine, 48000 * 20 / 1000);
    }
    return {silence, heard};
}
