// SPDX-License-Identifier: GPL-3.0-or-later
// Underruns under dense notes, and the floor under them: the stream rendering a sine.
#include "Harness.h"
#include "sound/EngineProbe.h"
#include "sound/MidiControl.h"
#include "sound/PulseStream.h"

#include <algorithm>
#include <cmath>

// Underruns under dense playing, for the output the engine chooses.
std::vector<Row> outputBenchmark(int runs) {
    const int denseSeconds = qEnvironmentVariableIsSet("TONVIK_BENCH_QUICK") ? 10 : 60;
    Row under{"underruns (dropouts) in " + std::to_string(denseSeconds) + " s of dense notes",
              "0 in each run",
              {},
              ""};
    // The audio thread's own count: no watcher of our own, which would be a load of its
    // own (two real-time threads waking each millisecond made a bare stream run dry 3-15
    // times in 10 s, against 0-5 without them).
    Row late{"  periods the server asked for later than the buffer lasts", "", {}, ""};
    Row render{"  longest rendering of one period (the whole run)", "", {}, " ms"};
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
        const auto before = EngineProbe::outputStats(engine);
        for (int i = 0; i < denseSeconds * 25; ++i) {
            midi.noteOn(1, 90, 60 + (i * 7) % 24);
            std::this_thread::sleep_for(40ms);
        }
        const size_t denseTo = capture.samples().size();
        midi.allNotesOff();
        std::this_thread::sleep_for(200ms);
        MidiBackend::setCurrent(nullptr);
        const auto found = dropouts(capture.samples(), denseFrom, denseTo, 32);
        under.values.push_back(double(found.size()));
        const auto stats = EngineProbe::outputStats(engine);
        late.values.push_back(double(stats.gaps - before.gaps));
        render.values.push_back(stats.maxRenderMs);
        if (qEnvironmentVariableIsSet("TONVIK_BENCH_VERBOSE"))
            for (size_t at : found)
                std::printf("  dropout at %.3f s into the dense phase\n",
                            double(at - denseFrom) / Capture::kRate);
        progress("output: %lld callbacks, %lld later than the buffer, longest gap %.2f ms, "
                 "longest rendering %.2f ms",
                 stats.callbacks, stats.gaps, stats.maxCallbackGapMs, stats.maxRenderMs);
    }
    std::printf("output: %s\n", info.c_str());
    return {under, late, render};
}

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
