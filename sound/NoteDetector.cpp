// SPDX-License-Identifier: GPL-3.0-or-later
#include "sound/NoteDetector.h"

#include <algorithm>
#include <aubio/aubio.h>
#include <cmath>
#include <dlfcn.h>
#include <type_traits>

namespace {

// aubio is loaded when something is first listened to, not linked: with its codecs it
// brings some 150 libraries into the process, which would cost every run 18 MiB and
// 20 ms at start, listening or not.
struct AubioLibrary {
    decltype(&new_aubio_pitch) newPitch = nullptr;
    decltype(&del_aubio_pitch) delPitch = nullptr;
    decltype(&aubio_pitch_do) pitchDo = nullptr;
    decltype(&aubio_pitch_set_unit) setUnit = nullptr;
    decltype(&aubio_pitch_set_silence) setSilence = nullptr;
    decltype(&aubio_pitch_get_confidence) confidence = nullptr;
    decltype(&new_fvec) newVector = nullptr;
    decltype(&del_fvec) delVector = nullptr;
};

const AubioLibrary *aubio() {
    static const AubioLibrary library = [] {
        AubioLibrary a;
        void *handle = dlopen(NoteDetector::kLibrary, RTLD_NOW | RTLD_LOCAL);
        if (!handle)
            return a;
        auto find = [handle](auto &function, const char *name) {
            function =
                reinterpret_cast<std::remove_reference_t<decltype(function)>>(dlsym(handle, name));
            return function != nullptr;
        };
        if (!(find(a.delPitch, "del_aubio_pitch") && find(a.pitchDo, "aubio_pitch_do") &&
              find(a.setUnit, "aubio_pitch_set_unit") &&
              find(a.setSilence, "aubio_pitch_set_silence") &&
              find(a.confidence, "aubio_pitch_get_confidence") && find(a.newVector, "new_fvec") &&
              find(a.delVector, "del_fvec") && find(a.newPitch, "new_aubio_pitch")))
            a.newPitch = nullptr;
        return a;
    }();
    return library.newPitch ? &library : nullptr;
}

} // namespace

struct NoteDetector::Aubio {
    const AubioLibrary &library;
    aubio_pitch_t *pitch;
    fvec_t *in, *out;
    Aubio(const AubioLibrary &l, aubio_pitch_t *p, fvec_t *i, fvec_t *o)
        : library(l), pitch(p), in(i), out(o) {}
    Aubio(const Aubio &) = delete;
    Aubio &operator=(const Aubio &) = delete;
    ~Aubio() {
        library.delPitch(pitch);
        library.delVector(in);
        library.delVector(out);
    }
};

NoteDetector::NoteDetector(Settings settings) : settings_(settings) {
    pending_.reserve(size_t(settings_.hop));
}

bool NoteDetector::available() {
    return aubio() != nullptr;
}

NoteDetector::~NoteDetector() = default;

double NoteDetector::seconds() const {
    return double(hops_) * settings_.hop / settings_.sampleRate;
}

void NoteDetector::feed(const float *samples, std::size_t n, std::vector<Note> &notes, bool deaf,
                        double echoDb) {
    const auto hop = size_t(settings_.hop);
    for (std::size_t i = 0; i < n;) {
        const std::size_t take = std::min(n - i, hop - pending_.size());
        pending_.insert(pending_.end(), samples + i, samples + i + take);
        i += take;
        if (pending_.size() == hop && !aubio_) {
            const AubioLibrary *library = aubio();
            if (!library)
                return; // nothing can be heard: said by whoever listens (available())
            aubio_.reset(
                new Aubio{*library,
                          library->newPitch("yinfast", uint_t(settings_.window),
                                            uint_t(settings_.hop), uint_t(settings_.sampleRate)),
                          library->newVector(uint_t(settings_.hop)), library->newVector(1)});
            library->setUnit(aubio_->pitch, "midi");
            // The level is judged here, with the rest; aubio would report 0 under its own.
            library->setSilence(aubio_->pitch, -120);
        }
        if (pending_.size() == hop) {
            std::copy(pending_.begin(), pending_.end(), aubio_->in->data);
            pending_.clear();
            analyse(notes, deaf, echoDb);
        }
    }
}

void NoteDetector::startNote(double key, double at, bool deaf) {
    inNote_ = true;
    counted_ = false;
    undecided_ = false;
    tainted_ = deaf;
    startedAt_ = at;
    sum_ = key;
    noteDb_ = -120;
    readings_ = 1;
    latest_[0] = key;
    outliers_ = 0;
    gapHops_ = 0;
}

