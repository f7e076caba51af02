// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "sound/PulseStream.h"

#include <QString>
#include <QStringList>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

struct _fluid_hashtable_t;
struct _fluid_audio_driver_t;

// The audio output's life, on a worker thread of its own: it first prepares the sound
// (loads the font), then opens the output when there is something to play, watches its
// callback, lets go of one that stopped answering, tries again later, and stops the
// output after a while of silence. The user-interface thread never waits on the audio
// server.
class AudioOutput {
  public:
    using Clock = std::chrono::steady_clock;

    class Client {
      public:
        virtual ~Client() = default;
        // Worker, once, first. False: the sound cannot be prepared; nothing is opened.
        virtual bool prepare() = 0;
        // Audio thread: one period.
        struct Period {
            bool quiet = false; // everything is quiet after it
            // What was queued before is not heard: everything was stopped, or it was
            // silence and a note begins.
            bool cut = false;
        };
        virtual Period render(int len, float *left, float *right) = 0;
        // Worker, with no output running: it was stopped after silence (`idle`) or let go
        // of. Returns whether something is waiting to be played.
        virtual bool closed(bool idle) = 0;
        // Worker, whenever it wakes (wake(), and ten times a second) and the sound is
        // prepared: work that is kept off the audio thread.
        virtual void work() = 0;
        enum class Event { Opened, OpenFailed, Stalled, Closed };
        // Worker: what happened, for the user-interface thread to hear of.
        virtual void event(Event e) = 0;
    };

    struct Config {
        QString driver; // empty: the first that opens of preferredDrivers()
        int sampleRate = 48000;
        int periodSize = 0; // frames; 0: this driver's own (bufferFor)
        int periods = 0;    // 0: this driver's own
        double idleSeconds = 4.0;
        double retrySeconds = 10.0;
        double stallSeconds = 3.0;
        bool offline = false; // never opened: the caller renders
    };

    AudioOutput(Config config, Client &client, _fluid_hashtable_t *settings);
    ~AudioOutput();
    AudioOutput(const AudioOutput &) = delete;
    AudioOutput &operator=(const AudioOutput &) = delete;

    // Asks for the output to be opened, unless it runs or waits for a retry.
    void want();
    // Wakes the worker for the client's work().
    void wake();
    // Has the audio thread render its next period now, where the output can (a note
    // after silence: that period drops what the output holds).
    void kick();
    // True on an audio thread while it is in the callback (tests look for allocations
    // and locks there).
    static bool inCallback();
    bool running() const { return running_; }
    // True while a failed output waits for its retry time: the program is silent.
    bool waitingForRetry() const;
    QString driverName() const;
    // The period of the output running (or last run), in frames, and how many make its
    // buffer; 0 before it first opens.
    int periodSize() const { return periodSize_; }
    int periods() const { return periods_; }
    // Stops the worker and the output, waiting at most `wait`; false if the worker is
    // held by a frozen sound server.
    bool shutdown(std::chrono::milliseconds wait);

    // The buffer a driver runs with unless told otherwise: as small as played 60 s of
    // dense notes with no underrun, or hardly any, here (`make bench`).
    struct Buffer {
        int periodSize, periods;
    };
    static Buffer bufferFor(const QString &driver);
    static QStringList preferredDrivers();
    static QStringList availableDrivers();

    struct Stats {
        long long callbacks = 0;
        long long gaps = 0; // callbacks later than the buffer could cover
        double maxCallbackGapMs = 0;
        double maxRenderMs = 0; // the longest our rendering of one period took
        long long flushes = 0;  // what the server held was dropped (our PulseAudio stream)
        double maxFlushMs = 0;  // the longest of those drops, on the audio thread
    };
    Stats stats() const;

  private:
    // What a driver's callback is given: the output, while that driver is the current
    // one. A driver let go of may still be stuck in a frozen server; when it comes back,
    // its callbacks find `current` false and render silence.
    struct Token {
        AudioOutput *output;
        std::atomic<bool> current{true};
        std::atomic<bool> rendering{false};
    };
    static int callback(void *data, int len, int nfx, float *fx[], int nout, float *out[]);
    // Our PulseAudio stream's callback (FluidSynth's drivers go through `callback`).
    static bool streamCallback(void *data, int len, float *left, float *right);
    bool render(int len, float *left, float *right);
    void workerLoop();
    bool open();
    // Deleting a driver joins its audio thread, which never returns while the sound
    // server is frozen: that is done aside, waiting at most `wait`.
    void close(std::chrono::milliseconds wait);

    Config config_;
    Client &client_;
    _fluid_hashtable_t *settings_;
    std::atomic<int> periodSize_{0}, periods_{0};

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    bool quit_ = false;
    bool workerDone_ = false;
    bool wanted_ = false;
    bool work_ = false;
    std::atomic<Clock::time_point> nextRetry_{Clock::time_point{}};
    // The output running: one of FluidSynth's drivers, or our own PulseAudio stream.
    _fluid_audio_driver_t *driver_ = nullptr;
    std::unique_ptr<PulseStream> stream_;
    Token *token_ = nullptr;
    QString driverName_;
    std::atomic<bool> running_{false};

    // Written by the audio thread.
    std::atomic<Clock::time_point> heartbeat_{Clock::time_point{}};
    std::atomic<Clock::time_point> quietSince_{Clock::time_point{}}; // {} while it sounds
    Clock::time_point lastCallback_{};
    std::atomic<long long> callbacks_{0}, gaps_{0};
    std::atomic<double> maxGapMs_{0}, maxRenderMs_{0};
    PulseStream::Flushes flushes_; // written by our PulseAudio stream's audio thread

    std::thread worker_;
};
