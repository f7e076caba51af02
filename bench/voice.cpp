// SPDX-License-Identifier: GPL-3.0-or-later
// Answers by voice: the note detector on a labelled corpus of FluidR3_GM's recorded
// instruments, note by note over two octaves each, plain, with vibrato, with breath
// noise and in a room (sox's reverb); false notes in silence, breath and the drill's own
// playback heard through the null sink's monitor.
#include "Harness.h"
#include "sound/EngineProbe.h"
#include "sound/MidiControl.h"
#include "sound/NoteDetector.h"
#include "sound/PitchListener.h"

#include <QCoreApplication>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <cmath>
#include <random>
#include <sndfile.h>

namespace {

constexpr int kRate = 16000;
constexpr int kNoteMs = 600, kGapMs = 250;

struct Instrument {
    const char *name;
    int program, lowest; // two octaves from `lowest`
};
constexpr Instrument kInstruments[] = {
    {"voice oohs", 53, 48}, {"choir aahs", 52, 48},   {"flute", 73, 72}, {"violin", 40, 55},
    {"trumpet", 56, 52},    {"nylon guitar", 24, 40}, {"piano", 0, 48},
};

// Each key of the instrument's two octaves, kNoteMs sounding and kGapMs apart.
std::vector<float> render(int program, const std::vector<int> &keys) {
    return EngineProbe::notesOneByOne(kRate, program, keys, kNoteMs, kGapMs);
}

// Vibrato of ±30 cents at 5.5 Hz: the signal read at a time that swings around now.
std::vector<float> vibrato(const std::vector<float> &x) {
    const double swing = (std::pow(2.0, 30 / 1200.0) - 1) / (2 * M_PI * 5.5); // seconds
    std::vector<float> y(x.size());
    for (size_t i = 0; i < x.size(); ++i) {
        const double t = double(i) / kRate + swing * std::sin(2 * M_PI * 5.5 * double(i) / kRate);
        const double at = std::clamp(t * kRate, 0.0, double(x.size() - 2));
        const auto k = size_t(at);
        y[i] = float(x[k] + (x[k + 1] - x[k]) * (at - double(k)));
    }
    return y;
}

// Breath: noise low-passed at about 2 kHz, 20 dB under each note's level.
std::vector<float> breath(const std::vector<float> &x, std::mt19937 &random) {
    std::normal_distribution<float> white(0, 1);
    const size_t note = size_t(kRate) * (kNoteMs + kGapMs) / 1000;
    std::vector<float> y = x;
    float low = 0;
    for (size_t from = 0; from < x.size(); from += note) {
        const size_t to = std::min(x.size(), from + note);
        double energy = 0;
        for (size_t i = from; i < to; ++i)
            energy += double(x[i]) * x[i];
        const double gain = std::sqrt(energy / double(to - from)) * 0.1 / 0.45;
        for (size_t i = from; i < to; ++i) {
            low += 0.55f * (white(random) - low);
            y[i] += float(gain * low);
        }
    }
    return y;
}

// A room: sox's reverb (reverberance 50 %, the room at full size), dry and wet.
std::vector<float> room(const std::vector<float> &x) {
    QTemporaryDir dir;
    const QString in = dir.filePath("dry.wav"), out = dir.filePath("room.wav");
    if (!EngineProbe::writeWav(in, x, kRate) ||
        QProcess::execute("sox", {in, out, "reverb", "50", "50", "100", "gain", "-n", "-3"}) != 0)
        return {};
    SF_INFO info{};
    SNDFILE *f = sf_open(out.toLocal8Bit().constData(), SFM_READ, &info);
    if (!f)
        return {};
    std::vector<float> y(size_t(info.frames));
    sf_read_float(f, y.data(), sf_count_t(y.size()));
    sf_close(f);
    return y;
}

// The pitch a rendered note sounds at, as a MIDI key with its fraction, measured apart
// from the detector: the autocorrelation of its steady part (100-500 ms after its
// onset) over periods within a major second of `key`, refined at a multiple of the
// period at least 256 samples long and by a parabola through the peak and its
// neighbours.
double soundingKey(const std::vector<float> &x, size_t onset, int key) {
    const size_t from = onset + size_t(kRate) / 10, length = size_t(kRate) * 2 / 5;
    auto r = [&](int lag) {
        double sum = 0;
        for (size_t i = from; i < from + length && i + size_t(lag) < x.size(); ++i)
            sum += double(x[i]) * x[i + size_t(lag)];
        return sum;
    };
    // The highest peak in [low, high], between samples.
    auto peak = [&](int low, int high) {
        int best = low;
        double top = r(low);
        for (int lag = low + 1; lag <= high; ++lag)
            if (const double v = r(lag); v > top)
                top = v, best = lag;
        const double a = r(best - 1), b = top, c = r(best + 1);
        const double d = a - 2 * b + c;
        return best + (d < 0 ? 0.5 * (a - c) / d : 0.0);
    };
    const double nominal = kRate / (440 * std::pow(2.0, (key - 69) / 12.0));
    const double coarse = peak(int(std::floor(nominal / std::pow(2.0, 2 / 12.0))),
                               int(std::ceil(nominal * std::pow(2.0, 2 / 12.0))));
    const int times = std::max(1, int(std::ceil(256 / coarse)));
    const double period = peak(int(std::floor(times * coarse - coarse / 3)),
                               int(std::ceil(times * coarse + coarse / 3))) /
                          times;
    return 69 + 12 * std::log2(kRate / period / 440);
}

std::vector<NoteDetector::Note> detect(const std::vector<float> &x) {
    NoteDetector d;
    std::vector<NoteDetector::Note> notes;
    for (size_t i = 0; i + 128 <= x.size(); i += 128)
        d.feed(x.data() + i, 128, notes);
    return notes;
}

struct Tally {
    int notes = 0, right = 0, missed = 0, octave = 0, neighbour = 0, extra = 0;
    std::vector<double> latencyMs;
};

// Each note's slot: the notes heard that began in it. Right: the first has the key's
// pitch class; its octave or a semitone off is counted apart; a second note is extra.
// A key below 0 is a note left out. A note's start is the middle of the first window
// that read its pitch, which may hold its onset in its second half: a slot begins half
// a window before its note.
void judge(const std::vector<int> &keys, const std::vector<NoteDetector::Note> &heard, Tally &t) {
    const double slot = (kNoteMs + kGapMs) / 1000.0, early = 256.0 / kRate;
    for (size_t k = 0; k < keys.size(); ++k) {
        if (keys[k] < 0)
            continue;
        std::vector<NoteDetector::Note> in;
        for (const auto &n : heard)
            if (n.startedAt >= double(k) * slot - early &&
                n.startedAt < double(k + 1) * slot - early)
                in.push_back(n);
        ++t.notes;
        if (in.empty()) {
            ++t.missed;
            continue;
        }
        t.extra += int(in.size()) - 1;
        const int key = in.front().key;
        if ((key - keys[k]) % 12 == 0) {
            ++t.right;
            t.latencyMs.push_back((in.front().heardAt - double(k) * slot) * 1000);
            if (key != keys[k])
                ++t.octave;
        } else if (std::abs(key - keys[k]) % 12 == 1 || std::abs(key - keys[k]) % 12 == 11) {
            ++t.neighbour;
        }
    }
}

// Notes heard in a signal that holds none.
int falseNotes(const std::vector<float> &x) {
    return int(detect(x).size());
}

// Starts `listener` on the null sink's monitor and waits until it listens (or cannot).
bool listen(PitchListener &listener) {
    bool answered = false, opened = false;
    QString error = "the sound server did not answer";
    QObject::connect(&listener, &PitchListener::started, [&](bool ok, const QString &why) {
        answered = true, opened = ok, error = why;
    });
    listener.start("tonvik_null.monitor");
    if (!QTest::qWaitFor([&] { return answered; }, 5000) || !opened)
        progress("voice: %s", qPrintable(error));
    return opened;
}

// Melody questions of three notes a second apart (the default guitar, keys 60-83) played
// by the real engine into the null sink, and the listener on its monitor: the notes it
// took for answers, with the gate and without.
int ownPlayback(bool gated, int questions) {
    AudioEngine engine(benchConfig());
    MidiBackend::setCurrent(&engine);
    waitUntilPlaying(engine);
    PitchListener listener;
    if (gated)
        listener.setGate(
            {[&] { return engine.audibleUntil(); }, [&] { return engine.outputDb(); }});
    int heard = 0;
    QObject::connect(&listener, &PitchListener::noteHeard, [&] { ++heard; });
    if (!listen(listener))
        return -1;
    MidiControl midi("bench");
    std::mt19937 random(11);
    for (int q = 0; q < questions; ++q) {
        for (int n = 0; n < 3; ++n) {
            midi.noteOn(1, 100, 60 + int(random() % 24));
            QTest::qWait(1000);
        }
        QTest::qWait(3000);
    }
    MidiBackend::setCurrent(nullptr);
    return heard;
}

// Voice oohs played by the engine into the null sink, one note at a time, and the
// listener on its monitor, deaf to nothing: from sending the note to hearing it. This
// holds the output's way to the sink too (8 ms of buffer and the server's), which a
// singer's voice does not.
std::vector<double> liveLatency(int notes) {
    AudioEngine engine(benchConfig());
    MidiBackend::setCurrent(&engine);
    waitUntilPlaying(engine);
    PitchListener listener;
    TimePoint heardAt{};
    int heardKey = 0;
    QObject::connect(&listener, &PitchListener::noteHeard, [&](int key) {
        heardAt = SteadyClock::now();
        heardKey = key;
    });
    std::vector<double> ms;
    if (!listen(listener))
        return ms;
    MidiControl midi("bench");
    midi.programChange(1, 53);
    QTest::qWait(300);
    for (int n = 0; n < notes; ++n) {
        const int key = 55 + n % 12;
        heardAt = {};
        const TimePoint sent = SteadyClock::now();
        midi.noteOn(1, 100, key);
        for (int waited = 0; waited < 1000 && heardAt == TimePoint{}; waited += 2)
            QTest::qWait(2);
        if (heardAt != TimePoint{} && heardKey == key)
            ms.push_back(std::chrono::duration<double, std::milli>(heardAt - sent).count());
        QTest::qWait(400);
        midi.allNotesOff();
        QTest::qWait(300);
    }
    MidiBackend::setCurrent(nullptr);
    return ms;
}

} // namespace

