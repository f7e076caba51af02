// SPDX-License-Identifier: GPL-3.0-or-later
#include "sound/AudioEngine.h"
#include "sound/SystemLog.h"

#include <QFileInfo>
#include <QLoggingCategory>
#include <QStandardPaths>
#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <fluidsynth.h>
#include <future>
#include <limits>
#include <numbers>
#include <sndfile.h>
#include <thread>

// FluidSynth's own messages; warnings are shown with QT_LOGGING_RULES="tonvik.fluidsynth=true".
Q_LOGGING_CATEGORY(lcFluid, "tonvik.fluidsynth", QtCriticalMsg)
Q_LOGGING_CATEGORY(lcAudio, "tonvik.audio", QtWarningMsg)

namespace {

AudioEngine *g_instance = nullptr;

void fluidLog(int level, const char *message, void *) {
    switch (level) {
    case FLUID_PANIC:
        qCCritical(lcFluid, "%s", message);
        break;
    case FLUID_ERR:
    case FLUID_WARN:
        qCWarning(lcFluid, "%s", message);
        break;
    case FLUID_INFO:
        qCInfo(lcFluid, "%s", message);
        break;
    default:
        qCDebug(lcFluid, "%s", message);
        break;
    }
}

// The drivers tried, best first, when none is named. On Linux FluidSynth's ALSA driver
// on the "default" device reaches PulseAudio or PipeWire through the ALSA plugins with
// the lowest latency; the native PulseAudio driver needs large buffers to run cleanly.
QStringList preferredDrivers() {
#if defined(Q_OS_MACOS)
    return {"coreaudio"};
#elif defined(Q_OS_WIN)
    return {"wasapi", "dsound", "waveout"};
#else
    return {"alsa", "pulseaudio", "pipewire", "oss"};
#endif
}

constexpr float kFeedbackGain = 0.8f;

// Equal-power balance with unity gain in the centre: 0 left only, 64 both, 127 right only.
std::pair<float, float> balanceGains(int pan) {
    const double t = pan <= 64 ? pan / 128.0 : 0.5 + (pan - 64) / 126.0;
    const double theta = t * std::numbers::pi / 2;
    return {float(std::min(1.0, std::sqrt(2.0) * std::cos(theta))),
            float(std::min(1.0, std::sqrt(2.0) * std::sin(theta)))};
}

} // namespace

void AudioEngine::SettingsDeleter::operator()(fluid_settings_t *s) const {
    delete_fluid_settings(s);
}
void AudioEngine::SynthDeleter::operator()(fluid_synth_t *s) const {
    delete_fluid_synth(s);
}
void AudioEngine::DriverDeleter::operator()(fluid_audio_driver_t *d) const {
    delete_fluid_audio_driver(d);
}

AudioEngine::AudioEngine(EngineConfig config, QObject *parent)
    : QObject(parent), config_(std::move(config)) {
    gainLeft_.fill(1.f);
    gainRight_.fill(1.f);
    for (int level : {FLUID_PANIC, FLUID_ERR, FLUID_WARN, FLUID_INFO, FLUID_DBG})
        fluid_set_log_function(level, fluidLog, nullptr);
    routeSystemLogs();

    settings_.reset(new_fluid_settings());
    if (!settings_)
        qFatal("FluidSynth could not create its settings");
    fluid_settings_t *s = settings_.get();
    fluid_settings_setnum(s, "synth.sample-rate", config_.sampleRate);
    // No reverb or chorus tail: "Stop noise!" must leave the output silent at once.
    fluid_settings_setint(s, "synth.reverb.active", 0);
    fluid_settings_setint(s, "synth.chorus.active", 0);
    fluid_settings_setint(s, "synth.dynamic-sample-loading", 1);
    // Each MIDI channel renders to its own stereo pair, so that pan can be applied as a
    // true balance: CC10 cannot move an instrument made of stereo samples fully aside.
    fluid_settings_setint(s, "synth.audio-channels", kMidiChannels);
    fluid_settings_setint(s, "synth.audio-groups", kMidiChannels);
    fluid_settings_setnum(s, "synth.gain", 0.5);
    fluid_settings_setint(s, "audio.period-size", config_.periodSize);
    fluid_settings_setint(s, "audio.periods", config_.periods);
    fluid_settings_setstr(s, "audio.sample-format", "float");
    fluid_settings_setint(s, "audio.pulseaudio.adjust-latency", 0);

    synth_.reset(new_fluid_synth(s));
    if (!synth_)
        qFatal("FluidSynth could not create its synthesiser");

    const int bufferMs = 1000 * config_.periodSize * config_.periods / config_.sampleRate;
    safetyLatencyMs_ =
        config_.safetyLatencyMs > 0 ? config_.safetyLatencyMs : std::max(20, 2 * bufferMs + 5);

    if (config_.offline)
        setOfflineOrigin(SteadyClock::now());
    else
        wantOutput_ = true; // open it at start: the first note is then quick, and a
                            // missing output is reported while the splash is up
    g_instance = this;
    worker_ = std::thread([this] { workerLoop(); });
}

