// SPDX-License-Identifier: GPL-3.0-or-later
#include "sound/AudioOutput.h"
#if defined(TONVIK_HAVE_PULSE)
#include "sound/PulseStream.h"
#endif

#include <QDir>
#include <QFile>
#include <QLoggingCategory>
#include <fluidsynth.h>
#include <future>
#include <sched.h>

Q_DECLARE_LOGGING_CATEGORY(lcAudio)

namespace {
// The PulseAudio client library answers the server from a thread of its own
// ("threaded-ml"), which the audio thread waits on for room in the stream. Left at
// normal priority it is the first to be held up on a busy machine, and the output
// runs dry: it gets the audio thread's real-time class, where the system allows that.
void raiseSoundServerThreads() {
#if defined(Q_OS_LINUX)
    const QDir tasks("/proc/self/task");
    for (const QString &tid : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile comm(tasks.filePath(tid + "/comm"));
        if (!comm.open(QIODevice::ReadOnly) || comm.readAll().trimmed() != "threaded-ml")
            continue;
        sched_param param{};
        param.sched_priority = 59; // just below FluidSynth's audio thread (60)
        if (sched_setscheduler(tid.toInt(), SCHED_FIFO, &param) != 0)
            qCDebug(lcAudio, "the sound server's client thread keeps its priority");
    }
#endif
}
} // namespace

AudioOutput::AudioOutput(Config config, Client &client, fluid_settings_t *settings)
    : config_(std::move(config)), client_(client), settings_(settings) {
    fluid_settings_setstr(settings_, "audio.sample-format", "float");
    wanted_ = !config_.offline; // open it at start: a missing output is said at once
    worker_ = std::thread([this] { workerLoop(); });
}

AudioOutput::~AudioOutput() {
    shutdown(std::chrono::milliseconds::max());
}

QStringList AudioOutput::preferredDrivers() {
    // On Linux our own PulseAudio stream first (PipeWire serves it too): at the same
    // buffer a click reaches the sink 2 ms sooner than through FluidSynth's ALSA driver
    // and the ALSA plugins, and "all notes off" drops what the server holds. Then ALSA's
    // default device, which reaches PulseAudio or PipeWire through the plugins.
#if defined(Q_OS_MACOS)
    return {"coreaudio"};
#elif defined(Q_OS_WIN)
    return {"wasapi", "dsound", "waveout"};
#else
    return {"pulseaudio", "alsa", "pipewire", "oss"};
#endif
}

QStringList AudioOutput::availableDrivers() {
    QStringList names;
    fluid_settings_t *s = new_fluid_settings();
    if (!s)
        return names;
    fluid_settings_foreach_option(
        s, "audio.driver", &names, [](void *data, const char *, const char *option) {
            static_cast<QStringList *>(data)->append(QString::fromUtf8(option));
        });
    delete_fluid_settings(s);
#if defined(TONVIK_HAVE_PULSE)
    if (!names.contains("pulseaudio")) // ours, whatever FluidSynth was built with
        names.append("pulseaudio");
#endif
    return names;
}

AudioOutput::Buffer AudioOutput::bufferFor(const QString &) {
    // Three 128-frame periods (8 ms), through our PulseAudio stream and ALSA alike. On
    // the 2-core virtual machine `make bench` runs on, 8 ms ran dry as often as a bare
    // stream fed a sine with nothing else to do: its CPUs stop for 9 ms and more.
    // 64-frame periods ran dry about twice as often and, now that a note after silence
    // drops the queued silence, gain only about 1 ms there. A machine of one's own
    // stops less; `--latency-ms` is there for either.
    return {128, 3};
}

bool AudioOutput::waitingForRetry() const {
    // Asked before every operation: no lock.
    return !running_ && !config_.offline && Clock::now() < nextRetry_.load();
}

QString AudioOutput::driverName() const {
    std::lock_guard lock(mutex_);
    return driverName_;
}

