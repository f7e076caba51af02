// SPDX-License-Identifier: GPL-3.0-or-later
// Benchmarks, run by `make bench` inside a private X server and PulseAudio server
// with a null sink. Each prints one table: figure, goal, median, min, max.
#include "Capture.h"
#include "Keys.h"
#include "sound/AudioEngine.h"
#include "sound/EngineProbe.h"
#include "sound/MidiControl.h"
#include "sound/PulseStream.h"
#include "sound/SoundSettings.h"

#include "chords/ChordsWindow.h"
#include "intervals/IntervalsWindow.h"
#include "melody/MelodyWindow.h"
#include "progress/ProgressWindow.h"
#include "scales/ScalesWindow.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRadioButton>
#include <QSlider>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <pthread.h>
#include <pulse/simple.h>
#include <random>
#include <sys/resource.h>
#include <thread>
#include <time.h>
#include <unistd.h>

using namespace std::chrono_literals;

namespace {

struct Row {
    std::string figure, goal;
    std::vector<double> values;
    std::string unit;
};

void printTable(const std::vector<Row> &rows) {
    std::printf("%-66s %-16s %10s %10s %10s %10s\n", "figure", "goal", "median", "p99", "min",
                "max");
    for (const Row &r : rows) {
        std::vector<double> v = r.values;
        if (v.empty()) {
            std::printf("%-66s %-16s %10s\n", r.figure.c_str(), r.goal.c_str(), "n/a");
            continue;
        }
        std::sort(v.begin(), v.end());
        const char *u = r.unit.c_str();
        std::printf("%-66s %-16s %9.2f%s %9.2f%s %9.2f%s %9.2f%s\n", r.figure.c_str(),
                    r.goal.c_str(), v[v.size() / 2], u, v[(v.size() * 99 + 99) / 100 - 1], u,
                    v.front(), u, v.back(), u);
    }
}

// What the benchmark is doing, as it goes (some take minutes).
void progress(const char *format, ...) __attribute__((format(printf, 1, 2)));
void progress(const char *format, ...) {
    va_list args;
    va_start(args, format);
    std::fputs("  ... ", stderr);
    std::vfprintf(stderr, format, args);
    std::fputc('\n', stderr);
    va_end(args);
}

double ms(SteadyClock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

// Dropouts in a sustained tone: where runs of at least `run` samples of digital
// silence begin.
std::vector<size_t> dropouts(const std::vector<float> &x, size_t from, size_t to, size_t run) {
    std::vector<size_t> found;
    size_t zeros = 0;
    for (size_t i = from; i < std::min(to, x.size()); ++i) {
        zeros = std::fabs(x[i]) < 1e-6f ? zeros + 1 : 0;
        if (zeros == run)
            found.push_back(i + 1 - run);
    }
    return found;
}

// The machine under every figure: a real-time thread asking to be woken each
// millisecond, and when it was woken late. A sound buffer shorter than the longest
// delay runs dry whatever the program does; on a virtual machine the host's pauses of
// a CPU show here.
class StallProbe {
  public:
    struct Stall {
        TimePoint at;
        double lateMs;
    };
    // On CPU `cpu`, or wherever the system puts it (-1).
    explicit StallProbe(int cpu = -1) : cpu_(cpu), thread_([this] { run(); }) {}
    ~StallProbe() { stop(); }
    // Stops the probe; the wake-ups more than 1 ms late.
    std::vector<Stall> stop() {
        quit_ = true;
        if (thread_.joinable())
            thread_.join();
        return stalls_;
    }

  private:
    void run() {
        sched_param param{};
        param.sched_priority = 60; // the audio thread's
        if (pthread_setschedparam(pthread_self(), SCHED_FIFO, &param) != 0)
            progress("no real-time priority here: the wake-ups are at normal priority");
        if (cpu_ >= 0) {
            cpu_set_t set;
            CPU_ZERO(&set);
            CPU_SET(cpu_, &set);
            pthread_setaffinity_np(pthread_self(), sizeof set, &set);
        }
        timespec due{};
        clock_gettime(CLOCK_MONOTONIC, &due);
        while (!quit_) {
            due.tv_nsec += 1000000;
            if (due.tv_nsec >= 1000000000) {
                due.tv_nsec -= 1000000000;
                ++due.tv_sec;
            }
            clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &due, nullptr);
            timespec now{};
            clock_gettime(CLOCK_MONOTONIC, &now);
            const double lateMs =
                double(now.tv_sec - due.tv_sec) * 1e3 + double(now.tv_nsec - due.tv_nsec) / 1e6;
            if (lateMs > 1) {
                // The steady clock is the monotonic one.
                stalls_.push_back({SteadyClock::now(), lateMs});
                due = now; // start again from now, not from the missed ticks
            }
        }
    }
    int cpu_;
    std::atomic<bool> quit_{false};
    std::vector<Stall> stalls_;
    std::thread thread_;
};

// Until the engine's output runs and is past the null sink's hold on a new stream
// (about 2 s before its first write reaches the monitor).
void waitUntilPlaying(AudioEngine &engine) {
    while (!engine.outputRunning())
        std::this_thread::sleep_for(10ms);
    std::this_thread::sleep_for(2500ms);
}

// The engine as the program runs it, or with the driver, period, periods or latency
// named by TONVIK_BENCH_DRIVER, _PERIOD_SIZE, _PERIODS or _LATENCY_MS.
EngineConfig benchConfig() {
    EngineConfig config;
    config.audioDriver = qEnvironmentVariable("TONVIK_BENCH_DRIVER");
    if (const int size = qEnvironmentVariableIntValue("TONVIK_BENCH_PERIOD_SIZE"))
        config.periodSize = size;
    if (const int periods = qEnvironmentVariableIntValue("TONVIK_BENCH_PERIODS"))
        config.periods = periods;
    config.latencyMs = qEnvironmentVariableIntValue("TONVIK_BENCH_LATENCY_MS");
    return config;
}

// Underruns under dense playing, for the output the engine chooses.
std::vector<Row> outputBenchmark(int runs) {
    const int denseSeconds = qEnvironmentVariableIsSet("TONVIK_BENCH_QUICK") ? 10 : 60;
    Row under{"underruns (dropouts) in " + std::to_string(denseSeconds) + " s of dense notes",
              "0 in each run",
              {},
              ""};
    Row stalled{"  of them as a CPU stood still (a 3+ ms late wake-up)", "", {}, ""};
    Row cpuStalls{"  CPU stalls of 3+ ms meanwhile (either CPU)", "", {}, ""};
    std::string info;
    for (int run = 0; run < runs; ++run) {
        progress("output: dense notes, run %d of %d (%d s)", run + 1, runs, denseSeconds + 6);
        Capture capture("tonvik_null.monitor");
        if (!capture.ok()) {
            std::fprintf(stderr, "cannot record tonvik_null.monitor\n");
            return {};
        }
        std::this_thread::sleep_for(2500ms); // the idle null sink holds the first write
        AudioEngine engine(benchConfig());
        MidiBackend::setCurrent(&engine);
        MidiControl midi("bench");
        midi.midiOpen();
        waitUntilPlaying(engine);
        info = engine.soundInfo().toStdString();
        // Dense: an organ held throughout, and a note every 40 ms above it.
        midi.programChange(2, 19);
        midi.noteOn(2, 100, 48);
        const size_t denseFrom = capture.samples().size() + Capture::kRate / 5;
        // Each CPU watched on its own: a pause of one does not show on the other.
        std::vector<std::unique_ptr<StallProbe>> probes;
        for (int cpu = 0; cpu < std::min(8, int(std::thread::hardware_concurrency())); ++cpu)
            probes.push_back(std::make_unique<StallProbe>(cpu));
        for (int i = 0; i < denseSeconds * 25; ++i) {
            midi.noteOn(1, 90, 60 + (i * 7) % 24);
            std::this_thread::sleep_for(40ms);
        }
        const size_t denseTo = capture.samples().size();
        std::vector<StallProbe::Stall> stalls;
        for (auto &probe : probes)
            for (const auto &stall : probe->stop())
                if (stall.lateMs > 3)
                    stalls.push_back(stall);
        midi.allNotesOff();
        std::this_thread::sleep_for(200ms);
        MidiBackend::setCurrent(nullptr);
        const auto found = dropouts(capture.samples(), denseFrom, denseTo, 32);
        under.values.push_back(double(found.size()));
        // A dropout is the stall's when the sink ran dry while a CPU stood still, or
        // within the buffer's length after (and the recording's few ms either side).
        int theirs = 0;
        for (size_t at : found) {
            const TimePoint when = capture.timeOfSample(at);
            const bool near = std::any_of(stalls.begin(), stalls.end(), [&](const auto &stall) {
                const auto began = stall.at - std::chrono::microseconds(int(stall.lateMs * 1000));
                return when > began - 3ms && when < stall.at + 15ms;
            });
            theirs += near;
            if (qEnvironmentVariableIsSet("TONVIK_BENCH_VERBOSE"))
                std::printf("  dropout at %.3f s into the dense phase%s\n",
                            double(at - denseFrom) / Capture::kRate,
                            near ? ", as a CPU stood still" : "");
        }
        stalled.values.push_back(theirs);
        cpuStalls.values.push_back(double(stalls.size()));
        const auto stats = EngineProbe::outputStats(engine);
        progress("output: %lld callbacks, %lld later than the buffer, longest gap %.2f ms, "
                 "longest rendering %.2f ms",
                 stats.callbacks, stats.gaps, stats.maxCallbackGapMs, stats.maxRenderMs);
    }
    std::printf("output: %s\n", info.c_str());
    return {under, stalled, cpuStalls};
}

double cpuSeconds(int who) {
    rusage u{};
    getrusage(who, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// An Intervals window with only the octave ticked, ready to ask.
std::unique_ptr<IntervalsWindow> octaveWindow(int sliderMs) {
    auto w = std::make_unique<IntervalsWindow>();
    w->showWindow();
    QTest::mouseClick(w->findChild<QAbstractButton *>("None"), Qt::LeftButton);
    w->findChild<QAbstractButton *>("inter(12)")->setChecked(true);
    w->findChild<QSlider *>("Slider1")->setValue(sliderMs);
    return w;
}

void clickNew(IntervalsWindow *w) {
    QTest::mouseClick(w->findChild<QAbstractButton *>("New"), Qt::LeftButton);
}

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

// The floor under every figure at the sink: a bare PulseAudio stream asking for a
// 128-frame buffer, kept running with silence, a click written at a known moment, and
// the time until it reaches the null sink's monitor.
// The floor under the underruns row: the program's stream with the engine's buffer,
// rendering a sine instead of the synthesiser, for as long as the dense notes.
std::vector<Row> bareStreamBenchmark(int runs) {
    const int seconds = qEnvironmentVariableIsSet("TONVIK_BENCH_QUICK") ? 10 : 60;
    AudioEngine engine(benchConfig()); // only for the buffer it would run with
    waitUntilPlaying(engine);
    const int period = engine.periodFrames(), periods = EngineProbe::outputPeriods(engine);
    engine.shutdown(std::chrono::milliseconds(2000));
    Row under{"floor: the stream rendering only a sine, dropouts in " + std::to_string(seconds) +
                  " s (" + std::to_string(period) + " x " + std::to_string(periods) + ")",
              "",
              {},
              ""};
    for (int run = 0; run < runs; ++run) {
        progress("bare: the stream rendering only a sine, run %d of %d (%d s)", run + 1, runs,
                 seconds + 3);
        Capture capture("tonvik_null.monitor");
        if (!capture.ok())
            return {};
        // The program's own stream, rendering a sine in place of the synthesiser.
        double phase = 0;
        auto stream = PulseStream::open(
            48000, period, periods,
            [](void *data, int len, float *left, float *right) {
                double &phase = *static_cast<double *>(data);
                for (int i = 0; i < len; ++i) {
                    left[i] = right[i] = 0.3f * float(std::sin(phase)) + 0.2f;
                    phase += 2 * M_PI * 440 / 48000;
                }
                return false;
            },
            &phase);
        if (!stream)
            return {};
        std::this_thread::sleep_for(3000ms); // the idle null sink holds the first write
        const size_t from = capture.samples().size();
        std::this_thread::sleep_for(std::chrono::seconds(seconds));
        const size_t to = capture.samples().size();
        stream.reset();
        under.values.push_back(double(dropouts(capture.samples(), from, to, 32).size()));
    }
    return {under};
}

std::vector<Row> floorBenchmark(int runs) {
    Row floor{"sound server floor: bare stream, write to sink", "", {}, " ms"};
    progress("floor: %d clicks on a bare stream", 4 * runs);
    Capture capture("tonvik_null.monitor");
    if (!capture.ok())
        return {};
    std::this_thread::sleep_for(2500ms);
    pa_sample_spec spec{PA_SAMPLE_FLOAT32LE, 48000, 1};
    pa_buffer_attr attr{};
    attr.maxlength = uint32_t(-1);
    attr.tlength = 128 * sizeof(float);
    attr.prebuf = uint32_t(-1);
    attr.minreq = 32 * sizeof(float);
    int error = 0;
    pa_simple *s = pa_simple_new(nullptr, "tonvik-bench", PA_STREAM_PLAYBACK, nullptr, "floor",
                                 &spec, nullptr, &attr, &error);
    if (!s)
        return {};
    std::vector<float> block(32);
    for (int k = 0; k < 4 * runs; ++k) {
        std::fill(block.begin(), block.end(), 0.f);
        for (int i = 0; i < 48000 * 3 / 10 / 32; ++i) // 300 ms of silence
            pa_simple_write(s, block.data(), block.size() * sizeof(float), &error);
        const size_t from = capture.samples().size();
        const TimePoint click = SteadyClock::now();
        std::fill(block.begin(), block.end(), 0.5f);
        pa_simple_write(s, block.data(), block.size() * sizeof(float), &error);
        std::fill(block.begin(), block.end(), 0.f);
        for (int i = 0; i < 48000 / 10 / 32; ++i)
            pa_simple_write(s, block.data(), block.size() * sizeof(float), &error);
        const auto x = capture.samples();
        for (size_t i = from; i < x.size(); ++i) {
            if (capture.timeOfSample(i) >= click && std::fabs(x[i]) > 0.1f) {
                floor.values.push_back(ms(capture.timeOfSample(i) - click));
                break;
            }
        }
    }
    pa_simple_free(s);
    return {floor};
}

// "Stop noise!": from the click to the last sound at the sink, beside the latency of
// a note from its click to the sink. At the engine, silence follows within one
// 64-frame block of the operation (asserted by the tests).
std::vector<Row> stopNoiseBenchmark(int runs) {
    progress("stopnoise: %d organ notes stopped", runs);
    Row stop{"\"Stop noise!\" click to silence at the sink", "", {}, " ms"};
    Row note{"note click to sound at the sink (for comparison)", "", {}, " ms"};
    Capture capture("tonvik_null.monitor");
    if (!capture.ok())
        return {};
    std::this_thread::sleep_for(2500ms);
    AudioEngine engine(benchConfig());
    MidiBackend::setCurrent(&engine);
    waitUntilPlaying(engine);
    char goal[32];
    std::snprintf(goal, sizeof goal, "<= %.1f ms",
                  1000.0 * engine.periodFrames() / engine.sampleRate() + 2);
    stop.goal = goal; // one period and 2 ms
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

std::vector<Row> wakeupBenchmark(int runs) {
    const int seconds = qEnvironmentVariableIsSet("TONVIK_BENCH_QUICK") ? 10 : 60;
    Row longest{"real-time thread woken each 1 ms: longest delay in " +
                    std::to_string(seconds / runs) + " s",
                "",
                {},
                " ms"};
    Row late{"  wake-ups over 5 ms late, per 60 s", "", {}, ""};
    progress("wakeup: %d s of 1 ms wake-ups at real-time priority", seconds);
    int over5 = 0;
    for (int run = 0; run < runs; ++run) {
        StallProbe probe;
        std::this_thread::sleep_for(std::chrono::milliseconds(seconds * 1000 / runs));
        const auto stalls = probe.stop();
        double worst = 0;
        for (const auto &stall : stalls) {
            worst = std::max(worst, stall.lateMs);
            over5 += stall.lateMs > 5;
        }
        longest.values.push_back(worst);
    }
    late.values.push_back(over5 * 60.0 / seconds);
    return {longest, late};
}

// ---- the real program: start-up, memory, idle CPU ----

double monotonicMs() {
    return std::chrono::duration<double, std::milli>(SteadyClock::now().time_since_epoch()).count();
}

// A /proc/PID/status field in KiB.
double statusKiB(qint64 pid, const char *field) {
    QFile f(QString("/proc/%1/status").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : f.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(int(std::strlen(field))).trimmed().split(' ').first().toDouble();
    return 0;
}

// User and system CPU seconds of a process so far.
double processCpuSeconds(qint64 pid) {
    QFile f(QString("/proc/%1/stat").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray stat = f.readAll();
    const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
    return (fields.value(11).toDouble() + fields.value(12).toDouble()) /
           double(sysconf(_SC_CLK_TCK));
}

qint64 pidOf(const char *name) {
    QProcess p;
    p.start("pidof", {"-s", name});
    p.waitForFinished();
    return p.readAllStandardOutput().trimmed().toLongLong();
}

// Launch to splash; launch to the Melody window with the sound font loaded, a key
// pressed as soon as the splash shows (a first run warms the cache and is not counted);
// peak RSS once started; idle CPU of the program and of the sound server over 10 s.
std::vector<Row> programBenchmark(int runs) {
    Row splash{"launch to splash shown", "", {}, " ms"};
    Row ready{"launch to Melody shown, sound ready (warm)", "<= 150 ms", {}, " ms"};
    Row key{"Melody key to first sample at the sink (guitar)", "", {}, " ms"};
    Row rss{"peak RSS after start (FluidR3_GM)", "<= 60 MiB", {}, " MiB"};
    Row idleProgram{"idle CPU of the program over 10 s", "", {}, " %"};
    Row idleServer{"idle CPU of the sound server over 10 s", "", {}, " %"};
    Row idleBoth{"idle CPU, program + sound server", "<= 1 %", {}, " %"};
    const qint64 server = pidOf("pulseaudio");
    for (int run = 0; run <= runs; ++run) {
        progress("program: start %d of %d (about 20 s)", run + 1, runs + 1);
        QProcess tonvik;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove("QT_QPA_PLATFORM");
        env.insert("QT_LOGGING_RULES", "tonvik.startup.debug=true");
        tonvik.setProcessEnvironment(env);
        const double launched = monotonicMs();
        tonvik.start(TONVIK_BINARY, {});
        std::map<QString, double> marks;
        QElapsedTimer waited;
        waited.start();
        while (marks.size() < 3 && waited.elapsed() < 20000) {
            tonvik.waitForReadyRead(5);
            while (tonvik.canReadLine()) {
                const QList<QByteArray> f = tonvik.readLine().trimmed().split(' ');
                if (f.size() == 3 && f[0] == "tonvik.startup:") {
                    marks[QString(f[1])] = f[2].toDouble() - launched;
                    if (f[1] == "frmSplash")
                        QProcess::startDetached("xdotool", {"key", "space"});
                }
            }
            tonvik.setReadChannel(QProcess::StandardError);
        }
        if (marks.size() < 3) {
            std::fprintf(stderr, "the program did not start in 20 s\n");
            return {};
        }
        std::this_thread::sleep_for(6s); // past the idle stop of the output
        const double p0 = processCpuSeconds(tonvik.processId());
        const double s0 = server ? processCpuSeconds(server) : 0;
        std::this_thread::sleep_for(10s);
        const double program = 100 * (processCpuSeconds(tonvik.processId()) - p0) / 10;
        const double sound = server ? 100 * (processCpuSeconds(server) - s0) / 10 : 0;
        // The key A plays the Melody window's C, with the program's default instrument
        // (the guitar, whose sample starts with 5 ms of near silence).
        Capture capture("tonvik_null.monitor");
        std::this_thread::sleep_for(2500ms); // the null sink's first hold
        for (int k = 0; k < 4 && run > 0; ++k) {
            std::this_thread::sleep_for(k == 0 ? 250ms : 1500ms); // the guitar's ring fades
            const size_t from = capture.samples().size();
            const TimePoint pressed = SteadyClock::now();
            if (!pressKey("a"))
                break;
            std::this_thread::sleep_for(200ms);
            // The onset: the first sample well above what still rang before the key.
            const auto x = capture.samples();
            float before = 0.001f;
            for (size_t i = from > 960 ? from - 960 : 0; i < from && i < x.size(); ++i)
                before = std::max(before, 3 * std::fabs(x[i]));
            for (size_t i = from; i < x.size(); ++i) {
                if (capture.timeOfSample(i) >= pressed && std::fabs(x[i]) > before) {
                    key.values.push_back(ms(capture.timeOfSample(i) - pressed));
                    break;
                }
            }
        }
        const double peak = statusKiB(tonvik.processId(), "VmHWM:") / 1024;
        tonvik.kill();
        tonvik.waitForFinished();
        if (run == 0)
            continue; // the cold start
        splash.values.push_back(marks["frmSplash"]);
        ready.values.push_back(std::max(marks["formmelody"], marks["soundfont"]));
        rss.values.push_back(peak);
        idleProgram.values.push_back(program);
        idleServer.values.push_back(sound);
        idleBoth.values.push_back(program + sound);
    }
    return {splash, ready, key, rss, idleProgram, idleServer, idleBoth};
}

// Peak RSS of a process like the program (a Melody window, the engine with FluidR3_GM)
// after one note of each of the 128 programs: a child process of this one.
int memoryChild() {
    EngineConfig config;
    config.offline = true;
    AudioEngine engine(config);
    MidiBackend::setCurrent(&engine);
    MelodyWindow window;
    window.showWindow();
    engine.waitForSoundFont();
    MidiControl midi("bench");
    for (int program = 0; program < 128; ++program) {
        midi.programChange(1, program);
        midi.noteOn(1, 100, 60);
        EngineProbe::setOrigin(engine, SteadyClock::now());
        EngineProbe::render(engine, 4800);
        midi.noteOff(1, 60);
    }
    std::printf("%.1f\n", statusKiB(QCoreApplication::applicationPid(), "VmHWM:") / 1024);
    MidiBackend::setCurrent(nullptr);
    return 0;
}

std::vector<Row> memoryBenchmark(int runs) {
    Row row{"peak RSS after a note of each of 128 programs", "<= 60 MiB", {}, " MiB"};
    for (int run = 0; run < runs; ++run) {
        progress("memory: 128 programs, run %d of %d", run + 1, runs);
        QProcess child;
        child.start(QCoreApplication::applicationFilePath(), {"memory-child"});
        child.waitForFinished(120000);
        row.values.push_back(child.readAllStandardOutput().trimmed().toDouble());
    }
    return {row};
}

// ---- click to sound ----

// From a "New" click to the first sample above -60 dBFS at the sink, with the output
// running (a note a second before), and after 30 s of silence (the output stopped).
std::vector<Row> clickBenchmark(int runs) {
    Row active{"click to first sample, sound active", "med 6, p99 10 ms", {}, " ms"};
    Row cold{"click to first sample after 30 s of silence", "<= 50 ms", {}, " ms"};
    Capture capture("tonvik_null.monitor");
    if (!capture.ok())
        return {};
    std::this_thread::sleep_for(2500ms);
    AudioEngine engine(benchConfig());
    MidiBackend::setCurrent(&engine);
    engine.waitForSoundFont();
    // The piano, which sounds from its first millisecond: FluidR3_GM's default nylon
    // guitar begins with 5 ms of near silence, which is the font's and not the path's.
    soundSettings().instrument = 0;
    auto w = octaveWindow(0);
    MidiControl warm("bench");
    const bool quick = qEnvironmentVariableIsSet("TONVIK_BENCH_QUICK");
    for (int run = 0; run < runs; ++run) {
        progress("click: run %d of %d (%d s)", run + 1, runs, quick ? 14 : 38);
        // Twenty clicks on a running output, then one after a silence.
        for (int k = 0; k <= 20; ++k) {
            const bool afterSilence = k == 20;
            if (afterSilence) {
                std::this_thread::sleep_for(quick ? 6s : 30s);
            } else {
                warm.noteOn(1, 1, 30); // keeps the output running, inaudibly
                std::this_thread::sleep_for(300ms);
            }
            const size_t from = capture.samples().size();
            const TimePoint click = SteadyClock::now();
            clickNew(w.get());
            if (qEnvironmentVariableIsSet("TONVIK_BENCH_VERBOSE"))
                std::printf("  the click's handler took %.2f ms\n", ms(SteadyClock::now() - click));
            std::this_thread::sleep_for(100ms);
            const auto x = capture.samples();
            for (size_t i = from; i < x.size(); ++i) {
                if (capture.timeOfSample(i) >= click && std::fabs(x[i]) > 0.001f) {
                    (afterSilence ? cold : active)
                        .values.push_back(ms(capture.timeOfSample(i) - click));
                    break;
                }
            }
            warm.allNotesOff();
        }
    }
    std::printf("click: %s\n", engine.soundInfo().toUtf8().constData());
    MidiBackend::setCurrent(nullptr);
    return {active, cold};
}

// ---- onsets of whole questions ----

QAbstractButton *buttonWithText(QWidget *w, const QString &text) {
    for (auto *b : w->findChildren<QAbstractButton *>())
        if (b->text().remove('&') == text)
            return b;
    return nullptr;
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
// window opening on 100,000 answers, and the file's size per 10,000 answers.
std::vector<Row> progressBenchmark(int runs) {
    Row record{"recording an answer on the UI thread, p99", "<= 1 ms", {}, " ms"};
    Row open{"Progress window opening on 100,000 answers", "<= 300 ms", {}, " ms"};
    Row size{"progress store per 10,000 answers", "", {}, " KiB"};
    progress("progress: 100,000 answers recorded, then the window opened %d times", runs);
    QTemporaryDir dir;
    const QString path = dir.filePath("progress.sqlite");
    std::mt19937 rng(7);
    {
        ProgressStore store(path);
        std::vector<double> ms;
        const QDateTime start = QDateTime::currentDateTimeUtc().addDays(-60);
        for (int i = 0; i < 100000; ++i) {
            Answer a;
            a.at = start.addSecs(i * 50);
            a.drill = "intervals";
            a.askedIndex = int(rng() % 13);
            a.answeredIndex = rng() % 4 ? a.askedIndex : int(rng() % 13);
            a.right = a.askedIndex == a.answeredIndex;
            a.askedName = "interval";
            a.root = 60;
            a.answerMs = 500 + rng() % 2000;
            const auto t0 = SteadyClock::now();
            store.record(std::move(a));
            ms.push_back(
                std::chrono::duration<double, std::milli>(SteadyClock::now() - t0).count());
            if (i % 1000 == 999) // at a user's pace the writer keeps up; let it here too
                store.flush(60000);
        }
        store.flush(600000);
        std::sort(ms.begin(), ms.end());
        record.values.push_back(ms[ms.size() * 99 / 100]);
    }
    const qint64 bytes = QFileInfo(path).size() + QFileInfo(path + "-wal").size();
    size.values.push_back(double(bytes) / 1024 / 10);
    ProgressStore store(path);
    IntervalsWindow drill;
    for (int run = 0; run < runs; ++run) {
        const auto t0 = SteadyClock::now();
        ProgressWindow window(store, &drill);
        window.show();
        if (!QTest::qWaitForWindowExposed(&window))
            std::printf("the Progress window was not shown\n");
        QCoreApplication::processEvents();
        open.values.push_back(
            std::chrono::duration<double, std::milli>(SteadyClock::now() - t0).count());
    }
    std::printf("progress: record p99 %.3f ms, window %.0f ms, %.0f KiB per 10,000\n",
                record.values[0], open.values[0], size.values[0]);
    return {record, open, size};
}

} // namespace

int main(int argc, char *argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args == QStringList{"memory-child"})
        return memoryChild();
    const int runs = qEnvironmentVariableIntValue("TONVIK_BENCH_RUNS") > 0
                         ? qEnvironmentVariableIntValue("TONVIK_BENCH_RUNS")
                         : 5;
    std::map<QString, std::function<std::vector<Row>()>> benches = {
        {"output", [&] { return outputBenchmark(runs); }},
        {"pause", [&] { return pauseBenchmark(runs); }},
        {"onset", [&] { return onsetBenchmark(); }},
        {"stopnoise", [&] { return stopNoiseBenchmark(runs); }},
        {"floor", [&] { return floorBenchmark(runs); }},
        {"bare", [&] { return bareStreamBenchmark(runs); }},
        {"program", [&] { return programBenchmark(runs); }},
        {"memory", [&] { return memoryBenchmark(runs); }},
        {"click", [&] { return clickBenchmark(runs); }},
        {"questions", [&] { return questionOnsetBenchmark(runs); }},
        {"progress", [&] { return progressBenchmark(runs); }},
        {"wakeup", [&] { return wakeupBenchmark(runs); }},
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