AudioEngine::~AudioEngine() {
    shutdown(std::chrono::milliseconds::max());
    if (g_instance == this)
        g_instance = nullptr;
    if (MidiBackend::current() == this)
        MidiBackend::setCurrent(nullptr);
}

bool AudioEngine::shutdown(std::chrono::milliseconds wait) {
    {
        std::unique_lock lock(mutex_);
        quit_ = true;
        wake_.notify_all();
        const auto done = [this] { return workerDone_; };
        if (wait == std::chrono::milliseconds::max())
            wake_.wait(lock, done);
        else if (!wake_.wait_for(lock, wait, done))
            return false;
    }
    if (worker_.joinable())
        worker_.join();
    closeOutput(wait == std::chrono::milliseconds::max() ? std::chrono::milliseconds(2000) : wait);
    return true;
}

AudioEngine *AudioEngine::instance() {
    return g_instance;
}

QStringList AudioEngine::soundFontCandidates() {
    const QStringList names = {"default-GM.sf2", "FluidR3_GM.sf2", "TimGM6mb.sf2"};
    QStringList dirs = {"/usr/share/sounds/sf2"};
    for (const QString &d : QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation))
        dirs << d + "/sounds/sf2";
    dirs.removeDuplicates();
    QStringList out;
    for (const QString &name : names)
        for (const QString &dir : dirs)
            out << dir + "/" + name;
    return out;
}

QStringList AudioEngine::availableDrivers() {
    std::unique_ptr<fluid_settings_t, SettingsDeleter> s(new_fluid_settings());
    QStringList names;
    if (!s)
        return names;
    fluid_settings_foreach_option(
        s.get(), "audio.driver", &names, [](void *data, const char *, const char *option) {
            static_cast<QStringList *>(data)->append(QString::fromUtf8(option));
        });
    return names;
}

QString AudioEngine::driverName() const {
    std::lock_guard lock(mutex_);
    return driverName_;
}

QString AudioEngine::soundFontPath() const {
    std::lock_guard lock(mutex_);
    return fontPath_;
}

QString AudioEngine::silentReason() const {
    std::lock_guard lock(mutex_);
    return silentReason_;
}

bool AudioEngine::waitForSoundFont() {
    std::unique_lock lock(mutex_);
    wake_.wait(lock, [this] { return fontDone_; });
    return fontLoaded_;
}

void AudioEngine::reportSilent(const QString &reason) {
    // Called with mutex_ held.
    silentReason_ = reason;
    if (silentReported_)
        return;
    silentReported_ = true;
    QMetaObject::invokeMethod(
        this, [this, reason] { emit silent(reason); }, Qt::QueuedConnection);
}

void AudioEngine::loadSoundFont() {
    QString path = config_.soundFont;
    if (path.isEmpty()) {
        for (const QString &candidate : soundFontCandidates()) {
            if (QFileInfo::exists(candidate)) {
                path = candidate;
                break;
            }
        }
    }
    bool ok = false;
    if (!path.isEmpty())
        ok = fluid_synth_sfload(synth_.get(), QFile::encodeName(path).constData(), 1) !=
             FLUID_FAILED;

    std::lock_guard lock(mutex_);
    fontDone_ = true;
    fontLoaded_ = ok;
    QMetaObject::invokeMethod(
        this, [this, ok] { emit soundFontReady(ok); }, Qt::QueuedConnection);
    if (ok) {
        fontPath_ = path;
    } else {
        incoming_.clear();
        reportSilent(path.isEmpty()
                         ? tr("No sound font found: install the package fluid-soundfont-gm or "
                              "start Tonvik with --soundfont FILE.")
                         : tr("The sound font %1 could not be loaded: start Tonvik with "
                              "--soundfont FILE.")
                               .arg(path));
    }
    wake_.notify_all();
}

