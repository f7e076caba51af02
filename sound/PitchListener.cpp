// SPDX-License-Identifier: GPL-3.0-or-later
#include "sound/PitchListener.h"

#include <QLoggingCategory>
#include <QMetaObject>
#include <algorithm>
#include <mutex>
#include <thread>
#include <vector>

#ifdef TONVIK_HAVE_PULSE
#include <pulse/error.h>
#include <pulse/introspect.h>
#include <pulse/rtclock.h>
#include <pulse/stream.h>
#include <pulse/subscribe.h>
#include <pulse/thread-mainloop.h>
#include <pulse/timeval.h>
#endif

Q_LOGGING_CATEGORY(lcListen, "tonvik.listen", QtWarningMsg)

// What the threads of a listener post to it, for as long as it is there.
struct PitchListener::Link {
    std::mutex mutex;
    PitchListener *owner = nullptr;
    // Any thread: `f(owner)` on the owner's thread, unless the owner is gone by then.
    template <class F> void post(F f) {
        std::lock_guard lock(mutex);
        if (owner)
            QMetaObject::invokeMethod(
                owner, [o = owner, f = std::move(f)] { f(o); }, Qt::QueuedConnection);
    }
};

#ifdef TONVIK_HAVE_PULSE

namespace {

void signalLoop(void *loop) {
    pa_threaded_mainloop_signal(static_cast<pa_threaded_mainloop *>(loop), 0);
}

// A connection of its own to the sound server, its main loop running; the lock is held
// while the object lives. A server that does not answer within two seconds (frozen) is
// given up on: the user-interface thread that waits for it must go on.
struct Connection {
    pa_threaded_mainloop *loop = pa_threaded_mainloop_new();
    pa_context *context = nullptr;
    pa_time_event *timeout = nullptr;
    bool late = false; // the two seconds are over
    QString error;
    bool locked = false; // by the thread that made it
    bool started = false;

    // Waits for the main loop's signal; false once the time is over.
    bool waitOnce() {
        if (!late)
            pa_threaded_mainloop_wait(loop);
        if (late)
            error = "the sound server does not answer";
        return !late;
    }

    explicit Connection(const char *name) {
        if (!loop) {
            error = "no main loop";
            return;
        }
        pa_mainloop_api *api = pa_threaded_mainloop_get_api(loop);
        context = pa_context_new(api, name);
        pa_context_set_state_callback(
            context, [](pa_context *, void *l) { signalLoop(l); }, loop);
        if (pa_context_connect(context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
            error = pa_strerror(pa_context_errno(context));
            return;
        }
        pa_threaded_mainloop_lock(loop);
        locked = true;
        timeout = pa_context_rttime_new(
            context, pa_rtclock_now() + 2 * PA_USEC_PER_SEC,
            [](pa_mainloop_api *, pa_time_event *, const struct timeval *, void *data) {
                auto *c = static_cast<Connection *>(data);
                c->late = true;
                signalLoop(c->loop);
            },
            this);
        if (pa_threaded_mainloop_start(loop) < 0) {
            error = "the main loop does not start";
            return;
        }
        started = true;
        for (pa_context_state_t st; (st = pa_context_get_state(context)) != PA_CONTEXT_READY;) {
            if (!PA_CONTEXT_IS_GOOD(st)) {
                error = QString("no sound server: %1").arg(pa_strerror(pa_context_errno(context)));
                return;
            }
            if (!waitOnce())
                return;
        }
    }
    ~Connection() {
        if (!loop)
            return;
        if (!locked)
            pa_threaded_mainloop_lock(loop);
        if (timeout)
            pa_threaded_mainloop_get_api(loop)->time_free(timeout);
        if (context) {
            pa_context_disconnect(context);
            pa_context_unref(context);
        }
        pa_threaded_mainloop_unlock(loop);
        if (started)
            pa_threaded_mainloop_stop(loop);
        pa_threaded_mainloop_free(loop);
    }
    bool ok() const { return error.isEmpty(); }
    // Runs an operation to its end (the lock is held).
    void wait(pa_operation *op) {
        if (!op)
            return;
        while (pa_operation_get_state(op) == PA_OPERATION_RUNNING && waitOnce()) {
        }
        if (pa_operation_get_state(op) == PA_OPERATION_RUNNING)
            pa_operation_cancel(op); // its callback, which points here, is not called now
        pa_operation_unref(op);
    }
};

} // namespace

QList<PitchListener::Source> PitchListener::sources() {
    QList<Source> list;
    Connection c("Tonvik sources");
    if (!c.ok())
        return list;
    struct Args {
        QList<Source> *list;
        pa_threaded_mainloop *loop;
    } args{&list, c.loop};
    c.wait(pa_context_get_source_info_list(
        c.context,
        [](pa_context *, const pa_source_info *info, int eol, void *data) {
            auto *a = static_cast<Args *>(data);
            if (eol == 0 && info)
                a->list->append(
                    {QString::fromUtf8(info->name), QString::fromUtf8(info->description)});
            signalLoop(a->loop);
        },
        &args));
    return list;
}

// The record stream and the thread that reads and analyses it.
class PitchListener::Record {
  public:
    Record(std::shared_ptr<Link> link, unsigned generation, NoteDetector::Settings settings,
           OwnSound own, std::chrono::milliseconds tail)
        : link_(std::move(link)), generation_(generation), detector_(settings),
          own_(std::move(own)), tail_(tail), connection_("Tonvik") {}
    ~Record() {
        if (thread_.joinable()) {
            pa_threaded_mainloop_lock(connection_.loop);
            quit_ = true;
            pa_threaded_mainloop_signal(connection_.loop, 0);
            pa_threaded_mainloop_unlock(connection_.loop);
            thread_.join();
            pa_threaded_mainloop_lock(connection_.loop); // as the connection expects
        } else if (unlocked_) {
            pa_threaded_mainloop_lock(connection_.loop);
        }
        if (stream_) {
            pa_stream_disconnect(stream_);
            pa_stream_unref(stream_);
        }
    }