void NoteDetector::analyse(std::vector<Note> &notes, bool deaf, double echoDb) {
    ++hops_;
    const double now = seconds();
    // A window holds the pitch it reads from its middle on, at least: a note is held
    // from the middle of its first window to the end of the last.
    const double middle = now - 0.5 * settings_.window / settings_.sampleRate;
    const double hopMs = 1000.0 * settings_.hop / settings_.sampleRate;

    double energy = 0;
    for (uint_t i = 0; i < aubio_->in->length; ++i)
        energy += double(aubio_->in->data[i]) * aubio_->in->data[i];
    const double level = 10 * std::log10(energy / aubio_->in->length + 1e-12);
    aubio_->library.pitchDo(aubio_->pitch, aubio_->in, aubio_->out);
    const double key = aubio_->out->data[0];
    const double confidence = aubio_->library.confidence(aubio_->pitch);

    reading_.levelDb = level;
    reading_.key = key;
    reading_.voiced = level >= settings_.minLevelDb && confidence >= settings_.minConfidence &&
                      key >= settings_.lowestKey - 0.5 && key <= settings_.highestKey + 0.5;

    // A new attack: the level jumps up from where it was a moment ago.
    const auto attackHops = size_t(std::max(1.0, std::round(48 / hopMs)));
    const bool attack =
        !recentLevels_.empty() &&
        level - *std::min_element(recentLevels_.begin(), recentLevels_.end()) >= settings_.attackDb;
    recentLevels_.push_back(level);
    if (recentLevels_.size() > attackHops)
        recentLevels_.erase(recentLevels_.begin());

    if (inNote_ && deaf)
        tainted_ = true;

    // A note goes on through readings less sure of its pitch, as long as they are in
    // the tolerance.
    const bool goesOn = inNote_ && !reading_.voiced && level >= settings_.minLevelDb &&
                        confidence >= settings_.holdConfidence &&
                        std::abs(key - sum_ / readings_) * 100 <= settings_.toleranceCents;
    if (!reading_.voiced && !goesOn) {
        // The same note may count again once the sound has fallen away (10 dB under
        // the note, or unheard), not while a voice goes on whose pitch the tracker lost
        // for a moment: that is the note it was.
        if (level < std::max(settings_.minLevelDb, noteDb_ - 10))
            fellAway_ = true;
        if (inNote_ && ++gapHops_ * hopMs >= settings_.gapMs)
            endNote(notes);
        if (!inNote_ && fellAway_)
            lastCounted_ = -100;
        return;
    }
    gapHops_ = 0;
    fellAway_ = false;
    if (!inNote_ || (attack && (counted_ || undecided_ || tainted_))) {
        endNote(notes);
        if (attack)
            lastCounted_ = -100; // sung again
        startNote(key, middle, deaf);
    } else if (std::abs(key - sum_ / readings_) * 100 > settings_.toleranceCents) {
        // A reading or two off (an octave slip of the pitch tracker) is passed over; a
        // third in a row is a new pitch, begun at the first of them.
        if (outliers_++ == 0)
            firstOutlier_ = middle;
        if (outliers_ >= 3) {
            if (undecided_ && std::abs(key - sum_ / readings_) < 1) {
                // Undecided between two keys and now less than a semitone away: the
                // voice reaching its note. The same note, judged on its new pitch.
                sum_ = key;
                readings_ = 1;
                latest_[0] = key;
                outliers_ = 0;
            } else {
                endNote(notes);
                startNote(key, firstOutlier_, deaf);
            }
        }
        return;
    } else {
        outliers_ = 0;
        sum_ += key;
        latest_[size_t(readings_) % latest_.size()] = key;
        ++readings_;
    }
    noteDb_ = std::max(noteDb_, level);
    if (!counted_ && !tainted_ && (now - startedAt_) * 1000 >= settings_.holdMs - hopMs / 2 &&
        readings_ * hopMs * 2 >= settings_.holdMs && level > echoDb + 6) {
        // Held long enough. Near the middle between two keys, the voice may not have
        // reached its note yet (a scoop, a choir settling): it is judged by its latest
        // readings once they are clearly one key's, and as it is after kDecideMs.
        const double mean = sum_ / readings_, latest = latestMean();
        if (!nearMiddle(mean))
            count(notes, mean, now);
        else if (!nearMiddle(latest) || (now - startedAt_) * 1000 >= kDecideMs)
            count(notes, latest, now);
        else
            undecided_ = true;
    }
}

bool NoteDetector::nearMiddle(double key) {
    return std::abs(key - std::round(key)) > 0.35;
}

double NoteDetector::latestMean() const {
    const int n = std::min<int>(readings_, int(latest_.size()));
    double sum = 0;
    for (int i = 0; i < n; ++i)
        sum += latest_[size_t(i)];
    return sum / n;
}

void NoteDetector::endNote(std::vector<Note> &notes) {
    // A note held long enough but still undecided when it ends is taken as it was.
    if (inNote_ && undecided_ && !tainted_)
        count(notes, latestMean(), seconds());
    inNote_ = false;
}

void NoteDetector::count(std::vector<Note> &notes, double key, double now) {
    counted_ = true;
    undecided_ = false;
    const int nearest = int(std::lround(key));
    // The same note again, or octaves from it: the tracker slipped, no one sang. (The
    // same key by its pitch class, or a pitch within the tolerance of the last.)
    const double from = std::abs(key - lastCounted_);
    if (lastCounted_ < 0 ||
        (std::abs(from - 12 * std::round(from / 12)) * 100 > settings_.toleranceCents &&
         (nearest - std::lround(lastCounted_)) % 12 != 0))
        notes.push_back({nearest, (key - nearest) * 100, now, startedAt_});
    lastCounted_ = key;
}
