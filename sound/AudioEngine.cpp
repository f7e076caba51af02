// SPDX-License-Identifier: GPL-3.0-or-later
// Kept as one file on purpose: the engine's three sides (the worker's, the
// user-interface thread's and the audio thread's, marked below) share one object's
// state and its hand-over rules, which are read best side by side.
#include "sound/AudioEngine.h"
#include "sound/EngineProbe.h"
#include "sound/SystemLog.h"

#include <QFileInfo>
#include <QLoggingCategory>
#include <QStandardPaths>
#include <algorithm>
#include <cmath>
#include <fluidsynth.h>

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

// FluidSynth logs from the start, so its log function is set before anything is made.
// A level that is not shown is not even formatted: some lines come from the audio
// thread (a preset selected, a preset missing from the font).
void routeFluidLogs() {
    const auto shown = [](bool on) { return on ? fluidLog : nullptr; };
    fluid_set_log_function(FLUID_PANIC, fluidLog, nullptr);
    fluid_set_log_function(FLUID_ERR, shown(lcFluid().isWarningEnabled()), nullptr);
    fluid_set_log_function(FLUID_WARN, shown(lcFluid().isWarningEnabled()), nullptr);
    fluid_set_log_function(FLUID_INFO, shown(lcFluid().isInfoEnabled()), nullptr);
    fluid_set_log_function(FLUID_DBG, shown(lcFluid().isDebugEnabled()), nullptr);
    routeSystemLogs();
}

} // namespace

AudioOutput::Config AudioEngine::outputConfig(const EngineConfig &c) {
    AudioOutput::Config o;
    o.driver = c.audioDriver;
    o.sampleRate = c.sampleRate;
    o.periods = c.periods;
    o.periodSize = c.periodSize;
    if (o.periodSize <= 0 && c.latencyMs > 0) {
        // The buffer asked for, in periods of at most 128 frames (32-frame steps): the
        // output is refilled a period at a time, so the smaller they are the more of the
        // buffer is queued when the machine stops for a while. At most 16 periods.
        const int frames = c.latencyMs * c.sampleRate / 1000;
        if (c.periods > 0) {
            o.periodSize = std::max(32, frames / c.periods / 32 * 32);
        } else {
            o.periodSize = frames >= 256 ? 128 : std::max(32, frames / 2 / 32 * 32);
            if (frames / o.periodSize > 16)
                o.periodSize = (frames / 16 + 31) / 32 * 32;
            o.periods = std::max(2, frames / o.periodSize);
        }
    }
    o.idleSeconds = c.idleSeconds;
    o.retrySeconds = c.retrySeconds;
    o.stallSeconds = c.stallSeconds;
    o.offline = c.offline;
    return o;
}

AudioEngine::AudioEngine(EngineConfig config, QObject *parent)
    : QObject(parent), config_(std::move(config)), synth_((routeFluidLogs(), config_.sampleRate)),
      mixer_(config_.sampleRate), scheduler_(config_.sampleRate),
      output_(outputConfig(config_), *this, synth_.settings()) {
    program_.fill(-1);
    pan_.fill(-1);
    channelPreset_.fill(-1);
    changeVoice_.fill(-1);
    if (config_.offline)
        scheduler_.setClock(SteadyClock::now());
    g_instance = this;
}

AudioEngine::~AudioEngine() {
    shutdown(std::chrono::milliseconds::max());
    if (g_instance == this)
        g_instance = nullptr;
    if (MidiBackend::current() == this)
        MidiBackend::setCurrent(nullptr);
}

bool AudioEngine::shutdown(std::chrono::milliseconds wait) {
    return output_.shutdown(wait);
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
    fontCondition_.wait(lock, [this] { return fontDone_.load(); });
    return fontLoaded_;
}

std::chrono::milliseconds AudioEngine::lead() const {
    if (config_.offline)
        return {};
    // Two whole buffers and a margin for the user-interface thread's wake-up: a callback
    // may come that much ahead of its mean time.
    const AudioOutput::Config asked = outputConfig(config_);
    const AudioOutput::Buffer own = AudioOutput::bufferFor(
        config_.audioDriver.isEmpty() ? AudioOutput::preferredDrivers().value(0)
                                      : config_.audioDriver);
    const int period = output_.periodSize() > 0 ? output_.periodSize()
                       : asked.periodSize > 0   ? asked.periodSize
                                                : own.periodSize;
    const int periods = output_.periods() > 0 ? output_.periods()
                        : asked.periods > 0   ? asked.periods
                                              : own.periods;
    return std::chrono::milliseconds(2 * period * periods * 1000 / config_.sampleRate + 10);
}