void AudioOutput::wake() {
    std::lock_guard lock(mutex_);
    work_ = true;
    wake_.notify_all();
}

void AudioOutput::kick() {
#if defined(TONVIK_HAVE_PULSE)
    std::lock_guard lock(mutex_);
    if (stream_)
        stream_->kick();
#endif
}

namespace {
thread_local bool t_inCallback = false;
}

bool AudioOutput::inCallback() {
    return t_inCallback;
}

void AudioOutput::want() {
    if (config_.offline || running_)
        return;
    std::lock_guard lock(mutex_);
    wanted_ = true;
    wake_.notify_all();
}

bool AudioOutput::shutdown(std::chrono::milliseconds wait) {
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
    close(wait == std::chrono::milliseconds::max() ? std::chrono::milliseconds(2000) : wait);
    return true;
}

void AudioOutput::workerLoop() {
    const bool prepared = client_.prepare();
    std::unique_lock lock(mutex_);
    struct Done {
        AudioOutput *o;
        ~Done() {
            o->workerDone_ = true;
            o->wake_.notify_all();
        }
    } done{this};
    const auto seconds = [](double s) {
        return std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(s));
    };
    while (!quit_) {
        if (!work_)
            wake_.wait_for(lock, std::chrono::milliseconds(100));
        work_ = false;
        if (quit_ || config_.offline || !prepared)
            continue;
        lock.unlock();
        client_.work();
        lock.lock();
        const auto now = Clock::now();
        if (!running_ && wanted_ && now >= nextRetry_.load()) {
            wanted_ = false;
            lock.unlock();
            const bool ok = open();
            if (!ok)
                client_.closed(false); // what was asked for meanwhile is not kept
            client_.event(ok ? Client::Event::Opened : Client::Event::OpenFailed);
            lock.lock();
            if (!ok)
                nextRetry_ = now + seconds(config_.retrySeconds);
        } else if (running_ && now - heartbeat_.load() > seconds(config_.stallSeconds)) {
            // The callback has stopped: the sound server went away (or froze).
            qCDebug(lcAudio, "the audio output \"%s\" stopped answering", qPrintable(driverName_));
            lock.unlock();
            close(std::chrono::milliseconds(0));
            client_.closed(false);
            client_.event(Client::Event::Stalled);
            lock.lock();
            nextRetry_ = now + seconds(config_.retrySeconds);
        } else if (running_ && quietSince_.load() != Clock::time_point{} &&
                   now - quietSince_.load() > seconds(config_.idleSeconds)) {
            lock.unlock();
            close(std::chrono::milliseconds(2000));
            const bool waiting = client_.closed(true);
            lock.lock();
            if (waiting) // whatever arrived meanwhile plays on a new output
                wanted_ = true;
        }
    }
}

bool AudioOutput::open() {
    const QStringList available = availableDrivers();
    const QStringList candidates =
        config_.driver.isEmpty() ? preferredDrivers() : QStringList{config_.driver};
    for (const QString &name : candidates) {
        if (!available.contains(name))
            continue;
        const Buffer own = bufferFor(name);
        const int period = config_.periodSize > 0 ? config_.periodSize : own.periodSize;
        const int periods = config_.periods > 0 ? config_.periods : own.periods;
        fluid_settings_setstr(settings_, "audio.driver", name.toUtf8().constData());
        fluid_settings_setint(settings_, "audio.period-size", period);
        fluid_settings_setint(settings_, "audio.periods", periods);
        quietSince_ = Clock::time_point{};
        lastCallback_ = {};
        heartbeat_ = Clock::now(); // the first callback may take a while
        auto *token = new Token{this};
        fluid_audio_driver_t *driver = nullptr;
        std::unique_ptr<PulseStream> stream;
#if defined(TONVIK_HAVE_PULSE)
        if (name == "pulseaudio")
            stream = PulseStream::open(config_.sampleRate, period, periods,
                                       &AudioOutput::streamCallback, token, &flushes_);
        else
#endif
            driver = new_fluid_audio_driver2(settings_, &AudioOutput::callback, token);
        if (driver || stream) {
            std::lock_guard lock(mutex_);
            driver_ = driver;
            stream_ = std::move(stream);
            token_ = token;
            driverName_ = name;
            periodSize_ = period;
            periods_ = periods;
            running_ = true;
            raiseSoundServerThreads();
            qCDebug(lcAudio, "audio output \"%s\" opened, %d-frame periods x %d", qPrintable(name),
                    period, periods);
            return true;
        }
        delete token;
        qCDebug(lcAudio, "audio driver \"%s\" did not open", qPrintable(name));
    }
    return false;
}

