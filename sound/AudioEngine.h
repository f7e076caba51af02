// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "sound/MidiOp.h"

#include <QObject>
#include <QString>
#include <array>
#include <atomic>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

struct _fluid_hashtable_t;
struct _fluid_synth_t;
struct _fluid_audio_driver_t;

// A decoded feedback sound: interleaved stereo at the engine's sample rate.
struct SoundBuffer {
    std::vector<float> frames; // L R L R ...
    int frameCount() const { return static_cast<int>(frames.size() / 2); }
};

struct EngineConfig {
    QString soundFont;    // empty: search the usual places
    QString audioDriver;  // empty: the best that opens here
    bool offline = false; // no output: the caller renders (tests)
    int sampleRate = 48000;
    int periodSize = 256;
    int periods = 2;
    double idleSeconds = 4.0;   // silence after which the output is stopped
    double retrySeconds = 10.0; // how soon a failed output is tried again
    double stallSeconds = 3.0;  // an output whose callback stops this long has died
    int safetyLatencyMs = 0;    // 0: derived from the buffer size
};

// The one synthesiser and the one audio output of the process. Every MIDI operation
// and every feedback sound is queued here with its time stamp and applied by the
// render callback at its sample position, a fixed safety latency later.
class AudioEngine : public QObject, public MidiBackend {
    Q_OBJECT
  public:
    explicit AudioEngine(EngineConfig config, QObject *parent = nullptr);
    ~AudioEngine() override;
    AudioEngine(const AudioEngine &) = delete;
    AudioEngine &operator=(const AudioEngine &) = delete;

    static AudioEngine *instance();

    void send(const QString &window, const MidiOp &op) override;
    // Plays a decoded sound file mixed into the output. False if it cannot be read.
    bool playSound(const QString &path, TimePoint stamp);

    int sampleRate() const { return config_.sampleRate; }
    int safetyLatencyMs() const { return safetyLatencyMs_; }
    bool soundFontLoaded() const { return fontLoaded_; }
    // Stops the worker and the output, waiting at most `wait`; false if the worker is
    // still held (by a frozen sound server) and the engine must not be destroyed.
    bool shutdown(std::chrono::milliseconds wait);
    // Blocks until the sound font has been loaded or has failed; true if loaded.
    bool waitForSoundFont();
    bool outputRunning() const { return outputRunning_; }
    QString driverName() const;
    QString soundFontPath() const;
    // Why the program is silent, or empty while it can play.
    QString silentReason() const;

    // The sound fonts searched for when none is named.
    static QStringList soundFontCandidates();
    // The audio drivers this FluidSynth offers.
    static QStringList availableDrivers();

    // Offline rendering: time starts at `origin` (stamps at origin sound at the safety
    // latency) and moves on only as frames are rendered.
    struct Stereo {
        std::vector<float> left, right;
    };
    void setOfflineOrigin(TimePoint origin);
    Stereo renderOffline(int frames, int blockSize = 64);
    // The output frame at which an operation stamped t is applied.
    qint64 frameForStamp(TimePoint t) const;

    // Figures of the running output.
    struct Stats {
        qint64 callbacks = 0;
        qint64 lateOps = 0; // ops applied after their due frame
        qint64 gaps = 0;    // callbacks later than the buffer could cover
        double maxCallbackGapMs = 0;
    };
    Stats stats() const;

    // Diagnostics for the benchmarks: the output frame at which each operation was
    // applied, while recording is on (a fixed number of the first operations).
    struct Applied {
        MidiOp op;
        qint64 frame;
    };
    void recordApplied(bool on);
    std::vector<Applied> applied() const;

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
    struct Pending {
        MidiOp op;
        std::shared_ptr<const SoundBuffer> sound; // set for feedback sounds
        qint64 frame = 0;                         // output frame, set when scheduled
    };
    struct Voice {
        std::shared_ptr<const SoundBuffer> sound;
        int position = 0;
    };
    struct SettingsDeleter {
        void operator()(_fluid_hashtable_t *s) const;
    };
    struct SynthDeleter {
        void operator()(_fluid_synth_t *s) const;
    };
    struct DriverDeleter {
        void operator()(_fluid_audio_driver_t *d) const;
    };

    static constexpr int kMidiChannels = 16;
    static constexpr int kChunkFrames = 256;

    // What an output's callback is given: the engine, while that output is the current
    // one. An output let go of may still be stuck in a frozen sound server; when it
    // comes back, its callbacks find `current` false and render nothing.
    struct OutputToken {
        AudioEngine *engine;
        std::atomic<bool> current{true};
        std::atomic<bool> rendering{false};
    };
    static int renderCallback(void *data, int len, int nfx, float *fx[], int nout, float *out[]);
    void render(int len, float *left, float *right);
    void apply(const Pending &p);
    void synthesize(int frames, float *left, float *right);
    qint64 scheduleFrame(const MidiOp &op);
    void workerLoop();
    void loadSoundFont();
    bool openOutput();
    // Stops the output. Deleting it joins its audio thread, which never returns while
    // the sound server is frozen: that is done aside, waiting at most `wait`.
    void closeOutput(std::chrono::milliseconds wait = std::chrono::milliseconds(2000));
    void reportSilent(const QString &reason);
    std::shared_ptr<const SoundBuffer> decode(const QString &path);

    EngineConfig config_;
    int safetyLatencyMs_ = 0;
    std::unique_ptr<_fluid_hashtable_t, SettingsDeleter> settings_;
    std::unique_ptr<_fluid_synth_t, SynthDeleter> synth_;
    std::unique_ptr<_fluid_audio_driver_t, DriverDeleter> driver_;
    OutputToken *token_ = nullptr; // the current output's
    QString driverName_;
    QString fontPath_;

    // Shared between the user-interface thread, the worker and the audio callback.
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::vector<Pending> incoming_;
    bool quit_ = false;
    bool workerDone_ = false;
    bool fontDone_ = false;
    std::atomic<bool> fontLoaded_{false};
    std::atomic<bool> outputRunning_{false};
    std::atomic<bool> wantOutput_{false};
    std::atomic<TimePoint> quietSince_{
        TimePoint{}}; // the output went quiet then; {} while it sounds
    QString silentReason_;
    bool silentReported_ = false;
    TimePoint nextRetry_{};

    // Audio thread only (or the offline caller).
    std::vector<Pending> scheduled_;
    std::vector<Voice> voices_;
    qint64 frames_ = 0;
    bool anchored_ = false;
    TimePoint anchorTime_{};
    qint64 anchorFrame_ = 0;
    quint64 chainPlayback_ = 0; // the last operation scheduled: its playback, stamp, frame
    TimePoint chainStamp_{};
    qint64 chainFrame_ = 0;
    TimePoint lastCallback_{};
    std::atomic<TimePoint> heartbeat_{TimePoint{}}; // the last callback, for the worker
    std::array<float, kMidiChannels> gainLeft_, gainRight_;
    std::vector<float> scratch_ = std::vector<float>(2 * kMidiChannels * kChunkFrames);
    std::atomic<qint64> statCallbacks_{0}, statLate_{0}, statGaps_{0};
    std::atomic<double> statMaxGapMs_{0};
    std::vector<Applied> applied_ = std::vector<Applied>(4096);
    std::atomic<size_t> appliedCount_{0};
    std::atomic<bool> recordApplied_{false};

    std::map<QString, std::shared_ptr<const SoundBuffer>> soundCache_; // UI thread
    std::thread worker_;
};
