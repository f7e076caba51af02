// SPDX-License-Identifier: GPL-3.0-or-later
#include "sound/MidiPorts.h"

#include "sound/SystemLog.h"

#include <QLoggingCategory>
#include <QMetaObject>
#include <RtMidi.h>
#include <chrono>
#include <iostream>
#include <sstream>

Q_LOGGING_CATEGORY(lcPorts, "tonvik.midiports", QtWarningMsg)

namespace {

constexpr int kNoteOffVelocity = 0;
constexpr int kPanController = 10;
constexpr int kAllSoundOff = 120;
constexpr int kAllNotesOff = 123;

std::uint8_t status(int kind, int channel) {
    return static_cast<std::uint8_t>(kind | ((channel - 1) & 0x0f));
}
std::uint8_t data(int value) {
    return static_cast<std::uint8_t>(value & 0x7f);
}

// RtMidi reports through exceptions and, for warnings, standard error; both become
// log lines here, and the callers say plainly what failed.
void rtMidiLog(RtMidiError::Type type, const std::string &text, void *) {
    if (type == RtMidiError::WARNING || type == RtMidiError::DEBUG_WARNING)
        qCDebug(lcPorts, "%s", text.c_str());
    else
        qCWarning(lcPorts, "%s", text.c_str());
}

const char *kClientName = "Tonvik";

// Until its error callback is set, a client prints its complaints (no sequencer, no JACK
// server) to std::cerr; those go to the log as well.
template <typename Rt> std::unique_ptr<Rt> makeClient(RtMidi::Api api) {
    static std::mutex cerrMutex;
    routeSystemLogs();
    std::lock_guard lock(cerrMutex);
    std::ostringstream said;
    std::streambuf *cerr = std::cerr.rdbuf(said.rdbuf());
    std::unique_ptr<Rt> client;
    try {
        client = std::make_unique<Rt>(api, kClientName);
        client->setErrorCallback(rtMidiLog, nullptr);
    } catch (const RtMidiError &e) {
        qCDebug(lcPorts, "%s", e.what());
        client.reset();
    }
    std::cerr.rdbuf(cerr);
    if (const QString text = QString::fromStdString(said.str()).simplified(); !text.isEmpty())
        qCDebug(lcPorts, "%s", qPrintable(text));
    return client;
}

std::vector<RtMidi::Api> apis() {
    std::vector<RtMidi::Api> all;
    RtMidi::getCompiledApi(all);
    std::erase(all, RtMidi::RTMIDI_DUMMY);
    return all;
}

template <typename Rt> std::vector<QString> portNames(Rt &client) {
    std::vector<QString> names;
    const unsigned count = client.getPortCount();
    for (unsigned i = 0; i < count; ++i) {
        const std::string name = client.getPortName(i);
        if (!name.empty())
            names.push_back(QString::fromStdString(name));
    }
    return names;
}

template <typename Rt> std::vector<MidiPort> listPorts() {
    std::vector<MidiPort> ports;
    for (RtMidi::Api api : apis()) {
        auto client = makeClient<Rt>(api);
        if (!client)
            continue;
        for (const QString &name : portNames(*client))
            ports.push_back({QString::fromStdString(RtMidi::getApiName(api)), name});
    }
    return ports;
}

// Opens a client of the port's MIDI system connected to the port.
template <typename Rt> std::unique_ptr<Rt> openPort(const MidiPort &port, QString *error) {
    auto client = makeClient<Rt>(RtMidi::getCompiledApiByName(port.api.toStdString()));
    if (!client) {
        *error = QString("the %1 MIDI system cannot be reached").arg(port.api);
        return nullptr;
    }
    const std::vector<QString> names = portNames(*client);
    for (unsigned i = 0; i < names.size(); ++i) {
        if (names[i] != port.name)
            continue;
        try {
            client->openPort(i, "Tonvik");
        } catch (const RtMidiError &e) {
            qCDebug(lcPorts, "%s", e.what());
        }
        if (client->isPortOpen())
            return client;
        break;
    }
    *error = QString("the MIDI port \"%1\" cannot be opened").arg(port.label());
    return nullptr;
}

} // namespace

std::vector<MidiMessage> midiMessages(const MidiOp &op) {
    switch (op.kind) {
    case MidiOp::NoteOn:
        return {{status(0x90, op.channel), data(op.note), data(op.value)}};
    case MidiOp::NoteOff:
        return {{status(0x80, op.channel), data(op.value), data(kNoteOffVelocity)}};
    case MidiOp::ProgramChange:
        return {{status(0xc0, op.channel), data(op.value)}};
    case MidiOp::Pan:
        return {{status(0xb0, op.channel), data(kPanController), data(op.value)}};
    case MidiOp::AllNotesOff: {
        std::vector<MidiMessage> messages;
        for (int channel = 1; channel <= 16; ++channel) {
            messages.push_back({status(0xb0, channel), data(kAllNotesOff), 0});
            messages.push_back({status(0xb0, channel), data(kAllSoundOff), 0});
        }
        return messages;
    }
    case MidiOp::Open:
    case MidiOp::Close:
        break;
    }
    return {};
}