void AudioOutput::close(std::chrono::milliseconds wait) {
    fluid_audio_driver_t *driver = nullptr;
    std::shared_ptr<PulseStream> stream;
    Token *token = nullptr;
    {
        std::lock_guard lock(mutex_);
        driver = std::exchange(driver_, nullptr);
        stream = std::move(stream_);
        token = std::exchange(token_, nullptr);
    }
    if (!driver && !stream)
        return;
    // From here on its callbacks render silence; wait out one that is under way.
    token->current = false;
    while (token->rendering)
        std::this_thread::yield();
    running_ = false;

    auto done = std::make_shared<std::promise<void>>();
    std::future<void> deleted = done->get_future();
    std::thread([driver, stream = std::move(stream), token, done]() mutable {
        if (driver)
            delete_fluid_audio_driver(driver);
        stream.reset();
        delete token;
        done->set_value();
    }).detach();
    if (deleted.wait_for(wait) != std::future_status::ready)
        qCDebug(lcAudio, "the audio output is left to close by itself");
    qCDebug(lcAudio, "audio output stopped");
    client_.event(Client::Event::Closed);
}

int AudioOutput::callback(void *data, int len, int, float *[], int nout, float *out[]) {
    if (nout < 2)
        return FLUID_FAILED;
    streamCallback(data, len, out[0], out[1]);
    return FLUID_OK;
}

bool AudioOutput::streamCallback(void *data, int len, float *left, float *right) {
    auto *token = static_cast<Token *>(data);
    token->rendering = true;
    t_inCallback = true;
    bool cut = false;
    if (token->current) {
        cut = token->output->render(len, left, right);
    } else {
        std::fill(left, left + len, 0.f);
        std::fill(right, right + len, 0.f);
    }
    t_inCallback = false;
    token->rendering = false;
    return cut;
}

bool AudioOutput::render(int len, float *left, float *right) {
    const auto now = Clock::now();
    ++callbacks_;
    if (lastCallback_ != Clock::time_point{}) {
        const double gapMs = std::chrono::duration<double, std::milli>(now - lastCallback_).count();
        const double bufferMs = 1000.0 * periodSize_ * periods_ / config_.sampleRate;
        if (gapMs > bufferMs)
            ++gaps_;
        if (gapMs > maxGapMs_)
            maxGapMs_ = gapMs;
    }
    lastCallback_ = now;
    heartbeat_ = now;
    const auto [quiet, cut] = client_.render(len, left, right);
    const double renderMs = std::chrono::duration<double, std::milli>(Clock::now() - now).count();
    if (renderMs > maxRenderMs_)
        maxRenderMs_ = renderMs;
    // Silence is measured on the steady clock: a server may take seconds of audio at once.
    if (!quiet)
        quietSince_ = Clock::time_point{};
    else if (quietSince_.load() == Clock::time_point{})
        quietSince_ = now;
    return cut;
}

AudioOutput::Stats AudioOutput::stats() const {
    return {callbacks_, gaps_, maxGapMs_, maxRenderMs_, flushes_.count, flushes_.longestMs};
}
