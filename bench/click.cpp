// SPDX-License-Identifier: GPL-3.0-or-later
// Click to sound and "Stop noise!" to silence, at the null sink.
#include "Harness.h"
#include "sound/MidiControl.h"
#include "sound/SoundSettings.h"

#include "intervals/FormIntervalli.h"

#include <cmath>

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
    variabiliglobali().instrument = 0;
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
