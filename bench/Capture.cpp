// SPDX-License-Identifier: GPL-3.0-or-later
#include "Capture.h"

#include <chrono>
#include <pulse/simple.h>

Capture::Capture(std::string source) : source_(std::move(source)) {
    thread_ = std::thread([this] { run(); });
    for (int i = 0; i < 100 && !ok_; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
}

Capture::~Capture() {
    stop_ = true;
    thread_.join();
}

void Capture::run() {
    pa_sample_spec spec{PA_SAMPLE_FLOAT32LE, kRate, 1};
    pa_buffer_attr attr{};
    attr.maxlength = uint32_t(-1);
    attr.fragsize = 64 * sizeof(float); // small fragments: fine time stamps
    int error = 0;
    pa_simple *s = pa_simple_new(nullptr, "tonvik-bench", PA_STREAM_RECORD, source_.c_str(),
                                 "capture", &spec, nullptr, &attr, &error);
    if (!s)
        return;
    ok_ = true;
    std::vector<float> block(64);
    while (!stop_) {
        if (pa_simple_read(s, block.data(), block.size() * sizeof(float), &error) < 0)
            break;
        const auto now = SteadyClock::now();
        std::lock_guard lock(mutex_);
        // The monitor delivers small fragments as the sink plays them, so a read's return
        // marks when its last sample was played, give or take one fragment. (The stream's
        // reported latency is useless on a null sink's monitor: hundreds of ms, then 0.)
        const size_t lastIndex = samples_.size() + block.size() - 1;
        const TimePoint origin = now - std::chrono::nanoseconds(int64_t(lastIndex * 1e9 / kRate));
        // Keep the earliest estimate: scheduling only ever makes a read look later.
        if (!originSet_ || origin < origin_) {
            origin_ = origin;
            originSet_ = true;
        }
        samples_.insert(samples_.end(), block.begin(), block.end());
    }
    pa_simple_free(s);
}

std::vector<float> Capture::samples() const {
    std::lock_guard lock(mutex_);
    return samples_;
}

TimePoint Capture::timeOfSample(size_t index) const {
    std::lock_guard lock(mutex_);
    return origin_ + std::chrono::nanoseconds(int64_t(index * 1e9 / kRate));
}
