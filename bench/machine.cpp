// SPDX-License-Identifier: GPL-3.0-or-later
// The machine and its sound server under every figure: a bare stream's write to the
// sink, and how late a real-time thread wakes.
#include "Harness.h"

#include <algorithm>
#include <cmath>
#include <pulse/simple.h>

// The floor under every figure at the sink: a bare PulseAudio stream asking for a
// 128-frame buffer, kept running with silence, a click written at a known moment, and
// the time until it reaches the null sink's monitor.
std::vector<Row> floorBenchmark(int runs) {
    Row floor{"sound server floor: bare stream, write to sink", "", {}, " ms"};
    progress("floor: %d clicks on a bare stream", 4 * runs);
    Capture capture("tonvik_null.monitor");
    if (!capture.ok())
        return {};
    std::this_thread::sleep_for(2500ms);
    pa_sample_spec spec{PA_SAMPLE_FLOAT32LE, 48000, 1};
    pa_buffer_attr attr{};
    attr.maxlength = uint32_t(-1);
    attr.tlength = 128 * sizeof(float);
    attr.prebuf = uint32_t(-1);
    attr.minreq = 32 * sizeof(float);
    int error = 0;
    pa_simple *s = pa_simple_new(nullptr, "tonvik-bench", PA_STREAM_PLAYBACK, nullptr, "floor",
                                 &spec, nullptr, &attr, &error);
    if (!s)
        return {};
    std::vector<float> block(32);
    for (int k = 0; k < 4 * runs; ++k) {
        std::fill(block.begin(), block.end(), 0.f);
        for (int i = 0; i < 48000 * 3 / 10 / 32; ++i) // 300 ms of silence
            pa_simple_write(s, block.data(), block.size() * sizeof(float), &error);
        const size_t from = capture.samples().size();
        const TimePoint click = SteadyClock::now();
        std::fill(block.begin(), block.end(), 0.5f);
        pa_simple_write(s, block.data(), block.size() * sizeof(float), &error);
        std::fill(block.begin(), block.end(), 0.f);
        for (int i = 0; i < 48000 / 10 / 32; ++i)
            pa_simple_write(s, block.data(), block.size() * sizeof(float), &error);
        const auto x = capture.samples();
        for (size_t i = from; i < x.size(); ++i) {
            if (capture.timeOfSample(i) >= click && std::fabs(x[i]) > 0.1f) {
                floor.values.push_back(ms(capture.timeOfSample(i) - click));
                break;
            }
        }
    }
    pa_simple_free(s);
    return {floor};
}

// "Stop noise!": from the click to the last sound at the sink, beside the latency of
// a note from its click to the sink. At the engine, silence follows within one

std::vector<Row> wakeupBenchmark(int runs) {
    const int seconds = qEnvironmentVariableIsSet("TONVIK_BENCH_QUICK") ? 10 : 60;
    Row longest{"real-time thread woken each 1 ms: longest delay in " +
                    std::to_string(seconds / runs) + " s",
                "",
                {},
                " ms"};
    Row late{"  wake-ups over 5 ms late, per 60 s", "", {}, ""};
    progress("wakeup: %d s of 1 ms wake-ups at real-time priority", seconds);
    int over5 = 0;
    for (int run = 0; run < runs; ++run) {
        StallProbe probe;
        std::this_thread::sleep_for(std::chrono::milliseconds(seconds * 1000 / runs));
        const auto stalls = probe.stop();
        double worst = 0;
        for (const auto &stall : stalls) {
            worst = std::max(worst, stall.lateMs);
            over5 += stall.lateMs > 5;
        }
        longest.values.push_back(worst);
    }
    late.values.push_back(over5 * 60.0 / seconds);
    return {longest, late};
}
