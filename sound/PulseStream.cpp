// SPDX-License-Identifier: GPL-3.0-or-later
#include "sound/PulseStream.h"

#include <QLoggingCategory>
#include <chrono>
#include <pthread.h>
#include <pulse/error.h>
#include <pulse/simple.h>

Q_DECLARE_LOGGING_CATEGORY(lcAudio)

std::unique_ptr<PulseStream> PulseStream::open(int sampleRate, int periodSize, int periods,
                                               Render render, void *data, Flushes *flushes) {
    const pa_sample_spec spec{PA_SAMPLE_FLOAT32NE, uint32_t(sampleRate), 2};
    const uint32_t frameBytes = 2 * sizeof(float);
    // The server asks for a period at a time and keeps the buffer full, no more: it
    // starts as soon as the buffer is.
    pa_buffer_attr attr{};
    attr.maxlength = uint32_t(-1);
    attr.tlength = uint32_t(periodSize * periods) * frameBytes;
    attr.prebuf = uint32_t(-1);
    attr.minreq = uint32_t(periodSize) * frameBytes;
    attr.fragsize = uint32_t(-1);
    int error = 0;
    pa_simple *stream = pa_simple_new(nullptr, "Tonvik", PA_STREAM_PLAYBACK, nullptr, "Tonvik",
                                      &spec, nullptr, &attr, &error);
    if (!stream) {
        qCDebug(lcAudio, "no PulseAudio stream: %s", pa_strerror(error));
        return nullptr;
    }
    return std::unique_ptr<PulseStream>(new PulseStream(stream, periodSize, render, data, flushes));
}

PulseStream::PulseStream(pa_simple *stream, int periodSize, Render render, void *data,
                         Flushes *flushes)
    : stream_(stream), periodSize_(periodSize), render_(render), data_(data), flushes_(flushes),
      left_(size_t(periodSize)), right_(size_t(periodSize)), interleaved_(2 * size_t(periodSize)) {
    thread_ = std::thread([this] { run(); });
}

PulseStream::~PulseStream() {
    quit_ = true;
    thread_.join();
    pa_simple_free(stream_);
}

void PulseStream::run() {
    sched_param param{};
    param.sched_priority = 60; // as FluidSynth's own audio threads
    if (pthread_setschedparam(pthread_self(), SCHED_FIFO, &param) != 0)
        qCDebug(lcAudio, "the audio thread runs without real-time priority");
    while (!quit_) {
        const bool cut = render_(data_, periodSize_, left_.data(), right_.data());
        for (int i = 0; i < periodSize_; ++i) {
            interleaved_[size_t(2 * i)] = left_[size_t(i)];
            interleaved_[size_t(2 * i + 1)] = right_[size_t(i)];
        }
        int error = 0;
        // The server rewinds its sink over what it drops, so the new period follows at once.
        if (cut) {
            const auto t0 = std::chrono::steady_clock::now();
            if (pa_simple_flush(stream_, &error) < 0)
                break;
            const double ms =
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0)
                    .count();
            if (flushes_) {
                ++flushes_->count;
                if (ms > flushes_->longestMs)
                    flushes_->longestMs = ms;
            }
        }
        if (pa_simple_write(stream_, interleaved_.data(), interleaved_.size() * sizeof(float),
                            &error) < 0)
            break; // the server went away: the stall watch lets go of the stream
    }
}
