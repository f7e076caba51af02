// SPDX-License-Identifier: GPL-3.0-or-later
// Click to sound and "Stop noise!" to silence, at the null sink.
#include "Harness.h"
#include "sound/EngineProbe.h"
#include "sound/MidiControl.h"
#include "sound/SoundSettings.h"

#include "intervals/IntervalsWindow.h"

#include <algorithm>
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

// The sink's level in dBFS: the loudest of x[from, to).
double levelDb(const std::vector<float> &x, size_t from, size_t to) {
    float peak = 1e-9f;
    for (size_t i = from; i < std::min(to, x.size()); ++i)
        peak = std::max(peak, std::fabs(x[i]));
    return 20 * std::log10(double(peak));
}

// From a "New" click to the first sample above -50 dBFS at the sink, with the default
// instrument: on a running output after a silence of 300 ms (a note from silence, which
// drops what the server held queued), and after 30 s of silence (the output stopped).
// Beside them, the sink's level just before the note's first sample above silence and
// in its first ms: the drop adds no click.
std::vector<Row> clickBenchmark(int runs) {
    Row active{"click to first sample > -50 dBFS, output running (default guitar)",
               "med 3, p99 6 ms",
               {},
               " ms"};
    Row cold{"click to first sample > -50 dBFS after 30 s of silence", "<= 50 ms", {}, " ms"};
    Row before{"  sink level in the 10 ms before the note's first frame", "< -80 dB", {}, " dB"};
    Row after{"  sink level in the note's first 1 ms", "", {}, " dB"};
    Row flush{"  dropping the server's queue on the audio thread, longest", "", {}, " ms"};
    Capture capture("tonvik_null.monitor");
    if (!capture.ok())
        return {};
    std::this_thread::sleep_for(2500ms);
    AudioEngine engine(benchConfig());
    MidiBackend::setCurrent(&engine);
    engine.waitForSoundFont();
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
                warm.noteOn(1, 1, 30); // keeps the output running, under -80 dBFS
                std::this_thread::sleep_for(300ms);
            }
            const size_t from = capture.samples().size();
            const TimePoint click = SteadyClock::now();
            clickNew(w.get());
            if (qEnvironmentVariableIsSet("TONVIK_BENCH_VERBOSE"))
                std::printf("  the click's handler took %.2f ms\n", ms(SteadyClock::now() - click));
            std::this_thread::sleep_for(100ms);
            const auto x = capture.samples();
            const size_t first = firstAfter(capture, x, from, click, 1e-4f);
            const size_t heard = firstAfter(capture, x, from, click, 0.00316f);
            if (heard < x.size())
                (afterSilence ? cold : active)
                    .values.push_back(ms(capture.timeOfSample(heard) - click));
            if (first < x.size() && !afterSilence) {
                before.values.push_back(levelDb(x, first > 480 ? first - 480 : 0, first));
                after.values.push_back(levelDb(x, first, first + 48));
            }
            warm.allNotesOff();
        }
    }
    flush.values.push_back(EngineProbe::outputStats(engine).maxFlushMs);
    std::printf("click: %s; %lld drops of the server's queue\n",
                engine.soundInfo().toUtf8().constData(), EngineProbe::outputStats(engine).flushes);
    MidiBackend::setCurrent(nullptr);
    return {active, cold, before, after, flush};
}
