// SPDX-License-Identifier: GPL-3.0-or-later
// What every benchmark group shares: the table rows, the progress lines, the engine as
// the program runs it, a few measurements and the drill windows' controls.
#pragma once

#include "Capture.h"
#include "sound/AudioEngine.h"

#include <QString>
#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

class IntervalsWindow;
class QAbstractButton;
class QWidget;

using namespace std::chrono_literals;

struct Row {
    std::string figure, goal;
    std::vector<double> values;
    std::string unit;
};

void printTable(const std::vector<Row> &rows);
// What the benchmark is doing, as it goes (some take minutes).
void progress(const char *format, ...) __attribute__((format(printf, 1, 2)));
double ms(SteadyClock::duration d);
// Dropouts in a sustained tone: where runs of at least `run` samples of digital
// silence begin.
std::vector<size_t> dropouts(const std::vector<float> &x, size_t from, size_t to, size_t run);

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
    void run();
    int cpu_;
    std::atomic<bool> quit_{false};
    std::vector<Stall> stalls_;
    std::thread thread_;
};

// Until the engine's output runs and is past the null sink's hold on a new stream
// (about 2 s before its first write reaches the monitor).
void waitUntilPlaying(AudioEngine &engine);
// The engine as the program runs it, or with the driver, period, periods or latency
// named by TONVIK_BENCH_DRIVER, _PERIOD_SIZE, _PERIODS or _LATENCY_MS.
EngineConfig benchConfig();
// CPU seconds of this thread or process (RUSAGE_THREAD, RUSAGE_SELF).
double cpuSeconds(int who);
// An Intervals window with only the octave ticked, ready to ask.
std::unique_ptr<IntervalsWindow> octaveWindow(int sliderMs);
void clickNew(IntervalsWindow *w);
// The first sample of x from `from` on, played at or after `t`, louder than `level`;
// x.size() if none.
size_t firstAfter(const Capture &capture, const std::vector<float> &x, size_t from, TimePoint t,
                  float level);
QAbstractButton *buttonWithText(QWidget *w, const QString &text);

// The real program.
double monotonicMs();
// A /proc/PID/status field in KiB.
double statusKiB(qint64 pid, const char *field);
// User and system CPU seconds of a process so far.
double processCpuSeconds(qint64 pid);
qint64 pidOf(const char *name);

// The groups, one file each; `tonvik_bench [group...]` runs some of them.
std::vector<Row> outputBenchmark(int runs);        // output.cpp
std::vector<Row> bareStreamBenchmark(int runs);    // output.cpp
std::vector<Row> floorBenchmark(int runs);         // machine.cpp
std::vector<Row> wakeupBenchmark(int runs);        // machine.cpp
std::vector<Row> pauseBenchmark(int runs);         // timing.cpp
std::vector<Row> onsetBenchmark();                 // timing.cpp
std::vector<Row> questionOnsetBenchmark(int runs); // timing.cpp
std::vector<Row> stopNoiseBenchmark(int runs);     // click.cpp
std::vector<Row> clickBenchmark(int runs);         // click.cpp
std::vector<Row> programBenchmark(int runs);       // program.cpp
std::vector<Row> memoryBenchmark(int runs);        // program.cpp
int memoryChild();                                 // program.cpp
std::vector<Row> progressBenchmark(int runs);
std::vector<Row> instrumentBenchmark(int runs);
std::vector<Row> blackboxBenchmark(int runs);
std::vector<Row> attackBenchmark(); // timing.cpp
std::vector<Row> voiceBenchmark();  // voice.cpp
int blackboxChild();                // progress.cpp