    bool open(const QString &source, QString *error) {
        if (!connection_.ok()) {
            *error = connection_.error;
            return false;
        }
        const QByteArray name = source.toUtf8();
        // The source as it is now: there at all, and muted or not.
        struct Info {
            pa_threaded_mainloop *loop;
            bool found = false, muted = false;
            uint32_t index = 0;
        } info{connection_.loop};
        connection_.wait(pa_context_get_source_info_by_name(
            connection_.context, name.constData(),
            [](pa_context *, const pa_source_info *i, int eol, void *data) {
                auto *in = static_cast<Info *>(data);
                if (eol == 0 && i) {
                    in->found = true;
                    in->muted = i->mute;
                    in->index = i->index;
                }
                signalLoop(in->loop);
            },
            &info));
        if (!connection_.ok()) {
            *error = connection_.error;
            return false;
        }
        if (!info.found) {
            *error = QString("there is no audio input '%1'").arg(source);
            return false;
        }
        index_ = info.index;
        const NoteDetector::Settings &s = detector_.settings();
        const pa_sample_spec format{PA_SAMPLE_FLOAT32NE, uint32_t(s.sampleRate), 1};
        stream_ = pa_stream_new(connection_.context, "Tonvik listening", &format, nullptr);
        if (!stream_) {
            *error = pa_strerror(pa_context_errno(connection_.context));
            return false;
        }
        pa_stream_set_state_callback(
            stream_, [](pa_stream *, void *l) { signalLoop(l); }, connection_.loop);
        pa_stream_set_read_callback(
            stream_, [](pa_stream *, size_t, void *l) { signalLoop(l); }, connection_.loop);
        // A reading's worth at a time.
        pa_buffer_attr attr{};
        attr.maxlength = uint32_t(-1);
        attr.fragsize = uint32_t(s.hop) * sizeof(float);
        const auto flags = pa_stream_flags_t(
            PA_STREAM_ADJUST_LATENCY | PA_STREAM_INTERPOLATE_TIMING | PA_STREAM_AUTO_TIMING_UPDATE);
        if (pa_stream_connect_record(stream_, name.constData(), &attr, flags) < 0) {
            *error = pa_strerror(pa_context_errno(connection_.context));
            return false;
        }
        for (pa_stream_state_t st; (st = pa_stream_get_state(stream_)) != PA_STREAM_READY;) {
            if (!PA_STREAM_IS_GOOD(st)) {
                *error = QString("the audio input '%1' cannot be opened: %2")
                             .arg(source, pa_strerror(pa_context_errno(connection_.context)));
                return false;
            }
            if (!connection_.waitOnce()) {
                *error = connection_.error;
                return false;
            }
        }
        // Muting and unmuting, and the source going away, are heard of as they happen.
        pa_context_set_subscribe_callback(
            connection_.context,
            [](pa_context *, pa_subscription_event_type_t t, uint32_t idx, void *data) {
                auto *r = static_cast<Record *>(data);
                if ((t & PA_SUBSCRIPTION_EVENT_FACILITY_MASK) == PA_SUBSCRIPTION_EVENT_SOURCE &&
                    idx == r->index_)
                    r->sourceChanged((t & PA_SUBSCRIPTION_EVENT_TYPE_MASK) ==
                                     PA_SUBSCRIPTION_EVENT_REMOVE);
            },
            this);
        if (pa_operation *op = pa_context_subscribe(connection_.context,
                                                    PA_SUBSCRIPTION_MASK_SOURCE, nullptr, nullptr))
            pa_operation_unref(op);
        source_ = source;
        if (info.muted)
            say(QString("The audio input '%1' is muted.").arg(source));
        // Any thread may have it from now on; `listen` starts the reading.
        unlocked_ = true;
        pa_threaded_mainloop_unlock(connection_.loop);
        return true;
    }

