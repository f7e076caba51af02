// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstddef>
#include <memory>
#include <vector>

// Finds sung or played notes in a mono signal: aubio's YIN pitch (computed by FFT,
// "yinfast"; its sibling "yinfft" gives no confidence in aubio 0.4.9) on short windows,
// and a note counts once its pitch has held within a tolerance for long enough. Plain
// C++, one thread: the listener's, or a benchmark's.
//
// A held note is one note: it counts once, however long it lasts, and vibrato inside
// the tolerance does not split it. A note ends after a gap (no pitch for `gapMs`), a
// move out of the tolerance, or a new attack (the level jumping up); the same note sung
// twice counts twice when the sound fell away between or it was struck anew. A note
// between two keys waits, half a second at most, for the voice to settle on one.
class NoteDetector {
  public:
    struct Settings {
        int sampleRate = 16000;
        int window = 512;           // samples analysed per reading: 32 ms, two periods of 62.5 Hz
        int hop = 128;              // samples between readings: 8 ms
        double toleranceCents = 50; // around the note's mean pitch so far
        double holdMs = 120;        // how long the pitch must hold to count
        double gapMs = 40;          // a gap without pitch this long ends the note
        double minLevelDb = -55;    // quieter than this (RMS, dBFS) is not heard
        double minConfidence = 0.8; // YIN's own confidence in a pitch
        // Enough for a note already heard to go on at its pitch: voices together (a
        // choir) beat, and YIN's confidence dips for tens of ms inside one held note.
        double holdConfidence = 0.5;
        double attackDb = 20; // a rise this big within 48 ms is a new attack
        int lowestKey = 36;   // C2: a bass singer's low notes
        int highestKey = 96;  // C7
    };
    // What one window held.
    struct Reading {
        bool voiced = false; // a pitch in range, loud and clear enough
        double key = 0;      // MIDI key number with its fraction (A4 = 69.0)
        double levelDb = -120;
    };
    struct Note {
        int key;          // the nearest MIDI key of the note's mean pitch
        double cents;     // how far the mean is from that key
        double heardAt;   // seconds into the signal when it counted (its window's end)
        double startedAt; // seconds into the signal where its pitch was first read (the middle
                          // of that window)
    };

    // The aubio library, loaded the first time something is analysed.
    static constexpr const char *kLibrary = "libaubio.so.5";
    static bool available();

    explicit NoteDetector(Settings settings);
    NoteDetector() : NoteDetector(Settings{}) {}
    ~NoteDetector();
    NoteDetector(const NoteDetector &) = delete;
    NoteDetector &operator=(const NoteDetector &) = delete;

    // Analyses `n` samples at the settings' rate and appends the notes that count. A
    // note that was being heard while `deaf` (our own sound playing) never counts, even
    // if it goes on after; nor one no louder than `echoDb` + 6 dB, the level our own
    // sound (a note ringing on) is expected to reach the input at.
    void feed(const float *samples, std::size_t n, std::vector<Note> &notes, bool deaf = false,
              double echoDb = -120);
    // The latest reading.
    const Reading &reading() const { return reading_; }
    // Seconds of signal analysed so far.
    double seconds() const;
    const Settings &settings() const { return settings_; }

  private:
    void analyse(std::vector<Note> &notes, bool deaf, double echoDb);
    void startNote(double key, double at, bool deaf);
    void endNote(std::vector<Note> &notes);
    void count(std::vector<Note> &notes, double key, double now);
    static bool nearMiddle(double key); // more than 35 cents from every key
    double latestMean() const;          // of the note's latest readings
    // How long a note near the middle between two keys may wait for its latest
    // readings to be clearly one key's, from its start.
    static constexpr double kDecideMs = 450;

    Settings settings_;
    struct Aubio;
    std::unique_ptr<Aubio> aubio_;
    std::vector<float> pending_; // samples not yet a whole hop
    long long hops_ = 0;
    Reading reading_;

    // The note being heard.
    bool inNote_ = false;
    bool counted_ = false;   // already given out
    bool undecided_ = false; // held long enough, but near the middle between two keys
    bool tainted_ = false;   // heard (in part) while deaf
    double startedAt_ = 0;
    double sum_ = 0; // of its readings' keys
    int readings_ = 0;
    std::array<double, 24> latest_{}; // its last readings' keys (192 ms), a ring

    int outliers_ = 0; // readings in a row out of the tolerance
    double firstOutlier_ = 0;
    int gapHops_ = 0;
    // The key last counted, until the sound falls away or a new attack: the pitch
    // tracker's slips from a held note and back, or to its octave, do not count again.
    double lastCounted_ = -100;
    double noteDb_ = -120;             // the loudest reading of the note being heard
    bool fellAway_ = false;            // the sound fell away since the last reading with a pitch
    std::vector<double> recentLevels_; // the last 48 ms, for attacks
};
