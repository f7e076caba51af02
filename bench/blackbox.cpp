// SPDX-License-Identifier: GPL-3.0-or-later
// Black box, the way a user hears it: a mouse click sent to the X server (XTest) on a
// question's button, to the first sample above -50 dBFS at the null sink's monitor.
// Tonvik's Intervals window and, beside it in the same run, the peer: Minuet's "New
// Question" in Ascending Melodic Intervals, Seconds. Minuet is not a dependency; for the
// comparison install it with its QML modules:
//   apt-get install --no-install-recommends minuet qml-module-qtquick2
//       qml-module-qtquick-controls2 qml-module-qtquick-layouts qml-module-qtquick-window2
#include "Harness.h"
#include "Keys.h"
#include "sound/MidiControl.h"

#include "intervals/IntervalsWindow.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QEventLoop>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <functional>

namespace {

constexpr float kHeard = 0.00316f; // -50 dBFS

// A click at (x, y) and the time to the first sample above -50 dBFS and three times
// what sounded in the 20 ms before it; -1 if nothing came within `wait`.
double clickToSound(Capture &capture, int x, int y, const std::function<void(int)> &wait) {
    const size_t from = capture.samples().size();
    if (!clickAt(x, y))
        return -1;
    const TimePoint click = SteadyClock::now();
    if (qEnvironmentVariableIsSet("TONVIK_BENCH_VERBOSE"))
        std::printf("  clicked at %lld us\n",
                    (long long)(std::chrono::duration_cast<std::chrono::microseconds>(
                                    click.time_since_epoch())
                                    .count()));
    wait(300);
    const auto samples = capture.samples();
    float level = kHeard;
    for (size_t i = from > 960 ? from - 960 : 0; i < from; ++i)
        level = std::max(level, 3 * std::fabs(samples[i]));
    const size_t at = firstAfter(capture, samples, from, click, level);
    return at < samples.size() ? ms(capture.timeOfSample(at) - click) : -1;
}

} // namespace

// The child, on the X server: an Intervals window clicked through the X server. Prints
// "silence MS" for a question after silence and "tail MS" for one 2 s after the last.
int blackboxChild() {
    Capture capture("tonvik_null.monitor");
    std::this_thread::sleep_for(2500ms);
    AudioEngine engine(benchConfig());
    MidiBackend::setCurrent(&engine);
    engine.waitForSoundFont();
    auto w = octaveWindow(0);
    if (!QTest::qWaitForWindowExposed(w.get()))
        return 1;
    QTest::qWait(3000); // the output opened and past the null sink's hold
    auto *button = w->findChild<QAbstractButton *>("New");
    const QPoint at = button->mapToGlobal(button->rect().center());
    MidiControl midi("bench");
    if (qEnvironmentVariableIsSet("TONVIK_BENCH_VERBOSE"))
        QObject::connect(button, &QAbstractButton::pressed, [] {
            std::printf("  pressed at %lld us\n",
                        (long long)(std::chrono::duration_cast<std::chrono::microseconds>(
                                        SteadyClock::now().time_since_epoch())
                                        .count()));
        });
    // The program's own event loop, woken by the X server's events (QTest::qWait
    // would look only every 10 ms).
    const auto wait = [](int ms) {
        QEventLoop loop;
        QTimer::singleShot(ms, &loop, &QEventLoop::quit);
        loop.exec();
    };
    const int clicks = qEnvironmentVariableIntValue("TONVIK_BENCH_RUNS") > 0
                           ? 4 * qEnvironmentVariableIntValue("TONVIK_BENCH_RUNS")
                           : 20;
    for (int k = 0; k < clicks; ++k) {
        midi.allNotesOff(); // as "Stop noise!": the last question is silent
        wait(500);
        std::printf("silence %.3f\n", clickToSound(capture, at.x(), at.y(), wait));
        wait(2000 - 300);
        std::printf("tail %.3f\n", clickToSound(capture, at.x(), at.y(), wait));
        std::fflush(stdout);
    }
    MidiBackend::setCurrent(nullptr);
    return 0;
}

std::vector<Row> blackboxBenchmark(int runs) {
    Row silence{"black box: XTest click on New to > -50 dBFS at the sink, after silence",
                "<= 0.8 x peer",
                {},
                " ms"};
    Row tail{"  the same, 2 s after the last question (its ring still queued)", "", {}, " ms"};
    Row peer{"  peer: Minuet's New Question, same method, same run", "", {}, " ms"};
    Row ratio{"  Tonvik after silence / peer (medians)", "<= 0.8", {}, ""};
    progress("blackbox: %d clicks on Tonvik's New (about %d s)", 8 * runs, 25 * runs);
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "xcb");
    child.setProcessEnvironment(env);
    child.start(QCoreApplication::applicationFilePath(), {"blackbox-child"});
    child.waitForFinished(600000);
    for (const QByteArray &line : child.readAllStandardOutput().split('\n')) {
        const QList<QByteArray> f = line.split(' ');
        if (qEnvironmentVariableIsSet("TONVIK_BENCH_VERBOSE"))
            std::printf("%s\n", line.constData());
        if (f.size() == 2 && f[1].toDouble() >= 0)
            (f[0] == "silence" ? silence : tail).values.push_back(f[1].toDouble());
    }
    if (QStandardPaths::findExecutable("minuet").isEmpty()) {
        peer.figure += ": peer not installed";
        return {silence, tail, peer};
    }
    progress("blackbox: %d clicks on Minuet's New Question (about %d s)", 4 * runs,
             3 * 4 * runs + 20);
    Capture capture("tonvik_null.monitor");
    QProcess minuet;
    minuet.setProcessEnvironment(env);
    minuet.start("minuet", {});
    std::this_thread::sleep_for(10s); // its window and its sound font
    // On the test environment's 1280x1024 screen: Intervals, Ascending Melodic Intervals,
    // Seconds, then its New Question button.
    for (const QPoint p : {QPoint(67, 222), QPoint(100, 222), QPoint(100, 222)}) {
        clickAt(p.x(), p.y());
        std::this_thread::sleep_for(1500ms);
    }
    const auto sleep = [](int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); };
    for (int k = 0; k <= 4 * runs; ++k) {
        const double t = clickToSound(capture, 649, 139, sleep);
        if (k > 0 && t >= 0) // the first question warms its synthesiser
            peer.values.push_back(t);
        std::this_thread::sleep_for(2700ms); // its two notes end
    }
    minuet.kill();
    minuet.waitForFinished();
    if (!peer.values.empty() && !silence.values.empty()) {
        auto median = [](std::vector<double> v) {
            std::sort(v.begin(), v.end());
            return v[v.size() / 2];
        };
        ratio.values.push_back(median(silence.values) / median(peer.values));
    }
    return {silence, tail, peer, ratio};
}