    // Reads and analyses what the source takes, on a thread of its own: only once the
    // listener has taken this record for its own (one it drops never reads).
    void listen() {
        thread_ = std::thread([this] { run(); });
    }

  private:
    // Main loop thread.
    void sourceChanged(bool removed) {
        if (removed) {
            say(QString("The audio input '%1' is gone.").arg(source_));
            return;
        }
        if (pa_operation *op = pa_context_get_source_info_by_index(
                connection_.context, index_,
                [](pa_context *, const pa_source_info *i, int eol, void *data) {
                    auto *r = static_cast<Record *>(data);
                    if (eol != 0 || !i)
                        return;
                    if (i->mute)
                        r->say(QString("The audio input '%1' is muted.").arg(r->source_));
                    else
                        r->say(QString());
                },
                this))
            pa_operation_unref(op);
    }

    // Any thread: the owner hears of it on its own.
    void say(const QString &text) {
        link_->post([g = generation_, text](PitchListener *o) { o->report(g, text); });
    }

    void run() {
        const NoteDetector::Settings &s = detector_.settings();
        const auto hop = size_t(s.hop);
        std::vector<float> samples;
        std::vector<NoteDetector::Note> notes;
        auto lastReading = SteadyClock::now();
        bool wasDeaf = false;
        double coupling = -120;
        bool gone = false;
        pa_threaded_mainloop_lock(connection_.loop);
        while (!quit_) {
            if (!PA_STREAM_IS_GOOD(pa_stream_get_state(stream_))) {
                if (!gone)
                    say(QString("The audio input '%1' is gone.").arg(source_));
                gone = true;
                pa_threaded_mainloop_wait(connection_.loop);
                continue;
            }
            const void *data = nullptr;
            size_t bytes = 0;
            if (pa_stream_readable_size(stream_) == 0 ||
                pa_stream_peek(stream_, &data, &bytes) < 0 || bytes == 0) {
                pa_threaded_mainloop_wait(connection_.loop);
                continue;
            }
            // When the last of these samples was taken by the source.
            pa_usec_t latency = 0;
            int negative = 0;
            if (pa_stream_get_latency(stream_, &latency, &negative) < 0 || negative)
                latency = 0;
            const TimePoint lastTaken = SteadyClock::now() - std::chrono::microseconds(latency);
            if (data) {
                const auto *f = static_cast<const float *>(data);
                samples.insert(samples.end(), f, f + bytes / sizeof(float));
            } else { // a hole: silence
                samples.insert(samples.end(), bytes / sizeof(float), 0.0f);
            }
            pa_stream_drop(stream_);
            pa_threaded_mainloop_unlock(connection_.loop);

            // Hop by hop, each deaf if our own sound was heard when it was taken.
            const TimePoint deafUntil =
                own_.audibleUntil ? own_.audibleUntil() + tail_ : TimePoint{};
            const double ownDb = own_.levelDb ? own_.levelDb() : -120;
            size_t used = 0;
            for (; samples.size() - used >= hop; used += hop) {
                const auto after = samples.size() - used - hop; // samples taken after this hop
                const TimePoint taken =
                    lastTaken - std::chrono::microseconds(qint64(after) * 1000000 / s.sampleRate);
                const bool deaf = taken < deafUntil;
                // How much louder than our output the input hears it, as last measured.
                if (deaf && !wasDeaf)
                    coupling = -120;
                if (deaf && ownDb > -90)
                    coupling = std::max(coupling, detector_.reading().levelDb - ownDb);
                wasDeaf = deaf;
                detector_.feed(samples.data() + used, hop, notes, deaf,
                               ownDb > -90 ? ownDb + coupling : -120);
            }
            samples.erase(samples.begin(), samples.begin() + qptrdiff(used));
            for (const auto &n : notes) {
                qCDebug(lcListen, "heard key %d %+.0f cents", n.key, n.cents);
                link_->post([g = generation_, n](PitchListener *o) {
                    if (g == o->generation_)
                        emit o->noteHeard(n.key, n.cents);
                });
            }
            notes.clear();
            const auto now = SteadyClock::now();
            if (now - lastReading >= std::chrono::milliseconds(100)) {
                lastReading = now;
                const NoteDetector::Reading r = detector_.reading();
                link_->post([g = generation_, r](PitchListener *o) {
                    if (g == o->generation_)
                        emit o->reading(r.voiced, r.key, r.levelDb);
                });
            }
            pa_threaded_mainloop_lock(connection_.loop);
        }
        pa_threaded_mainloop_unlock(connection_.loop);
    }