std::vector<MidiPort> listMidiPorts(MidiPort::Direction direction) {
    return direction == MidiPort::Output ? listPorts<RtMidiOut>() : listPorts<RtMidiIn>();
}

std::optional<MidiPort> findMidiPort(const std::vector<MidiPort> &ports, const QString &wanted,
                                     QString *error) {
    for (const MidiPort &port : ports)
        if (port.name == wanted || port.label() == wanted || port.api + ':' + port.name == wanted)
            return port;
    std::vector<MidiPort> matches;
    for (const MidiPort &port : ports)
        if (port.label().contains(wanted, Qt::CaseInsensitive))
            matches.push_back(port);
    if (matches.size() == 1)
        return matches.front();

    QStringList names;
    for (const MidiPort &port : matches.empty() ? ports : matches)
        names << "\"" + port.label() + "\"";
    if (matches.empty())
        *error = QString("no MIDI port is called \"%1\" (%2)")
                     .arg(wanted, names.isEmpty() ? QString("there are none")
                                                  : "there are " + names.join(", "));
    else
        *error = QString("\"%1\" could be any of %2; give more of the name")
                     .arg(wanted, names.join(", "));
    return std::nullopt;
}

QString midiPortListing() {
    QString text;
    auto section = [&text](const char *title, const std::vector<MidiPort> &ports) {
        text += title;
        if (ports.empty())
            text += "  (none)\n";
        for (const MidiPort &port : ports)
            text += "  " + port.label() + "\n";
    };
    section("MIDI outputs (--midi-out PORT):\n", listMidiPorts(MidiPort::Output));
    section("MIDI inputs (--midi-in PORT):\n", listMidiPorts(MidiPort::Input));
    return text;
}

// --- watching a port ---

MidiPortWatch::MidiPortWatch(MidiPort port, MidiPort::Direction direction, QObject *parent)
    : QObject(parent), port_(std::move(port)), direction_(direction), thread_([this] { loop(); }) {}

MidiPortWatch::~MidiPortWatch() {
    {
        std::lock_guard lock(mutex_);
        quit_ = true;
    }
    wake_.notify_all();
    thread_.join();
}

void MidiPortWatch::loop() {
    // A client of our own: MIDI system handles are not to be shared between threads.
    const RtMidi::Api api = RtMidi::getCompiledApiByName(port_.api.toStdString());
    std::unique_ptr<RtMidiOut> outputs;
    std::unique_ptr<RtMidiIn> inputs;
    std::unique_lock lock(mutex_);
    while (!wake_.wait_for(lock, std::chrono::milliseconds(500), [this] { return quit_; })) {
        std::vector<QString> names;
        if (direction_ == MidiPort::Output) {
            if (!outputs)
                outputs = makeClient<RtMidiOut>(api);
            if (outputs)
                names = portNames(*outputs);
        } else {
            if (!inputs)
                inputs = makeClient<RtMidiIn>(api);
            if (inputs)
                names = portNames(*inputs);
        }
        if (std::find(names.begin(), names.end(), port_.name) == names.end()) {
            QMetaObject::invokeMethod(this, &MidiPortWatch::gone, Qt::QueuedConnection);
            return;
        }
    }
}

// --- output ---

std::unique_ptr<MidiPortOutput> MidiPortOutput::open(const MidiPort &port, QString *error) {
    auto out = openPort<RtMidiOut>(port, error);
    if (!out)
        return nullptr;
    return std::unique_ptr<MidiPortOutput>(new MidiPortOutput(port, std::move(out)));
}

MidiPortOutput::MidiPortOutput(MidiPort port, std::unique_ptr<RtMidiOut> out)
    : port_(std::move(port)), out_(std::move(out)), watch_(port_, MidiPort::Output) {
    timer_.setSingleShot(true);
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, &MidiPortOutput::flush);
    connect(&watch_, &MidiPortWatch::gone, this, &MidiPortOutput::portGone);
}

MidiPortOutput::~MidiPortOutput() {
    if (!lost_) {
        queue_.clear();
        write(MidiOp{.kind = MidiOp::AllNotesOff});
    }
}

void MidiPortOutput::send(const QString &, const MidiOp &op) {
    if (lost_)
        return;
    if (op.kind == MidiOp::AllNotesOff) {
        // Silence now, and drop the notes still waiting for their moment.
        std::erase_if(queue_, [](const MidiOp &q) { return q.kind == MidiOp::NoteOn; });
        write(op);
        return;
    }
    queue_.push_back(op);
    flush();
}

// Sends what is due, in order, and waits for the next.
void MidiPortOutput::flush() {
    const TimePoint now = SteadyClock::now();
    while (!queue_.empty() && queue_.front().stamp <= now) {
        write(queue_.front());
        queue_.pop_front();
    }
    if (!queue_.empty()) {
        const auto wait = std::chrono::ceil<std::chrono::milliseconds>(queue_.front().stamp - now);
        timer_.start(wait);
    }
}

