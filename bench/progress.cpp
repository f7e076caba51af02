// SPDX-License-Identifier: GPL-3.0-or-later
// The progress store and the Progress window on 100,000 answers.
#include "Harness.h"

#include "intervals/IntervalsWindow.h"
#include "progress/ProgressWindow.h"

#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <random>

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
