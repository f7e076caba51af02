// SPDX-License-Identifier: GPL-3.0-or-later
// The progress store and the Progress window on 100,000 answers.
#include "Harness.h"

#include "intervals/IntervalsWindow.h"
#include "progress/ProgressWindow.h"

#include <QEventLoop>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <random>

// The progress store: recording an answer on the user-interface thread, the Progress
// window opening on 100,000 answers, and the file's size per 10,000 answers.
std::vector<Row> progressBenchmark(int runs) {
    Row record{"recording an answer on the UI thread, p99", "<= 1 ms", {}, " ms"};
    Row open{"Progress window on 100,000 answers, figures shown", "<= 300 ms", {}, " ms"};
    Row size{"progress store per 10,000 answers", "", {}, " KiB"};
    Row stall{"  the user-interface thread's longest wait meanwhile", "<= 16 ms", {}, " ms"};
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
        // The longest the user-interface thread goes without turning its event loop,
        // from the window's making to its figures drawn: a timer that wants every ms.
        // (An event loop of our own: QTest's waits sleep 10 ms at a time.)
        QEventLoop loop;
        auto last = SteadyClock::now();
        const auto t0 = last;
        double longest = 0, shown = 0;
        QTimer beat;
        beat.setTimerType(Qt::PreciseTimer);
        beat.setInterval(1);
        ProgressWindow *window = nullptr;
        QObject::connect(&beat, &QTimer::timeout, [&] {
            const auto now = SteadyClock::now();
            longest =
                std::max(longest, std::chrono::duration<double, std::milli>(now - last).count());
            last = now;
            if (shown == 0 && window && !window->loading()) {
                shown = std::chrono::duration<double, std::milli>(now - t0).count();
                QTimer::singleShot(50, &loop, &QEventLoop::quit); // drawn meanwhile
            }
        });
        beat.start();
        QTimer::singleShot(30000, &loop, &QEventLoop::quit);
        window = new ProgressWindow(store, &drill);
        window->show();
        loop.exec();
        if (shown == 0)
            std::printf("the Progress window did not show its figures\n");
        open.values.push_back(shown);
        stall.values.push_back(longest);
        delete window;
    }
    std::printf("progress: record p99 %.3f ms, window %.0f ms, %.0f KiB per 10,000\n",
                record.values[0], open.values[0], size.values[0]);
    return {record, open, stall, size};
}
