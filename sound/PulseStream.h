// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

struct pa_simple;

// A playback stream of our own on the PulseAudio (or PipeWire-Pulse) server, rendered
// on a real-time thread of its own. Unlike the ALSA plugin's stream, it can drop what
// the server holds queued: after "all notes off" the sound stops at the sink within a
// period, not after the whole buffer has played.
class PulseStream {
  public:
    // The audio thread's: fills one period of `len` frames. Returns true when what was
    // queued before this period is better dropped than heard.
    using Render = bool (*)(void *data, int len, float *left, float *right);
    // How often what the server held was dropped, and the longest drop in ms.
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

  private:
    PulseStream(pa_simple *stream, int periodSize, Render render, void *data, Flushes *flushes);
    void run();

    pa_simple *stream_;
    int periodSize_;
    Render render_;
    void *data_;
    Flushes *flushes_;
    std::vector<float> left_, right_, interleaved_;
    std::atomic<bool> quit_{false};
    std::thread thread_;
};