void AudioEngine::workerLoop() {
    loadSoundFont();
    std::unique_lock lock(mutex_);
    struct Done {
        AudioEngine *e;
        ~Done() {
            e->workerDone_ = true;
            e->wake_.notify_all();
        }
    } done{this};
    while (!quit_) {
        wake_.wait_for(lock, std::chrono::milliseconds(200));
        if (quit_ || config_.offline || !fontLoaded_)
            continue;
        const auto now = SteadyClock::now();
        if (!outputRunning_ && wantOutput_ && now >= nextRetry_) {
            lock.unlock();
            const bool ok = openOutput();
            lock.lock();
            if (ok) {
                silentReason_.clear();
                if (silentReported_) {
                    silentReported_ = false;
                    QMetaObject::invokeMethod(
                        this, [this] { emit soundRestored(); }, Qt::QueuedConnection);
                }
            } else {
                nextRetry_ = now + std::chrono::milliseconds(qint64(config_.retrySeconds * 1000));
                incoming_.clear();
                reportSilent(
                    config_.audioDriver.isEmpty()
                        ? tr("No audio output could be opened (no sound server or sound card): "
                             "Tonvik is silent and will try again later.")
                        : tr("The audio driver \"%1\" could not be opened: Tonvik is silent and "
                             "will try again later.")
                              .arg(config_.audioDriver));
            }
            wantOutput_ = false;
        } else if (outputRunning_ &&
                   now - heartbeat_.load() > std::chrono::duration<double>(config_.stallSeconds)) {
            // The output's callback has stopped: its sound server went away (or froze).
            // Let it go, say so, and open a new one for the next note.
            qCDebug(lcAudio, "the audio output \"%s\" stopped answering", qPrintable(driverName_));
            lock.unlock();
            closeOutput(std::chrono::milliseconds(0));
            lock.lock();
            nextRetry_ = now + std::chrono::milliseconds(qint64(config_.retrySeconds * 1000));
            incoming_.clear();
            reportSilent(tr("The audio output stopped (the sound server went away): Tonvik is "
                            "silent and will try again later."));
        } else if (outputRunning_ && incoming_.empty() && quietSince_.load() != TimePoint{} &&
                   now - quietSince_.load() > std::chrono::duration<double>(config_.idleSeconds)) {
            lock.unlock();
            closeOutput();
            lock.lock();
            // Whatever arrived meanwhile, or was still scheduled, is played on a new output.
            if (!incoming_.empty() || !scheduled_.empty())
                wantOutput_ = true;
        }
    }
}

bool AudioEngine::openOutput() {
    const QStringList available = availableDrivers();
    const QStringList candidates =
        config_.audioDriver.isEmpty() ? preferredDrivers() : QStringList{config_.audioDriver};
    for (const QString &name : candidates) {
        if (!available.contains(name))
            continue;
        fluid_settings_setstr(settings_.get(), "audio.driver", name.toUtf8().constData());
        anchored_ = false;
        quietSince_ = TimePoint{};
        lastCallback_ = {};
        heartbeat_ = SteadyClock::now(); // the first callback may take a while
        auto *token = new OutputToken{this};
        fluid_audio_driver_t *driver =
            new_fluid_audio_driver2(settings_.get(), &AudioEngine::renderCallback, token);
        if (driver) {
            std::lock_guard lock(mutex_);
            driver_.reset(driver);
            token_ = token;
            driverName_ = name;
            outputRunning_ = true;
            qCDebug(lcAudio, "audio output \"%s\" opened", qPrintable(name));
            QMetaObject::invokeMethod(
                this, [this] { emit outputStateChanged(true); }, Qt::QueuedConnection);
            return true;
        }
        delete token;
        qCDebug(lcAudio, "audio driver \"%s\" did not open", qPrintable(name));
    }
    return false;
}

