// SPDX-License-Identifier: GPL-3.0-or-later
// The real program: start-up, memory, idle CPU, a key to the sink.
#include "Harness.h"
#include "Keys.h"
#include "sound/EngineProbe.h"
#include "sound/MidiControl.h"

#include "melody/MelodyWindow.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <algorithm>
#include <cmath>
#include <map>
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
