// SPDX-License-Identifier: GPL-3.0-or-later
#include "sound/PulseStream.h"

#include <QLoggingCategory>
#include <algorithm>
#include <chrono>
#include <pthread.h>
#include <pulse/error.h>
#include <pulse/stream.h>
#include <pulse/thread-mainloop.h>
#include <sys/eventfd.h>
#include <unistd.h>

Q_DECLARE_LOGGING_CATEGORY(lcAudio)

namespace {
void signalLoop(void *loop) {
    pa_threaded_mainloop_signal(static_cast<pa_threaded_mainloop *>(loop), 0);
}
} // namespace

std::unique_ptr<PulseStream> PulseStream::open(int sampleRate, int periodSize, int periods,
                                               Render render, void *data, Flushes *flushes) {
    std::unique_ptr<PulseStream> s(new PulseStream(periodSize, render, data, flushes));
    if (!s->connect(sampleRate, periods))
        return nullptr;
    s->thread_ = std::thread([p = s.get()] { p->run(); });
    return s;
}

PulseStream::PulseStream(int periodSize, Render render, void *data, Flushes *flushes)
    : periodSize_(periodSize), render_(render), data_(data), flushes_(flushes),
      left_(size_t(periodSize)), right_(size_t(periodSize)), interleaved_(2 * size_t(periodSize)) {}

bool PulseStream::connect(int sampleRate, int periods) {
    loop_ = pa_threaded_mainloop_new();
    kickFd_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (!loop_ || kickFd_ < 0)
        return false;
    pa_mainloop_api *api = pa_threaded_mainloop_get_api(loop_);
    context_ = pa_context_new(api, "Tonvik");
    if (!context_)
        return false;
    pa_context_set_state_callback(
        context_, [](pa_context *, void *loop) { signalLoop(loop); }, loop_);
    if (pa_context_connect(context_, nullptr, PA_CONTEXT_NOFLAGS, nullptr) < 0) {
        qCDebug(lcAudio, "no PulseAudio server: %s", pa_strerror(pa_context_errno(context_)));
        return false;
    }
    pa_threaded_mainloop_lock(loop_);
    struct Unlock {
        pa_threaded_mainloop *loop;
        ~Unlock() { pa_threaded_mainloop_unlock(loop); }
    } unlock{loop_};
    if (pa_threaded_mainloop_start(loop_) < 0)
        return false;
    for (pa_context_state_t st; (st = pa_context_get_state(context_)) != PA_CONTEXT_READY;) {
        if (!PA_CONTEXT_IS_GOOD(st)) {
            qCDebug(lcAudio, "no PulseAudio server: %s", pa_strerror(pa_context_errno(context_)));
            return false;
        }
        pa_threaded_mainloop_wait(loop_);
    }
    const pa_sample_spec format{PA_SAMPLE_FLOAT32NE, uint32_t(sampleRate), 2};
    stream_ = pa_stream_new(context_, "Tonvik", &format, nullptr);
    if (!stream_)
        return false;
    pa_stream_set_state_callback(
        stream_, [](pa_stream *, void *loop) { signalLoop(loop); }, loop_);
    pa_stream_set_write_callback(
        stream_, [](pa_stream *, size_t, void *loop) { signalLoop(loop); }, loop_);
    // The server asks for a period at a time and keeps the buffer full, no more. It plays
    // as soon as a period is there: after a drop, the period that starts the note.
    const uint32_t frameBytes = 2 * sizeof(float);
    pa_buffer_attr attr{};
    attr.maxlength = uint32_t(-1);
    attr.tlength = uint32_t(periodSize_ * periods) * frameBytes;
    attr.prebuf = uint32_t(periodSize_) * frameBytes;
    attr.minreq = uint32_t(periodSize_) * frameBytes;
    attr.fragsize = uint32_t(-1);
    const auto flags = pa_stream_flags_t(PA_STREAM_INTERPOLATE_TIMING | PA_STREAM_ADJUST_LATENCY |
                                         PA_STREAM_AUTO_TIMING_UPDATE);
    if (pa_stream_connect_playback(stream_, nullptr, &attr, flags, nullptr, nullptr) < 0)
        return false;
    for (pa_stream_state_t st; (st = pa_stream_get_state(stream_)) != PA_STREAM_READY;) {
        if (!PA_STREAM_IS_GOOD(st))
            return false;
        pa_threaded_mainloop_wait(loop_);
    }
    // A kick is an eventfd the main loop watches: writing to it takes no lock.
    kickEvent_ = api->io_new(
        api, kickFd_, PA_IO_EVENT_INPUT,
        [](pa_mainloop_api *, pa_io_event *, int fd, pa_io_event_flags_t, void *loop) {
            eventfd_t n;
            eventfd_read(fd, &n);
            signalLoop(loop);
        },
        loop_);
    return kickEvent_ != nullptr;
}