void AudioEngine::closeOutput(std::chrono::milliseconds wait) {
    std::unique_ptr<fluid_audio_driver_t, DriverDeleter> driver;
    OutputToken *token = nullptr;
    {
        std::lock_guard lock(mutex_);
        driver = std::move(driver_);
        token = std::exchange(token_, nullptr);
    }
    if (!driver)
        return;
    // From here on its callbacks render nothing; wait out one that is under way.
    token->current = false;
    while (token->rendering)
        std::this_thread::yield();
    outputRunning_ = false;
    voices_.clear();

    auto done = std::make_shared<std::promise<void>>();
    std::future<void> deleted = done->get_future();
    std::thread([d = driver.release(), token, done] {
        delete_fluid_audio_driver(d);
        delete token;
        done->set_value();
    }).detach();
    if (deleted.wait_for(wait) != std::future_status::ready)
        qCDebug(lcAudio, "the audio output is left to close by itself");
    qCDebug(lcAudio, "audio output stopped");
    QMetaObject::invokeMethod(
        this, [this] { emit outputStateChanged(false); }, Qt::QueuedConnection);
}

void AudioEngine::send(const QString &, const MidiOp &op) {
    if (op.kind == MidiOp::Close)
        return;
    std::lock_guard lock(mutex_);
    const bool fontMissing = fontDone_ && !fontLoaded_;
    const bool outputFailed =
        !config_.offline && !outputRunning_ && SteadyClock::now() < nextRetry_;
    if (fontMissing || outputFailed) {
        // Silent: keep the channel settings so that the sound is right once output returns.
        if (fontLoaded_ && !outputRunning_ &&
            (op.kind == MidiOp::ProgramChange || op.kind == MidiOp::Pan))
            apply({op, nullptr});
        return;
    }
    if (op.kind != MidiOp::Open)
        incoming_.push_back({op, nullptr});
    if (!config_.offline && !outputRunning_) {
        wantOutput_ = true;
        wake_.notify_all();
    }
}

std::shared_ptr<const SoundBuffer> AudioEngine::decode(const QString &path) {
    auto it = soundCache_.find(path);
    if (it != soundCache_.end())
        return it->second;
    SF_INFO info{};
    SNDFILE *file = sf_open(QFile::encodeName(path).constData(), SFM_READ, &info);
    if (!file)
        return nullptr;
    std::vector<float> raw(size_t(info.frames) * size_t(info.channels));
    const sf_count_t got = sf_readf_float(file, raw.data(), info.frames);
    sf_close(file);
    if (got <= 0 || info.channels < 1)
        return nullptr;

    auto buffer = std::make_shared<SoundBuffer>();
    // Linear resampling to the engine's rate; the feedback sounds are short and simple.
    const double step = double(info.samplerate) / config_.sampleRate;
    const auto outFrames = qint64(double(got) / step);
    buffer->frames.resize(size_t(outFrames) * 2);
    auto sample = [&](qint64 frame, int channel) {
        frame = std::min<qint64>(frame, got - 1);
        return raw[size_t(frame) * info.channels + std::min(channel, info.channels - 1)];
    };
    for (qint64 i = 0; i < outFrames; ++i) {
        const double x = i * step;
        const auto i0 = qint64(x);
        const float f = float(x - double(i0));
        for (int c = 0; c < 2; ++c)
            buffer->frames[size_t(i) * 2 + c] = sample(i0, c) * (1 - f) + sample(i0 + 1, c) * f;
    }
    soundCache_[path] = buffer;
    return buffer;
}

bool AudioEngine::playSound(const QString &path, TimePoint stamp) {
    auto sound = decode(path);
    if (!sound)
        return false;
    std::lock_guard lock(mutex_);
    if (!config_.offline && !outputRunning_ && SteadyClock::now() < nextRetry_)
        return true; // silent for now: the file itself is fine
    MidiOp op;
    op.stamp = stamp;
    incoming_.push_back({op, std::move(sound)});
    if (!config_.offline && !outputRunning_) {
        wantOutput_ = true;
        wake_.notify_all();
    }
    return true;
}

void AudioEngine::setOfflineOrigin(TimePoint origin) {
    anchorTime_ = origin;
    anchorFrame_ = frames_;
    anchored_ = true;
}

qint64 AudioEngine::frameForStamp(TimePoint t) const {
    const double seconds =
        std::chrono::duration<double>(t - anchorTime_).count() + safetyLatencyMs_ / 1000.0;
    return anchorFrame_ + qint64(std::llround(seconds * config_.sampleRate));
}