std::vector<Row> voiceBenchmark() {
    std::mt19937 random(5);
    Tally all;
    std::vector<Row> rows;
    Row octaves{"  wrong octave (pitch class right)", "0", {}, ""};
    Row neighbours{"  a semitone off", "0", {}, ""};
    Row extra{"  a note counted twice", "0", {}, ""};
    // Notes are labelled by the key they sound at (the font's are not all in tune); those
    // further than 40 cents from every key could be either and are not scored.
    Row outOfTune{"out of tune in the font, left out (cents from the key played)", "", {}, ""};
    Tally byKeyPlayed;
    for (const Instrument &in : kInstruments) {
        std::vector<int> keys;
        for (int key = in.lowest; key <= in.lowest + 24; ++key)
            keys.push_back(key);
        progress("voice: %s, keys %d-%d", in.name, keys.front(), keys.back());
        const auto plain = render(in.program, keys);
        std::vector<int> sounding;
        for (size_t k = 0; k < keys.size(); ++k) {
            const double at =
                soundingKey(plain, k * size_t(kRate) * (kNoteMs + kGapMs) / 1000, keys[k]);
            const bool clear = std::abs(at - std::round(at)) * 100 <= 40;
            sounding.push_back(clear ? int(std::lround(at)) : -1);
            if (!clear) {
                outOfTune.values.push_back((at - keys[k]) * 100);
                progress("voice: %s key %d sounds %+.0f cents from it", in.name, keys[k],
                         (at - keys[k]) * 100);
            }
        }
        const std::pair<const char *, std::vector<float>> variants[] = {
            {"plain", plain},
            {"vibrato", vibrato(plain)},
            {"breath -20 dB", breath(plain, random)},
            {"room", room(plain)}};
        for (const auto &[what, x] : variants) {
            Tally t;
            const auto heard = detect(x);
            judge(sounding, heard, t);
            judge(keys, heard, byKeyPlayed);
            rows.push_back({std::string(in.name) + ", " + what + ": right (" +
                                std::to_string(t.missed) + " missed)",
                            ">= 99 %, 0 missed",
                            {100.0 * t.right / t.notes},
                            " %"});
            octaves.values.push_back(t.octave);
            neighbours.values.push_back(t.neighbour);
            extra.values.push_back(t.extra);
            all.notes += t.notes, all.right += t.right, all.missed += t.missed;
            all.latencyMs.insert(all.latencyMs.end(), t.latencyMs.begin(), t.latencyMs.end());
        }
    }
    rows.push_back({"notes detected right by pitch class, all",
                    ">= 99 %",
                    {100.0 * all.right / all.notes},
                    " %"});
    rows.push_back({"notes missed, all", "0", {double(all.missed)}, ""});
    rows.push_back({outOfTune.figure + ": " + std::to_string(outOfTune.values.size()) + " of " +
                        std::to_string(byKeyPlayed.notes / 4) + " notes, each in 4 forms",
                    "", outOfTune.values, " cents"});
    rows.push_back({"  right by the key played, these scored too (" +
                        std::to_string(byKeyPlayed.missed) + " missed)",
                    "",
                    {100.0 * byKeyPlayed.right / byKeyPlayed.notes},
                    " %"});
    rows.push_back(octaves);
    rows.push_back(neighbours);
    rows.push_back(extra);
    rows.push_back(
        {"onset to answer (detector, offline)", "median <= 150 ms", all.latencyMs, " ms"});

    progress("voice: 60 s of silence and of breath");
    std::vector<float> silence(size_t(kRate) * 60), breathing(size_t(kRate) * 60);
    std::normal_distribution<float> hiss(0, 0.0003f), white(0, 1);
    float low = 0;
    for (size_t i = 0; i < silence.size(); ++i) {
        silence[i] = hiss(random);
        low += 0.55f * (white(random) - low);
        // Breathing in and out, 4 s a breath, up to -20 dBFS.
        breathing[i] = float(0.1 * std::fabs(std::sin(M_PI * double(i) / (2.0 * kRate))) * low);
    }
    rows.push_back({"false notes in 60 s of silence", "0", {double(falseNotes(silence))}, ""});
    rows.push_back({"false notes in 60 s of breath", "0", {double(falseNotes(breathing))}, ""});
    progress("voice: our own playback at the monitor, with the gate and without");
    rows.push_back({"false notes in 10 Melody questions at the monitor",
                    "0",
                    {double(ownPlayback(true, 10))},
                    ""});
    rows.push_back({"  the same without the gate", "", {double(ownPlayback(false, 10))}, ""});
    progress("voice: 40 notes sent to the sink and heard at its monitor");
    const auto live = liveLatency(40);
    rows.push_back({"voice oohs sent to the sink, heard at their key (of 40)",
                    "40",
                    {double(live.size())},
                    ""});
    rows.push_back({"  from sending a note to its answer, through sink and listener",
                    "median <= 150 ms", live, " ms"});
    return rows;
}
