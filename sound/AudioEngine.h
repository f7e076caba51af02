// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "sound/AudioOutput.h"
#include "sound/FeedbackMixer.h"
#include "sound/MidiOp.h"
#include "sound/Scheduler.h"
#include "sound/SpscQueue.h"
#include "sound/Synth.h"

#include <QObject>
#include <QString>
#include <array>
#include <atomic>
#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>

struct EngineConfig {
    QString soundFont;    // empty: search the usual places
    QString audioDriver;  // empty: the best that opens here
    bool offline = false; // no output: the caller renders (tests)
    int sampleRate = 48000;
    int periodSize = 0;         // frames; 0: the driver's own, or from latencyMs
    int periods = 0;            // 0: the driver's own (two with latencyMs)
    int latencyMs = 0;          // the output buffer asked for; 0: the driver's own
    double idleSeconds = 4.0;   // silence after which the output is stopped
    double retrySeconds = 10.0; // how soon a failed output is tried again
    double stallSeconds = 3.0;  // an output whose callback stops this long has died
};

// The one synthesiser and the one audio output of the process. Every MIDI operation
// and every feedback sound goes to the scheduler with its time stamp and is applied by
// the render callback at its output frame: at once, or, for the later notes of a
// playback, exactly as far from its first note as their stamps say.
class AudioEngine : public QObject,
                    public MidiBackend,
                    private AudioOutput::Client,
                    private FrameRenderer {
    Q_OBJECT
  public:
    explicit AudioEngine(EngineConfig config, QObject *parent = nullptr);
    ~AudioEngine() override;
    AudioEngine(const AudioEngine &) = delete;
    AudioEngine &operator=(const AudioEngine &) = delete;

    static AudioEngine *instance();

    void send(const QString &window, const MidiOp &op) override;
    // How early the later notes of a playback are handed over.
    std::chrono::milliseconds lead() const override;
    // Plays a decoded sound file mixed into the output. False if it cannot be read.
    bool playSound(const QString &path, TimePoint stamp);

    int sampleRate() const { return config_.sampleRate; }
    bool soundFontLoaded() const { return fontLoaded_; }
    // Stops the worker and the output, waiting at most `wait`; false if the worker is
    // still held (by a frozen sound server) and the engine must not be destroyed.
    bool shutdown(std::chrono::milliseconds wait);
    // Blocks until the sound font has been loaded or has failed; true if loaded.
    bool waitForSoundFont();
    bool outputRunning() const { return output_.running(); }
    QString driverName() const { return output_.driverName(); }
    // The output's period in frames (0 before it first opens).
    int periodFrames() const { return output_.periodSize(); }
    QString soundFontPath() const;
    // Why the program is silent, or empty while it can play.
    QString silentReason() const;
    // The output as it runs: driver, period, buffer, sound font.
    QString soundInfo() const;

    // Until when what the output has rendered so far is heard at the sink (louder than
    // -30 dBFS): the listener takes nothing heard before this for an answer. Any thread.
    TimePoint audibleUntil() const { return audibleUntil_.load(std::memory_order_relaxed); }
    // The peak level of the period rendered last, in dBFS (-120: silence). Any thread.
    double outputDb() const { return outputDb_.load(std::memory_order_relaxed); }

    // The sound fonts searched for when none is named.
    static QStringList soundFontCandidates();
    // The audio drivers this FluidSynth offers.
    static QStringList availableDrivers() { return AudioOutput::availableDrivers(); }

  signals:
    // Emitted once when the program turns out to be silent, with the reason (again
    // only after the sound has come back in between).
    void silent(const QString &reason);
    // The output plays again after a silence was reported.
    void soundRestored();
    // The sound font has been loaded (or has failed to load).
    void soundFontReady(bool loaded);
    void outputStateChanged(bool running);

  private:
    friend class EngineProbe;

    // AudioOutput::Client
    bool prepare() override;
    Period render(int len, float *left, float *right) override;
    bool closed(bool idle) override;
    void work() override;
    void event(Event e) override;
    // FrameRenderer
    void apply(const Scheduled &s) override;
    void renderFrames(int frames, float *left, float *right) override;

    void reportSilent(const QString &reason);
    void post(const MidiOp &op, const SoundBuffer *sound = nullptr, bool pinFirst = false);
    // Worker (offline: the renderer): pins the presets asked for and opens their program
    // changes' gates; lets go of those no channel has and no voice plays any more.
    void pinPresets();
    void repinPresets(); // after the font was loaded again
    // Rendering thread: the old presets whose voices have all ended are handed back.
    void retirePresets();
    static AudioOutput::Config outputConfig(const EngineConfig &c);

    EngineConfig config_;
    Synth synth_;
    FeedbackMixer mixer_;
    Scheduler scheduler_;

    mutable std::mutex mutex_;
    std::condition_variable fontCondition_;
    std::atomic<bool> fontDone_{false};
    std::atomic<bool> fontLoaded_{false};
    QString fontPath_;
    QString silentReason_;
    bool silentReported_ = false;
    std::atomic<bool> used_{false};                  // notes played since the font was last loaded
    std::atomic<bool> settingsLost_{false};          // programs and pans dropped with the output
    qint64 quietFrames_ = 0;                         // offline: frames rendered in silence
    qint64 silentFrames_ = 0;                        // rendering thread: frames under -80 dBFS
    std::atomic<bool> silent_{false};                // so long that a note drops the queue
    bool struck_ = false;                            // rendering thread: a note began this period
    bool stopped_ = false;                           // rendering thread: all notes off this period
    std::atomic<TimePoint> lastStruck_{TimePoint{}}; // when a note last began
    std::atomic<TimePoint> audibleUntil_{TimePoint{}};
    std::atomic<double> outputDb_{-120};

    // User-interface thread: each channel's program and pan as last sent (-1: none), sent
    // again when they were lost with an output.
    std::array<int, Synth::kChannels> program_, pan_;

    // One thread at a time in FluidSynth's functions: the worker waits for its turn (a
    // few microseconds), the audio thread never does: when the worker is in, it applies
    // nothing in that period, and what was due is applied in the next.
    class Turn {
      public:
        bool audioEnter() {
            audio_.store(true);
            if (!worker_.load())
                return true;
            audio_.store(false);
            return false;
        }
        void audioLeave() { audio_.store(false); }
        void workerEnter() {
            worker_.store(true);
            while (audio_.load())
                std::this_thread::yield();
        }
        void workerLeave() { worker_.store(false); }

      private:
        std::atomic<bool> audio_{false}, worker_{false};
    } turn_;

    // A program change's preset is pinned on the worker before the change reaches the
    // audio thread (it waits behind its gate); the preset it replaced is let go of once
    // that channel's voices begun before the change have ended.
    struct PresetRequest {
        quint32 gate;
        int channel, program;
    };
    SpscQueue<PresetRequest, 256> presetRequests_;    // user-interface thread to worker
    SpscQueue<quint32, 256> retired_;                 // audio thread to worker: gates
    quint32 gates_ = 0;                               // user-interface thread
    std::array<int, Synth::kChannels> channelPreset_; // worker: as last asked for
    std::map<int, int> presetUses_;                   // worker: channels and retiring
    std::map<quint32, int> replaced_;                 // worker: gate to the preset before
    struct Retiring {
        quint32 gate;
        int channel;
        long long from, upTo; // its voices: numbered after `from`, up to `upTo`
    };
    std::array<Retiring, 64> retiring_{}; // audio thread
    int retiringCount_ = 0;
    std::array<long long, Synth::kChannels> changeVoice_; // audio thread: at the last change
    std::atomic<double> longestProgramChangeMs_{0};

    AudioOutput output_; // last: its worker uses everything above
};
