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
    Row stalled{"  of them as a CPU stood still (a 3+ ms late wake-up)", "", {}, ""};
    Row cpuStalls{"  CPU stalls of 3+ ms meanwhile (either CPU)", "", {}, ""};
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
        // Each CPU watched on its own: a pause of one does not show on the other.
        std::vector<std::unique_ptr<StallProbe>> probes;
        for (int cpu = 0; cpu < std::min(8, int(std::thread::hardware_concurrency())); ++cpu)
            probes.push_back(std::make_unique<StallProbe>(cpu));
        for (int i = 0; i < denseSeconds * 25; ++i) {
            midi.noteOn(1, 90, 60 + (i * 7) % 24);
            std::this_thread::sleep_for(40ms);
        }
        const size_t denseTo = capture.samples().size();
        std::vector<StallProbe::Stall> stalls;
        for (auto &probe : probes)
            for (const auto &stall : probe->stop())
                if (stall.lateMs > 3)
                    stalls.push_back(stall);
        midi.allNotesOff();
        std::this_thread::sleep_for(200ms);
        MidiBackend::setCurrent(nullptr);
        const auto found = dropouts(capture.samples(), denseFrom, denseTo, 32);
        under.values.push_back(double(found.size()));
        // A dropout is the stall's when the sink ran dry while a CPU stood still, or
        // within the buffer's length after (and the recording's few ms either side).
        int theirs = 0;
        for (size_t at : found) {
            const TimePoint when = capture.timeOfSample(at);
            const bool near = std::any_of(stalls.begin(), stalls.end(), [&](const auto &stall) {
                const auto began = stall.at - std::chrono::microseconds(int(stall.lateMs * 1000));
                return when > began - 3ms && when < stall.at + 15ms;
            });
            theirs += near;
            if (qEnvironmentVariableIsSet("TONVIK_BENCH_VERBOSE"))
                std::printf("  dropout at %.3f s into the dense phase%s\n",
                            double(at - denseFrom) / Capture::kRate,
                            near ? ", as a CPU stood still" : "");
        }
        stalled.values.push_back(theirs);
        cpuStalls.values.push_back(double(stalls.size()));
        const auto stats = EngineProbe::outputStats(engine);
        progress("output: %lld callbacks, %lld later than the buffer, longest gap %.2f ms, "
                 "longest rendering %.2f ms",
                 stats.callbacks, stats.gaps, stats.maxCallbackGapMs, stats.maxRenderMs);
    }
    std::printf("output: %s\n", info.c_str());
    return {under, stalled, cpuStalls};
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