PulseStream::~PulseStream() {
    if (loop_) {
        pa_threaded_mainloop_lock(loop_);
        quit_ = true;
        pa_threaded_mainloop_signal(loop_, 0);
        pa_threaded_mainloop_unlock(loop_);
    }
    if (thread_.joinable())
        thread_.join();
    if (loop_) {
        pa_threaded_mainloop_lock(loop_);
        if (kickEvent_)
            pa_threaded_mainloop_get_api(loop_)->io_free(kickEvent_);
        if (stream_) {
            pa_stream_disconnect(stream_);
            pa_stream_unref(stream_);
        }
        if (context_) {
            pa_context_disconnect(context_);
            pa_context_unref(context_);
        }
        pa_threaded_mainloop_unlock(loop_);
        pa_threaded_mainloop_stop(loop_);
        pa_threaded_mainloop_free(loop_);
    }
    if (kickFd_ >= 0)
        ::close(kickFd_);
}

void PulseStream::kick() {
    kicked_ = true;
    eventfd_write(kickFd_, 1);
}

size_t PulseStream::waitForRoom(bool kickable) {
    while (!quit_) {
        if (!PA_STREAM_IS_GOOD(pa_stream_get_state(stream_)))
            return size_t(-1);
        const size_t room = pa_stream_writable_size(stream_);
        if (room == size_t(-1) || room > 0 || (kickable && kicked_))
            return room;
        pa_threaded_mainloop_wait(loop_);
    }
    return size_t(-1);
}

bool PulseStream::renderPeriod() {
    // Without the main loop's lock: the server's messages are taken meanwhile.
    pa_threaded_mainloop_unlock(loop_);
    const bool cut = render_(data_, periodSize_, left_.data(), right_.data());
    for (int i = 0; i < periodSize_; ++i) {
        interleaved_[size_t(2 * i)] = left_[size_t(i)];
        interleaved_[size_t(2 * i + 1)] = right_[size_t(i)];
    }
    pa_threaded_mainloop_lock(loop_);
    return cut;
}

void PulseStream::run() {
    sched_param param{};
    param.sched_priority = 60; // as FluidSynth's own audio threads
    if (pthread_setschedparam(pthread_self(), SCHED_FIFO, &param) != 0)
        qCDebug(lcAudio, "the audio thread runs without real-time priority");
    const size_t bytes = interleaved_.size() * sizeof(float);
    const auto *data = reinterpret_cast<const char *>(interleaved_.data());
    pa_threaded_mainloop_lock(loop_);
    // Each period is rendered as soon as the one before is written and goes out as the
    // server makes room: that period is the slack that covers the machine's pauses.
    bool cut = renderPeriod();
    size_t written = 0; // of this period
    for (;;) {
        const size_t room = waitForRoom(written == 0);
        if (room == size_t(-1))
            break; // the server went away: the stall watch lets go of the stream
        if (written == 0 && kicked_.exchange(false) && !cut) {
            // A note after silence: the period rendered ahead is silence; render again,
            // and the note's period drops what the server holds.
            cut = renderPeriod();
        }
        size_t n = std::min(room, bytes - written);
        if (written == 0 && cut) {
            // Sent ahead of the period, which follows whole; the server rewinds its sink
            // over what it drops.
            const auto t0 = std::chrono::steady_clock::now();
            if (pa_operation *o = pa_stream_flush(stream_, nullptr, nullptr))
                pa_operation_unref(o);
            const double ms =
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0)
                    .count();
            if (flushes_) {
                ++flushes_->count;
                if (ms > flushes_->longestMs)
                    flushes_->longestMs = ms;
            }
            n = bytes;
        }
        if (n == 0)
            continue;
        if (pa_stream_write(stream_, data + written, n, nullptr, 0, PA_SEEK_RELATIVE) < 0)
            break;
        written += n;
        if (written == bytes) {
            written = 0;
            cut = renderPeriod();
        }
    }
    pa_threaded_mainloop_unlock(loop_);
}
