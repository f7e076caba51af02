// SPDX-License-Identifier: GPL-3.0-or-later
// The note detector on recorded instruments (the General MIDI font, rendered) and on
// made signals: each note once at its pitch, vibrato one note, nothing from silence or
// noise, nothing begun while our own sound played.
#include "sound/AudioEngine.h"
#include "sound/EngineProbe.h"
#include "sound/NoteDetector.h"

#include <QTest>
#include <cmath>
#include <random>

namespace {

constexpr int kRate = 16000;

std::vector<NoteDetector::Note> notesHeard(const std::vector<float> &x,
                                           std::vector<bool> deaf = {}) {
    NoteDetector d;
    std::vector<NoteDetector::Note> notes;
    for (size_t i = 0; i + 128 <= x.size(); i += 128)
        d.feed(x.data() + i, 128, notes, i / 128 < deaf.size() && deaf[i / 128]);
    return notes;
}

std::vector<int> keysHeard(const std::vector<float> &x, std::vector<bool> deaf = {}) {
    std::vector<int> keys;
    for (const auto &n : notesHeard(x, deaf))
        keys.push_back(n.key);
    return keys;
}

// A sawtooth at `key` (a fraction is cents off), gliding to `to` if given, with vibrato
// of `cents` at 5.5 Hz.
std::vector<float> sung(double key, double seconds, double cents, double to = -1) {
    std::vector<float> x;
    double phase = 0;
    for (int i = 0; i < int(seconds * kRate); ++i) {
        const double t = double(i) / kRate;
        const double at = to < 0 ? key : key + (to - key) * t / seconds;
        phase += 440 * std::pow(2.0, (at - 69 + cents / 100 * std::sin(2 * M_PI * 5.5 * t)) / 12) /
                 kRate;
        x.push_back(float(0.3 * (2 * (phase - std::floor(phase)) - 1)));
    }
    return x;
}

} // namespace

class TestVoice : public QObject {
    Q_OBJECT
  private slots:
    // Voice oohs, flute, nylon guitar and choir aahs (whose beating voices YIN is less
    // sure of) from the font, 400 ms a note with 200 ms between: every note once, at its
    // own key.
    void instrumentsNoteByNote() {
        const std::vector<int> keys = {60, 64, 67, 57, 72};
        for (const int program : {53, 73, 24, 52}) {
            const auto x = EngineProbe::notesOneByOne(kRate, program, keys, 400, 200);
            QVERIFY2(!x.empty(), "no General MIDI sound font installed");
            const std::vector<int> heard = keysHeard(x);
            QString said;
            for (const int k : heard)
                said += QString::number(k) + ' ';
            QVERIFY2(heard == keys, qPrintable(QString("program %1: %2").arg(program).arg(said)));
        }
    }

    // Vibrato of 30 cents is one note; two notes with a gap are two, the same one too;
    // silence and noise at -20 dBFS are none.
    void vibratoGapsAndNoise() {
        QCOMPARE(keysHeard(sung(57, 1.0, 30)), std::vector<int>{57});
        auto x = sung(62, 0.4, 30);
        x.resize(x.size() + kRate / 10);
        const auto again = sung(62, 0.4, 30);
        x.insert(x.end(), again.begin(), again.end());
        QCOMPARE(keysHeard(x), (std::vector<int>{62, 62}));

        std::vector<float> quiet(size_t(kRate) * 3, 0.0f);
        std::mt19937 random(7);
        std::normal_distribution<float> noise(0, 0.1f);
        for (size_t i = kRate; i < quiet.size(); ++i)
            quiet[i] = noise(random);
        QCOMPARE(keysHeard(quiet), std::vector<int>{});
    }

    // A voice that reaches its note from 60 cents under it, by a step or gliding, is
    // that note; one that stays between two keys is its nearest key, within half a
    // second or at its end, and none if our own sound began meanwhile. A moment in
    // which the pitch is lost while the sound goes on (noise as loud as the note) is no
    // new note.
    void aVoiceFindingItsNote() {
        const auto silence = [](std::vector<float> x) {
            x.resize(x.size() + kRate / 10);
            return x;
        };
        const auto joined = [](std::vector<std::vector<float>> parts) {
            std::vector<float> x;
            for (const auto &part : parts)
                x.insert(x.end(), part.begin(), part.end());
            return x;
        };
        const auto stepUp = joined({sung(56.4, 0.16, 0), sung(57.2, 0.1, 0)});
        const auto glideUp =
            joined({sung(56.4, 0.13, 0), sung(56.4, 0.3, 0, 57), sung(57, 0.3, 0)});
        QCOMPARE(keysHeard(silence(stepUp)), std::vector<int>{57});
        QCOMPARE(keysHeard(silence(glideUp)), std::vector<int>{57});
        // A note that counted and then moves 80 cents (to the next key, flat) is a new one.
        QCOMPARE(keysHeard(joined({sung(57, 0.3, 0), sung(57.8, 0.3, 0)})),
                 (std::vector<int>{57, 58}));
        QCOMPARE(keysHeard(silence(sung(56.55, 0.3, 0))), std::vector<int>{57});
        const auto between = notesHeard(sung(56.52, 1.0, 0));
        QVERIFY(between.size() == 1 && between[0].key == 57 && between[0].heardAt < 0.5);
        std::vector<bool> deaf(50, true); // from 200 ms on (an 8 ms reading each)
        std::fill_n(deaf.begin(), 25, false);
        QCOMPARE(keysHeard(silence(sung(56.52, 0.3, 0)), deaf), std::vector<int>{});

        auto held = sung(62, 0.4, 0);
        std::mt19937 random(3);
        std::normal_distribution<float> noise(0, 0.17f); // the sawtooth's RMS
        for (int i = 0; i < kRate / 16; ++i)
            held.push_back(noise(random));
        const auto on = sung(62, 0.4, 0);
        held.insert(held.end(), on.begin(), on.end());
        QCOMPARE(keysHeard(held), std::vector<int>{62});
    }

    // A note begun while deaf never counts, though it goes on after; the next does.
    void deafToANoteBegunMeanwhile() {
        auto x = sung(64, 0.8, 0);
        x.resize(x.size() + kRate / 10);
        const auto next = sung(67, 0.4, 0);
        x.insert(x.end(), next.begin(), next.end());
        const std::vector<bool> deaf(20, true); // the first 160 ms
        QCOMPARE(keysHeard(x, deaf), std::vector<int>{67});
    }
};

QTEST_GUILESS_MAIN(TestVoice)
#include "test_voice.moc"
