// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <cstddef>
#include <memory>
#include <thread>
#include <vector>

struct pa_threaded_mainloop;
struct pa_context;
struct pa_stream;
struct pa_io_event;

// A playback stream of our own on the PulseAudio (or PipeWire-Pulse) server, rendered
// on a real-time thread of its own. Unlike the ALSA plugin's stream, it can drop what
// the server holds queued: after "all notes off", or before a note that follows
// silence, the period that starts it is heard next, not after the whole buffer. The
// drop does not wait for the server: it is sent ahead of the period, and the server
// takes both in order.
class PulseStream {
  public:
    // The audio thread's: fills one period of `len` frames. Returns true when what was
    // queued before this period is better dropped than heard.
    using Render = bool (*)(void *data, int len, float *left, float *right);
    // How often what the server held was dropped, and the longest a drop held the audio
    // thread, in ms.
    struct Flushes {
        std::atomic<long long> count{0};
        std::atomic<double> longestMs{0};
    };

    // Opens the stream on the default sink, or returns nullptr when there is no server.
    static std::unique_ptr<PulseStream> open(int sampleRate, int periodSize, int periods,
                                             Render render, void *data, Flushes *flushes = nullptr);
    // Stops the thread and closes the stream. Blocks while the server is frozen.
    ~PulseStream();
    PulseStream(const PulseStream &) = delete;
    PulseStream &operator=(const PulseStream &) = delete;

    // Any thread, without waiting: the next period is rendered now instead of when the
    // server asks for it (a note after silence, whose period drops what is queued).
    void kick();

  private:
    PulseStream(int periodSize, Render render, void *data, Flushes *flushes);
    bool connect(int sampleRate, int periods);
    void run();
    // With the main loop's lock: until the server takes more (or a kick, if `kickable`);
    // the room, or size_t(-1) when the stream is gone.
    size_t waitForRoom(bool kickable);
    // With the main loop's lock, which it lets go of meanwhile: the next period.
    bool renderPeriod();

    pa_threaded_mainloop *loop_ = nullptr;
    pa_context *context_ = nullptr;
    pa_stream *stream_ = nullptr;
    pa_io_event *kickEvent_ = nullptr;
    int kickFd_ = -1;
    std::atomic<bool> kicked_{false};
    int periodSize_;
    Render render_;
    void *data_;
    Flushes *flushes_;
    std::vector<float> left_, right_, interleaved_;
    std::atomic<bool> quit_{false};
    std::thread thread_;
};