    std::shared_ptr<Link> link_;
    const unsigned generation_;
    NoteDetector detector_;
    OwnSound own_;
    std::chrono::milliseconds tail_;
    Connection connection_;
    pa_stream *stream_ = nullptr;
    uint32_t index_ = 0;
    QString source_;
    std::atomic<bool> quit_{false};
    bool unlocked_ = false; // opened: the main loop's lock is no longer this thread's
    std::thread thread_;
};

#else // without PulseAudio there is nothing to listen to

QList<PitchListener::Source> PitchListener::sources() {
    return {};
}

class PitchListener::Record {
  public:
    Record(std::shared_ptr<Link>, unsigned, NoteDetector::Settings, OwnSound,
           std::chrono::milliseconds) {}
    bool open(const QString &, QString *error) {
        *error = "this Tonvik was built without PulseAudio";
        return false;
    }
    void listen() {}
};

#endif

PitchListener::PitchListener(QObject *parent) : QObject(parent), link_(std::make_shared<Link>()) {
    link_->owner = this;
}

PitchListener::~PitchListener() {
    stop();
    std::lock_guard lock(link_->mutex);
    link_->owner = nullptr;
}

void PitchListener::setGate(OwnSound own, std::chrono::milliseconds tail) {
    own_ = std::move(own);
    tail_ = tail;
}

void PitchListener::start(const QString &source) {
    stop();
    source_ = source;
    if (!NoteDetector::available()) {
        const QString error = QString("%1, which finds the notes' pitch, cannot be loaded "
                                      "(install libaubio5)")
                                  .arg(NoteDetector::kLibrary);
        link_->post([g = generation_, error](PitchListener *o) { o->opened(g, nullptr, error); });
        return;
    }
    // Opened on a thread of its own: a server that does not answer holds up nothing
    // but the opening (two seconds at most).
    std::thread([link = link_, g = generation_, source, settings = settings_, own = own_,
                 tail = tail_] {
        auto record = std::make_unique<Record>(link, g, settings, own, tail);
        QString error;
        if (!record->open(source, &error))
            record.reset(); // on the thread that opened it, which holds its lock
        std::shared_ptr<Record> opened(std::move(record));
        link->post([g, opened, error](PitchListener *o) { o->opened(g, opened, error); });
    }).detach();
}

void PitchListener::opened(unsigned generation, std::shared_ptr<Record> record,
                           const QString &error) {
    if (generation != generation_)
        return; // stopped, or another source asked for, meanwhile
    if (!record) {
        qCDebug(lcListen, "cannot listen to %s: %s", qPrintable(source_), qPrintable(error));
        source_.clear();
        emit started(false, error);
        return;
    }
    record->listen();
    record_ = std::move(record);
    emit started(true, QString());
}

void PitchListener::stop() {
    record_.reset();
    ++generation_;
    source_.clear();
    problem_.clear();
}
void PitchListener::report(unsigned generation, const QString &text) {
    // (A source muted when it is opened is said before the opening is.)
    if (text == problem_ || generation != generation_)
        return;
    problem_ = text;
    if (text.isEmpty())
        emit restored();
    else
        emit problem(text);
}