qint64 AudioEngine::scheduleFrame(const MidiOp &op) {
    // The operations of one playback (a question, a comparison) are placed from its
    // first by the differences of their stamps, so the spacing of a question is exact
    // even if the time line is drawn again or the output stalls in the middle of it.
    // Nothing is placed in the past: what waited (for the output to open, or while the
    // server held it) sounds now, and the rest of its playback keeps its spacing. Nor
    // is anything placed before an operation sent earlier.
    qint64 frame = frameForStamp(op.stamp);
    if (op.playback != 0 && op.playback == chainPlayback_)
        frame = chainFrame_ +
                qint64(std::llround(std::chrono::duration<double>(op.stamp - chainStamp_).count() *
                                    config_.sampleRate));
    frame = std::max({frame, frames_, chainFrame_});
    chainPlayback_ = op.playback;
    chainStamp_ = op.stamp;
    chainFrame_ = frame;
    return frame;
}

AudioEngine::Stereo AudioEngine::renderOffline(int frames, int blockSize) {
    waitForSoundFont();
    Stereo out;
    out.left.assign(size_t(frames), 0.f);
    out.right.assign(size_t(frames), 0.f);
    for (int pos = 0; pos < frames; pos += blockSize) {
        const int n = std::min(blockSize, frames - pos);
        render(n, out.left.data() + pos, out.right.data() + pos);
    }
    return out;
}

int AudioEngine::renderCallback(void *data, int len, int, float *[], int nout, float *out[]) {
    if (nout < 2)
        return FLUID_FAILED;
    auto *token = static_cast<OutputToken *>(data);
    token->rendering = true;
    if (token->current) {
        token->engine->render(len, out[0], out[1]);
    } else {
        std::fill(out[0], out[0] + len, 0.f);
        std::fill(out[1], out[1] + len, 0.f);
    }
    token->rendering = false;
    return FLUID_OK;
}

void AudioEngine::apply(const Pending &p) {
    fluid_synth_t *synth = synth_.get();
    if (p.sound) {
        voices_.push_back({p.sound, 0});
        return;
    }
    const MidiOp &op = p.op;
    const int ch = op.channel - 1;
    switch (op.kind) {
    case MidiOp::NoteOn:
        fluid_synth_noteon(synth, ch, op.note, op.value);
        break;
    case MidiOp::NoteOff:
        fluid_synth_noteoff(synth, ch, op.value);
        break;
    case MidiOp::ProgramChange:
        fluid_synth_program_change(synth, ch, op.value);
        break;
    case MidiOp::Pan:
        std::tie(gainLeft_[size_t(ch)], gainRight_[size_t(ch)]) = balanceGains(op.value);
        break;
    case MidiOp::AllNotesOff:
        for (int c = 0; c < 16; ++c) {
            fluid_synth_all_notes_off(synth, c);
            fluid_synth_all_sounds_off(synth, c);
        }
        break;
    default:
        break;
    }
}

