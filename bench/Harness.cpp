// SPDX-License-Identifier: GPL-3.0-or-later
#include "Harness.h"

#include "intervals/IntervalsWindow.h"

#include <QAbstractButton>
#include <QFile>
#include <QProcess>
#include <QSlider>
#include <QTest>
#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <pthread.h>
#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

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

void StallProbe::run() {
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

size_t firstAfter(const Capture &capture, const std::vector<float> &x, size_t from, TimePoint t,
                  float level) {
    for (size_t i = from; i < x.size(); ++i)
        if (std::fabs(x[i]) > level && capture.timeOfSample(i) >= t)
            return i;
    return x.size();
}

void clickNew(IntervalsWindow *w) {
    QTest::mouseClick(w->findChild<QAbstractButton *>("New"), Qt::LeftButton);
}

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
QAbstractButton *buttonWithText(QWidget *w, const QString &text) {
    for (auto *b : w->findChildren<QAbstractButton *>())
        if (b->text().remove('&') == text)
            return b;
    return nullptr;
}
