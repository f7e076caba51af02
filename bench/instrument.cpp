// SPDX-License-Identifier: GPL-3.0-or-later
// A change of instrument on a running output: how long it holds the audio thread.
#include "Harness.h"
#include "sound/EngineProbe.h"
#include "sound/MidiControl.h"

// Program changes among instruments not heard before in the run, each followed by a
// note, on a running output. The preset is loaded (and pinned) on the worker before the
// change reaches the audio thread; there, only the selection remains.
std::vector<Row> instrumentBenchmark(int runs) {
    Row change{"program change on the audio thread, longest", "<= 0.1 ms", {}, " ms"};
    Row render{"  rendering one period meanwhile, longest", "", {}, " ms"};
    for (int run = 0; run < runs; ++run) {
        progress("instrument: 32 program changes, run %d of %d", run + 1, runs);
        AudioEngine engine(benchConfig());
        MidiBackend::setCurrent(&engine);
        waitUntilPlaying(engine);
        MidiControl midi("bench");
        for (int k = 0; k < 32; ++k) {
            midi.programChange(1, (k * 37 + run * 11) % 128);
            midi.noteOn(1, 100, 60 + k % 12);
            std::this_thread::sleep_for(150ms);
        }
        change.values.push_back(EngineProbe::longestProgramChange(engine));
        render.values.push_back(EngineProbe::outputStats(engine).maxRenderMs);
        midi.allNotesOff();
        MidiBackend::setCurrent(nullptr);
    }
    return {change, render};
}
