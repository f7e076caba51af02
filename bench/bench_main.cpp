// Benchmarks, run by `make bench` inside a private X server and PulseAudio server
// with a null sink. Each prints one table: figure, goal, median, min, max.
#include "Capture.h"
#include "sound/AudioEngine.h"
#include "sound/MidiControl.h"

#include "intervals/FormIntervalli.h"

#include <QAbstractButton>
#include <QApplication>
#include <QSlider>
#include <QTest>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <sys/resource.h>
#include <thread>

using namespace std::chrono_literals;

namespace {

struct Row {
    std::string figure, goal;
    std::vector<double> values;
    std::string unit;
};

void printTable(const std::vector<Row> &rows) {
    std::printf("%-52s %-14s %10s %10s %10s\n", "figure", "goal", "median", "min", "max");
    for (const Row &r : rows) {
        std::vector<double> v = r.values;
        if (v.empty()) {
            std::printf("%-52s %-14s %10s\n", r.figure.c_str(), r.goal.c_str(), "n/a");
            continue;
        }
        std::sort(v.begin(), v.end());
        std::printf("%-52s %-14s %9.2f%s %9.2f%s %9.2f%s\n", r.figure.c_str(), r.goal.c_str(),
                    v[v.size() / 2], r.unit.c_str(), v.front(), r.unit.c_str(), v.back(),
                    r.unit.c_str());
    }
}

double ms(SteadyClock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

// Onsets after silence: first sample above the threshold following `quiet` samples below.
std::vector<size_t> onsets(const std::vector<float> &x, float threshold, size_t quiet) {
    std::vector<size_t> out;
    size_t below = quiet;
    for (size_t i = 0; i < x.size(); ++i) {
        if (std::fabs(x[i]) > threshold) {
            if (below >= quiet)
                out.push_back(i);
            below = 0;
        } else {
            ++below;
        }
    }
    return out;
}

// Dropouts in a sustained tone: runs of at least `run` samples of digital silence.
int dropouts(const std::vector<float> &x, size_t from, size_t to, size_t run) {
    int count = 0;
    size_t zeros = 0;
    for (size_t i = from; i < std::min(to, x.size()); ++i) {
        zeros = std::fabs(x[i]) < 1e-6f ? zeros + 1 : 0;
        if (zeros == run && qEnvironmentVariableIsSet("TONVIK_BENCH_VERBOSE"))
            std::printf("  dropout at %.3f s into the dense phase\n",
                        double(i - from) / Capture::kRate);
        count += zeros == run;
    }
    return count;
}

// Output latency (stamp to the null sink) and underruns under dense playing, for the
// output the engine chooses (or the driver named by TONVIK_BENCH_DRIVER).
std::vector<Row> outputBenchmark(int runs) {
    Row latency{"note stamp to sound at the sink", "< 50 ms", {}, " ms"};
    Row under{"underruns (dropouts) in 10 s of dense notes", "0", {}, ""};
    Row late{"operations applied late in 10 s of dense notes", "0", {}, ""};
    std::string driver;
    for (int run = 0; run < runs; ++run) {
        Capture capture("tonvik_null.monitor");
        if (!capture.ok()) {
            std::fprintf(stderr, "cannot record tonvik_null.monitor\n");
            return {};
        }
        std::this_thread::sleep_for(2500ms); // the idle null sink holds the first write
        EngineConfig config;
        config.audioDriver = qEnvironmentVariable("TONVIK_BENCH_DRIVER");
        if (const int size = qEnvironmentVariableIntValue("TONVIK_BENCH_PERIOD_SIZE"))
            config.periodSize = size;
        if (const int periods = qEnvironmentVariableIntValue("TONVIK_BENCH_PERIODS"))
            config.periods = periods;
        AudioEngine engine(config);
        MidiBackend::setCurrent(&engine);
        MidiControl midi("bench");
        midi.midiOpen();
        while (!engine.outputRunning())
            std::this_thread::sleep_for(10ms);
        driver = engine.driverName().toStdString();
        std::this_thread::sleep_for(2500ms); // past the null sink's hold on a new stream
        midi.programChange(1, 115);          // wood block: sharp onsets
        std::vector<TimePoint> stamps;
        for (int i = 0; i < 10; ++i) {
            std::this_thread::sleep_for(300ms);
            stamps.push_back(SteadyClock::now());
            midi.noteOn(1, 127, 72);
        }
        std::this_thread::sleep_for(600ms);
        const auto before = engine.stats();
        // Dense: an organ held throughout, and a note every 40 ms above it.
        midi.programChange(2, 19);
        midi.noteOn(2, 100, 48);
        const size_t denseFrom = capture.samples().size() + Capture::kRate / 5;
        for (int i = 0; i < 250; ++i) {
            midi.noteOn(1, 90, 60 + (i * 7) % 24);
            std::this_thread::sleep_for(40ms);
        }
        const size_t denseTo = capture.samples().size();
        const auto after = engine.stats();
        midi.allNotesOff();
        std::this_thread::sleep_for(200ms);
        MidiBackend::setCurrent(nullptr);

        const auto x = capture.samples();
        const auto found = onsets(x, 0.01f, Capture::kRate / 10);
        for (const TimePoint &stamp : stamps) {
            // The first onset after the stamp.
            for (size_t index : found) {
                const TimePoint t = capture.timeOfSample(index);
                if (t >= stamp && t < stamp + 250ms) {
                    if (qEnvironmentVariableIsSet("TONVIK_BENCH_VERBOSE"))
                        std::printf("  onset %zu latency %.2f ms\n", index, ms(t - stamp));
                    latency.values.push_back(ms(t - stamp));
                    break;
                }
            }
        }
        under.values.push_back(dropouts(x, denseFrom, denseTo, 32));
        late.values.push_back(double(after.lateOps - before.lateOps));
    }
    std::printf("output: driver \"%s\"\n", driver.c_str());
    return {latency, under, late};
}

double cpuSeconds(int who) {
    rusage u{};
    getrusage(who, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// An Intervals window with only the octave ticked, ready to ask.
std::unique_ptr<FormIntervalli> octaveWindow(int sliderMs) {
    auto w = std::make_unique<FormIntervalli>();
    w->showWindow();
    QTest::mouseClick(w->findChild<QAbstractButton *>("None"), Qt::LeftButton);
    w->findChild<QAbstractButton *>("inter(12)")->setChecked(true);
    w->findChild<QSlider *>("Slider1")->setValue(sliderMs);
    return w;
}

void clickNew(FormIntervalli *w) {
    QTest::mouseClick(w->findChild<QAbstractButton *>("New"), Qt::LeftButton);
}

// CPU of the user-interface thread, and of the whole process with the synthesiser
// rendering the two notes, during a question with a 2000 ms interval pause.
std::vector<Row> pauseBenchmark(int runs) {
    Row thread{"CPU of the UI thread during a 2000 ms pause", "< 2 %", {}, " %"};
    Row process{"CPU of the process (synth rendering too)", "", {}, " %"};
    EngineConfig config;
    AudioEngine engine(config);
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
        EngineConfig config;
        config.periodSize = period;
        AudioEngine engine(config);
        MidiBackend::setCurrent(&engine);
        while (!engine.outputRunning())
            std::this_thread::sleep_for(10ms);
        auto w = octaveWindow(250);
        engine.recordApplied(true);
        for (int i = 0; i < 50; ++i)
            clickNew(w.get());
        // Until every note has been applied.
        for (size_t seen = 0; engine.applied().size() != seen || seen < 100;) {
            seen = engine.applied().size();
            std::this_thread::sleep_for(500ms);
            if (seen >= 100 && engine.applied().size() == seen)
                break;
        }
        Row row{"second-note onset error, " + std::to_string(period) + "-frame periods",
                "p99 < 1.5 ms",
                {},
                " ms"};
        qint64 root = -1; // the onset of the question's first note (60), then its octave
        for (const auto &a : engine.applied()) {
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
        engine.recordApplied(false);
        MidiBackend::setCurrent(nullptr);
    }
    return rows;
}

// "Stop noise!": from the click to the last sound at the sink, beside the latency of
// a note from its click to the sink. At the engine, silence follows within one
// 64-frame block of the operation (asserted by the tests).
std::vector<Row> stopNoiseBenchmark(int runs) {
    Row stop{"\"Stop noise!\" click to silence at the sink", "one block", {}, " ms"};
    Row note{"note click to sound at the sink (for comparison)", "", {}, " ms"};
    Capture capture("tonvik_null.monitor");
    if (!capture.ok())
        return {};
    std::this_thread::sleep_for(2500ms);
    EngineConfig config;
    AudioEngine engine(config);
    MidiBackend::setCurrent(&engine);
    while (!engine.outputRunning())
        std::this_thread::sleep_for(10ms);
    std::this_thread::sleep_for(2500ms);
    MidiControl midi("bench");
    midi.programChange(1, 19); // church organ: it holds until stopped
    for (int run = 0; run < runs; ++run) {
        const TimePoint on = SteadyClock::now();
        midi.noteOn(1, 110, 60);
        std::this_thread::sleep_for(600ms);
        const TimePoint off = SteadyClock::now();
        midi.allNotesOff();
        std::this_thread::sleep_for(400ms);
        const auto x = capture.samples();
        long first = -1, last = -1;
        for (size_t i = 0; i < x.size(); ++i) {
            if (capture.timeOfSample(i) < on || std::fabs(x[i]) < 1e-4f)
                continue;
            if (first < 0)
                first = long(i);
            last = long(i);
        }
        if (first >= 0) {
            note.values.push_back(ms(capture.timeOfSample(size_t(first)) - on));
            stop.values.push_back(ms(capture.timeOfSample(size_t(last)) - off));
        }
    }
    MidiBackend::setCurrent(nullptr);
    return {stop, note};
}

} // namespace

int main(int argc, char *argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    const int runs = qEnvironmentVariableIntValue("TONVIK_BENCH_RUNS") > 0
                         ? qEnvironmentVariableIntValue("TONVIK_BENCH_RUNS")
                         : 5;
    std::map<QString, std::function<std::vector<Row>()>> benches = {
        {"output", [&] { return outputBenchmark(runs); }},
        {"pause", [&] { return pauseBenchmark(runs); }},
        {"onset", [&] { return onsetBenchmark(); }},
        {"stopnoise", [&] { return stopNoiseBenchmark(runs); }},
    };
    std::vector<Row> all;
    for (const auto &[name, bench] : benches) {
        if (!args.isEmpty() && !args.contains(name))
            continue;
        const auto rows = bench();
        all.insert(all.end(), rows.begin(), rows.end());
    }
    printTable(all);
    return 0;
}