void MidiPortOutput::write(const MidiOp &op) {
    for (const MidiMessage &message : midiMessages(op)) {
        try {
            out_->sendMessage(&message);
        } catch (const RtMidiError &e) {
            qCWarning(lcPorts, "%s", e.what());
        }
    }
}

void MidiPortOutput::portGone() {
    if (lost_)
        return;
    lost_ = true;
    queue_.clear();
    timer_.stop();
    if (fallback_ && MidiBackend::current() == this)
        MidiBackend::setCurrent(fallback_);
    emit lost(
        QString("The MIDI port \"%1\" has gone: Tonvik plays through its built-in synthesiser.")
            .arg(port_.label()));
}

// --- input ---

std::unique_ptr<MidiKeyboardInput> MidiKeyboardInput::open(const MidiPort &port, QString *error) {
    auto in = openPort<RtMidiIn>(port, error);
    if (!in)
        return nullptr;
    return std::unique_ptr<MidiKeyboardInput>(new MidiKeyboardInput(port, std::move(in)));
}

MidiKeyboardInput::MidiKeyboardInput(MidiPort port, std::unique_ptr<RtMidiIn> in)
    : port_(std::move(port)), in_(std::move(in)), relay_(new Relay),
      watch_(port_, MidiPort::Input) {
    relay_->input = this;
    in_->setCallback(&MidiKeyboardInput::received, relay_);
    connect(&watch_, &MidiPortWatch::gone, this, [this] {
        emit lost(QString("The MIDI port \"%1\" has gone: the MIDI keyboard is no longer heard.")
                      .arg(port_.label()));
    });
}

MidiKeyboardInput::~MidiKeyboardInput() {
    {
        // A note being received now is posted before this goes, or not at all.
        std::lock_guard lock(relay_->mutex);
        relay_->input = nullptr;
    }
    in_->cancelCallback();
    // RtMidi's JACK input unregisters its port while the client's process thread may
    // still be reading it, which crashed the program as it ended. A JACK client is
    // therefore never closed: it is left to drop what it hears (and its relay with it),
    // and the server lets it go when the process ends.
    if (in_->getCurrentApi() == RtMidi::UNIX_JACK) {
        in_->setCallback([](double, std::vector<unsigned char> *, void *) {}, nullptr);
        // Kept where they can be found (not leaked) until the process ends.
        static auto *const abandoned = new std::vector<std::pair<RtMidiIn *, Relay *>>;
        abandoned->emplace_back(in_.release(), relay_);
        return;
    }
    in_.reset(); // its thread is joined
    delete relay_;
}

// Runs on the MIDI system's thread.
void MidiKeyboardInput::received(double, std::vector<unsigned char> *message, void *relay) {
    if (message->size() < 3)
        return;
    const int kind = (*message)[0] & 0xf0;
    // Channel 10 is General MIDI's drums: a keyboard's pads, not notes of an answer.
    if ((kind != 0x90 && kind != 0x80) || ((*message)[0] & 0x0f) == 9)
        return;
    const int note = (*message)[1] & 0x7f;
    const bool on = kind == 0x90 && (*message)[2] != 0;
    const qint64 ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                          std::chrono::steady_clock::now().time_since_epoch())
                          .count();
    auto *r = static_cast<Relay *>(relay);
    std::lock_guard lock(r->mutex);
    if (MidiKeyboardInput *input = r->input)
        QMetaObject::invokeMethod(
            input, [input, note, on, ms] { emit input->notePlayed(note, on, ms); },
            Qt::QueuedConnection);
}

namespace {
MidiKeyboard *g_keyboard = nullptr;
}

MidiKeyboard::MidiKeyboard(QObject *parent) : QObject(parent) {
    g_keyboard = this;
}

MidiKeyboard::~MidiKeyboard() {
    if (g_keyboard == this)
        g_keyboard = nullptr;
}

MidiKeyboard *MidiKeyboard::current() {
    return g_keyboard;
}

bool MidiKeyboard::choose(const std::optional<MidiPort> &port, QString *error) {
    if (port && input_ && port->label() == input_->port().label())
        return true;
    std::unique_ptr<MidiKeyboardInput> input;
    if (port && !(input = MidiKeyboardInput::open(*port, error)))
        return false;
    input_ = std::move(input);
    ++chosen_;
    if (input_) {
        connect(input_.get(), &MidiKeyboardInput::notePlayed, this, &MidiKeyboard::notePlayed);
        connect(input_.get(), &MidiKeyboardInput::lost, this, [this](const QString &message) {
            emit lost(message);
            // It listens to no port now, and the keyboard plugged in again can be chosen
            // again. (Let go of once the signal is over.)
            QMetaObject::invokeMethod(
                this,
                [this, chosen = chosen_] {
                    if (chosen_ == chosen)
                        input_.reset();
                },
                Qt::QueuedConnection);
        });
    }
    return true;
}

std::optional<MidiPort> MidiKeyboard::port() const {
    return input_ ? std::optional<MidiPort>(input_->port()) : std::nullopt;
}