QString AudioEngine::soundInfo() const {
    const int period = output_.periodSize();
    const int periods = output_.periods();
    const QString driver = driverName();
    return QString("audio driver %1, %2-frame periods x %3 at %4 Hz (%5 ms buffer), notes of a "
                   "playback handed over %6 ms early; sound font %7")
        .arg(driver.isEmpty() ? QString("none") : driver)
        .arg(period)
        .arg(periods)
        .arg(config_.sampleRate)
        .arg(1000.0 * period * periods / config_.sampleRate, 0, 'f', 1)
        .arg(lead().count())
        .arg(soundFontPath().isEmpty() ? QString("none") : soundFontPath());
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

// ---- the worker's side ----

bool AudioEngine::prepare() {
    QString path = config_.soundFont;
    if (path.isEmpty()) {
        const QStringList candidates = soundFontCandidates();
        auto found = std::find_if(candidates.begin(), candidates.end(),
                                  [](const QString &c) { return QFileInfo::exists(c); });
        if (found != candidates.end())
            path = *found;
    }
    const bool ok = !path.isEmpty() && synth_.loadFont(path);

    std::lock_guard lock(mutex_);
    fontDone_ = true;
    fontLoaded_ = ok;
    fontCondition_.notify_all();
    QMetaObject::invokeMethod(
        this, [this, ok] { emit soundFontReady(ok); }, Qt::QueuedConnection);
    if (ok) {
        fontPath_ = path;
    } else {
        scheduler_.discard();
        // What the user can do depends on whether the font was theirs or the system's.
        reportSilent(path.isEmpty()
                         ? tr("No sound font found: install the package fluid-soundfont-gm or "
                              "start Tonvik with --soundfont FILE.")
                     : config_.soundFont.isEmpty()
                         ? tr("The sound font %1 could not be loaded: reinstall the package "
                              "it comes from, or start Tonvik with --soundfont FILE.")
                               .arg(path)
                         : tr("The sound font %1 could not be loaded: it is not a SoundFont "
                              "(.sf2) that can be read. Give --soundfont another file, or leave "
                              "it out to use the system's font.")
                               .arg(path));
    }
    return ok;
}

bool AudioEngine::closed(bool idle) {
    // No output runs now: what the audio thread owns is ours for the moment.
    mixer_.clear();
    if (idle && SteadyClock::now() - lastStruck_.load() < std::chrono::seconds(1)) {
        // A note began (in its instrument's quiet lead-in) as the output was being
        // stopped: it plays on, on a new output.
        return true;
    }
    if (idle) {
        // Dynamic sample loading keeps some samples after a preset has sounded on two
        // channels at once; loading the font again (tens of ms) lets go of them. What
        // still rang was below hearing.
        if (used_.exchange(false)) {
            synth_.silenceAndReloadFont();
            repinPresets();
        } else
            synth_.apply({.kind = MidiOp::AllNotesOff});
    } else {
        synth_.apply({.kind = MidiOp::AllNotesOff});
        scheduler_.discard();
        settingsLost_ = true;
    }
    return !scheduler_.idle();
}

void AudioEngine::event(Event e) {
    std::lock_guard lock(mutex_);
    switch (e) {
    case Event::Opened:
        silentReason_.clear();
        if (silentReported_) {
            silentReported_ = false;
            QMetaObject::invokeMethod(
                this, [this] { emit soundRestored(); }, Qt::QueuedConnection);
        }
        QMetaObject::invokeMethod(
            this, [this] { emit outputStateChanged(true); }, Qt::QueuedConnection);
        break;
    case Event::OpenFailed:
        reportSilent(config_.audioDriver.isEmpty()
                         ? tr("No audio output could be opened (no sound server or sound card): "
                              "Tonvik is silent and will try again later.")
                         : tr("The audio driver \"%1\" could not be opened: Tonvik is silent and "
                              "will try again later.")
                               .arg(config_.audioDriver));
        break;
    case Event::Stalled:
        reportSilent(tr("The audio output stopped (the sound server went away): Tonvik is "
                        "silent and will try again later."));
        break;
    case Event::Closed:
        QMetaObject::invokeMethod(
            this, [this] { emit outputStateChanged(false); }, Qt::QueuedConnection);
        break;
    }
}

// ---- the user-interface thread's side ----

void AudioEngine::post(const MidiOp &op, const SoundBuffer *sound, bool pinFirst) {
    if (settingsLost_.exchange(false)) {
        // The output that had them was let go of: the channels sound as they were set.
        for (int c = 0; c < Synth::kChannels; ++c) {
            if (program_[size_t(c)] >= 0)
                post({.kind = MidiOp::ProgramChange,
                      .channel = c + 1,
                      .value = program_[size_t(c)],
                      .stamp = op.stamp},
                     nullptr, true);
            if (pan_[size_t(c)] >= 0)
                scheduler_.post({.kind = MidiOp::Pan,
                                 .channel = c + 1,
                                 .value = pan_[size_t(c)],
                                 .stamp = op.stamp});
        }
    }
    quint32 gate = 0;
    if (pinFirst) {
        // The preset is pinned first, off the audio thread. (A change to the program the
        // channel has already needs nothing loaded and is not held.)
        if (presetRequests_.push({gates_ + 1, op.channel - 1, op.value})) {
            gate = ++gates_;
            output_.wake();
        }
    }
    scheduler_.post(op, sound, gate);
    output_.want();
    // After silence a note need not wait for the server to ask for the next period.
    if ((sound || op.kind == MidiOp::NoteOn) && silent_)
        output_.kick();
}

void AudioEngine::send(const QString &, const MidiOp &op) {
    if (op.kind == MidiOp::Close)
        return;
    if (op.kind == MidiOp::NoteOn && program_[size_t(op.channel - 1)] < 0) {
        // A channel plays the General MIDI default (the drum kit on the tenth) until it
        // is told otherwise; that too is a program change, pinned first.
        MidiOp program = op;
        program.kind = MidiOp::ProgramChange;
        program.value = 0;
        send(QString(), program);
    }
    const bool sameProgram =
        op.kind == MidiOp::ProgramChange && program_[size_t(op.channel - 1)] == op.value;
    if (op.kind == MidiOp::ProgramChange)
        program_[size_t(op.channel - 1)] = op.value;
    if (op.kind == MidiOp::Pan)
        pan_[size_t(op.channel - 1)] = op.value;
    if (fontDone_ && !fontLoaded_)
        return;
    if (output_.waitingForRetry()) {
        settingsLost_ = true; // silent: the channels are set again when it plays
        return;
    }
    if (op.kind == MidiOp::Open)
        output_.want();
    else
        post(op, nullptr, op.kind == MidiOp::ProgramChange && !sameProgram);
}

bool AudioEngine::playSound(const QString &path, TimePoint stamp) {
    const SoundBuffer *sound = mixer_.decode(path);
    if (!sound)
        return false;
    if (!output_.waitingForRetry()) // else silent for now: the file itself is fine
        post({.stamp = stamp}, sound);
    return true;
}

// ---- the audio thread's side ----

AudioOutput::Client::Period AudioEngine::render(int len, float *left, float *right) {
    if (!config_.offline)
        scheduler_.setClock(SteadyClock::now());
    else
        pinPresets(); // offline the renderer is the worker too
    struck_ = false;
    stopped_ = false;
    const bool turn = turn_.audioEnter();
    scheduler_.render(len, left, right, *this, !turn);
    if (turn) {
        retirePresets();
        turn_.audioLeave();
    }
    // Quiet: nothing to come, nothing begun and nothing to hear. A note held without a
    // note-off rings on in the synthesiser for half a minute far below hearing; under
    // -80 dBFS is silence.
    constexpr float kSilence = 1e-4f;
    bool silent = mixer_.idle();
    for (int i = 0; silent && i < len; ++i)
        silent = std::fabs(left[i]) < kSilence && std::fabs(right[i]) < kSilence;
    const bool quiet = silent && !struck_ && scheduler_.idle();
    if (!config_.offline) {
        // The period is heard once the output's buffer ahead of it has played.
        constexpr float kAudible = 0.0316f; // -30 dBFS
        float peak = 0;
        for (int i = 0; i < len; ++i)
            peak = std::max({peak, std::fabs(left[i]), std::fabs(right[i])});
        outputDb_.store(20 * std::log10(std::max(peak, 1e-6f)), std::memory_order_relaxed);
        // A note struck is heard however softly it is played: a listener is deaf to it
        // (and to the rest of it, which it has heard begin).
        if (peak >= kAudible || struck_) {
            const int frames = len + output_.periodSize() * output_.periods();
            audibleUntil_.store(
                SteadyClock::now() +
                    std::chrono::microseconds(qint64(frames) * 1000000 / config_.sampleRate),
                std::memory_order_relaxed);
        }
    }
    // A note (or a feedback sound) from silence: what the output holds queued is silence
    // too, and the note is better heard now than after it. Twice the buffer: the sound
    // server renders a little ahead of what it plays.
    const bool fromSilence =
        struck_ && silentFrames_ >= 2 * qint64(output_.periodSize()) * output_.periods();
    silentFrames_ = silent ? silentFrames_ + len : 0;
    silent_ = silentFrames_ >= 2 * qint64(output_.periodSize()) * output_.periods();
    if (config_.offline) {
        // Rendering offline is the output: it idles by the frames rendered.
        quietFrames_ = quiet ? quietFrames_ + len : 0;
        if (quietFrames_ >= config_.idleSeconds * config_.sampleRate && used_.exchange(false)) {
            synth_.silenceAndReloadFont();
            repinPresets();
        }
    }
    // Everything was stopped and no feedback sound is under way: what the output still
    // holds of the sound before is better not heard.
    return {.quiet = quiet, .cut = (stopped_ && mixer_.idle()) || fromSilence};
}

void AudioEngine::apply(const Scheduled &s) {
    if (s.sound || s.op.kind == MidiOp::NoteOn) {
        struck_ = true;
        if (!config_.offline)
            lastStruck_ = SteadyClock::now();
    }
    if (s.sound) {
        mixer_.start(s.sound);
        return;
    }
    if (s.op.kind == MidiOp::NoteOn)
        used_ = true;
    if (s.op.kind == MidiOp::AllNotesOff)
        stopped_ = true;
    if (s.op.kind != MidiOp::ProgramChange) {
        synth_.apply(s.op);
        return;
    }
    // The preset is pinned: selecting it loads nothing.
    const auto t0 = SteadyClock::now();
    synth_.apply(s.op);
    // The old preset's voices: those begun on the channel since its last change.
    const auto channel = size_t(s.op.channel - 1);
    const long long from = changeVoice_[channel];
    changeVoice_[channel] = std::max(from, synth_.newestVoice(int(channel)));
    if (s.gate != 0 && retiringCount_ < int(retiring_.size())) {
        // The old instrument's notes die away at once: its samples, kept whole while
        // they sound, are let go of on the worker as soon as they are silent.
        synth_.fadeOut(int(channel), from, changeVoice_[channel]);
        retiring_[size_t(retiringCount_++)] = {s.gate, int(channel), from, changeVoice_[channel]};
    }
    const double ms = std::chrono::duration<double, std::milli>(SteadyClock::now() - t0).count();
    if (ms > longestProgramChangeMs_)
        longestProgramChangeMs_ = ms;
}

void AudioEngine::retirePresets() {
    for (int i = 0; i < retiringCount_;) {
        const Retiring &r = retiring_[size_t(i)];
        if ((r.upTo > r.from && synth_.sounds(r.channel, r.from, r.upTo)) ||
            !retired_.push(r.gate)) {
            ++i;
            continue;
        }
        retiring_[size_t(i)] = retiring_[size_t(--retiringCount_)];
    }
}

void AudioEngine::work() {
    pinPresets();
}

void AudioEngine::pinPresets() {
    for (PresetRequest r; presetRequests_.pop(r);) {
        turn_.workerEnter();
        const int preset = synth_.presetFor(r.channel, r.program);
        if (preset >= 0 && presetUses_[preset]++ == 0)
            synth_.pin(preset);
        turn_.workerLeave();
        replaced_[r.gate] = channelPreset_[size_t(r.channel)];
        channelPreset_[size_t(r.channel)] = preset;
        scheduler_.open(r.gate);
    }
    for (quint32 gate; retired_.pop(gate);) {
        const auto old = replaced_.find(gate);
        if (old == replaced_.end())
            continue;
        const auto uses = presetUses_.find(old->second);
        if (uses != presetUses_.end() && --uses->second == 0) {
            turn_.workerEnter();
            synth_.unpin(uses->first);
            turn_.workerLeave();
            presetUses_.erase(uses);
        }
        replaced_.erase(old);
    }
}

void AudioEngine::repinPresets() {
    // The font loaded again has no preset pinned; no voice plays: the changes on their
    // way retire at once.
    for (const auto &[preset, uses] : presetUses_)
        synth_.pin(preset);
}

void AudioEngine::renderFrames(int frames, float *left, float *right) {
    synth_.render(frames, left, right);
    mixer_.mix(frames, left, right);
}