void AudioEngine::render(int len, float *left, float *right) {
    if (!config_.offline) {
        const auto now = SteadyClock::now();
        ++statCallbacks_;
        if (lastCallback_ != TimePoint{}) {
            const double gapMs =
                std::chrono::duration<double, std::milli>(now - lastCallback_).count();
            const double bufferMs =
                1000.0 * config_.periodSize * config_.periods / config_.sampleRate;
            if (gapMs > bufferMs)
                ++statGaps_;
            if (gapMs > statMaxGapMs_)
                statMaxGapMs_ = gapMs;
        }
        lastCallback_ = now;
        heartbeat_ = now;
        // The line from time to frame is drawn at the first callback of the output, and
        // again when it has drifted from the output (a stall, a server that held the
        // stream) while nothing is being played.
        const qint64 ahead =
            frames_ - frameForStamp(now - std::chrono::milliseconds(safetyLatencyMs_));
        const qint64 bound = qint64(safetyLatencyMs_) * config_.sampleRate / 1000;
        const bool drifted = ahead < -bound / 2 || ahead > bound;
        const bool idle = scheduled_.empty();
        if (!anchored_ || (drifted && idle)) {
            anchorTime_ = now;
            anchorFrame_ = frames_;
            anchored_ = true;
        }
    }

    {
        std::unique_lock lock(mutex_, std::try_to_lock);
        if (lock.owns_lock() && !incoming_.empty()) {
            for (Pending &p : incoming_) {
                if (!p.sound && p.op.kind == MidiOp::AllNotesOff) {
                    // "Stop noise!" does not wait out the safety latency: it silences
                    // from the next frame its stamp allows, and notes asked for before
                    // it that have not started yet are dropped.
                    const qint64 latency = qint64(safetyLatencyMs_) * config_.sampleRate / 1000;
                    p.frame = std::max(frameForStamp(p.op.stamp) - latency, frames_);
                    std::erase_if(scheduled_, [&](const Pending &q) {
                        return !q.sound && q.frame > p.frame && q.op.stamp <= p.op.stamp;
                    });
                    chainFrame_ = std::min(chainFrame_, p.frame);
                } else {
                    p.frame = scheduleFrame(p.op);
                }
                auto at = std::upper_bound(scheduled_.begin(), scheduled_.end(), p.frame,
                                           [](qint64 f, const Pending &q) { return f < q.frame; });
                scheduled_.insert(at, std::move(p));
            }
            incoming_.clear();
        }
    }

    int pos = 0;
    while (pos < len) {
        int end = len;
        while (!scheduled_.empty()) {
            const qint64 due = scheduled_.front().frame - frames_;
            if (due > 0) {
                end = int(std::min<qint64>(len, pos + due));
                break;
            }
            if (due < -64)
                ++statLate_;
            if (recordApplied_ && !scheduled_.front().sound) {
                const size_t n = appliedCount_;
                if (n < applied_.size()) {
                    applied_[n] = {scheduled_.front().op, frames_};
                    appliedCount_ = n + 1;
                }
            }
            apply(scheduled_.front());
            scheduled_.erase(scheduled_.begin());
        }
        const int n = end - pos;
        synthesize(n, left + pos, right + pos);
        for (auto v = voices_.begin(); v != voices_.end();) {
            const int count = std::min(n, v->sound->frameCount() - v->position);
            const float *src = v->sound->frames.data() + size_t(v->position) * 2;
            for (int i = 0; i < count; ++i) {
                left[pos + i] += kFeedbackGain * src[2 * i];
                right[pos + i] += kFeedbackGain * src[2 * i + 1];
            }
            v->position += count;
            v = v->position >= v->sound->frameCount() ? voices_.erase(v) : v + 1;
        }
        pos = end;
        frames_ += n;
    }

    const bool quiet = scheduled_.empty() && voices_.empty() &&
                       fluid_synth_get_active_voice_count(synth_.get()) == 0;
    // Silence is measured on the steady clock: a server may take seconds of audio at once.
    if (!quiet)
        quietSince_ = TimePoint{};
    else if (quietSince_.load() == TimePoint{})
        quietSince_ = config_.offline ? TimePoint{} : SteadyClock::now();
}

void AudioEngine::synthesize(int frames, float *left, float *right) {
    float *outs[2 * kMidiChannels];
    for (int done = 0; done < frames;) {
        const int n = std::min(frames - done, kChunkFrames);
        std::fill(scratch_.begin(), scratch_.end(), 0.f);
        for (int i = 0; i < 2 * kMidiChannels; ++i)
            outs[i] = scratch_.data() + size_t(i) * kChunkFrames;
        fluid_synth_process(synth_.get(), n, 0, nullptr, 2 * kMidiChannels, outs);
        for (size_t c = 0; c < size_t(kMidiChannels); ++c) {
            const float gl = gainLeft_[c], gr = gainRight_[c];
            const float *l = outs[2 * c], *r = outs[2 * c + 1];
            for (int i = 0; i < n; ++i) {
                left[done + i] += gl * l[i];
                right[done + i] += gr * r[i];
            }
        }
        done += n;
    }
}

void AudioEngine::recordApplied(bool on) {
    if (on)
        appliedCount_ = 0;
    recordApplied_ = on;
}

std::vector<AudioEngine::Applied> AudioEngine::applied() const {
    return {applied_.begin(), applied_.begin() + qint64(appliedCount_.load())};
}

AudioEngine::Stats AudioEngine::stats() const {
    Stats s;
    s.callbacks = statCallbacks_;
    s.lateOps = statLate_;
    s.gaps = statGaps_;
    s.maxCallbackGapMs = statMaxGapMs_;
    return s;
}
