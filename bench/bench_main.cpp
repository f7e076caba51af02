// SPDX-License-Identifier: GPL-3.0-or-later
// Benchmarks, run by `make bench` inside a private X server and PulseAudio server
// with a null sink. Each group prints rows of one table: figure, goal, median, p99,
// min, max. `tonvik_bench [group...]` runs the groups named, else all of them.
#include "Harness.h"

#include <QApplication>
#include <functional>
#include <map>

int main(int argc, char *argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args == QStringList{"memory-child"})
        return memoryChild();
    if (args == QStringList{"blackbox-child"})
        return blackboxChild();
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
        {"instrument", [&] { return instrumentBenchmark(runs); }},
        {"blackbox", [&] { return blackboxBenchmark(runs); }},
        {"attack", [&] { return attackBenchmark(); }},
        {"voice", [&] { return voiceBenchmark(); }},
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
