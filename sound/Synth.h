// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "sound/MidiOp.h"

#include <QString>
#include <array>
#include <memory>
#include <vector>

struct _fluid_hashtable_t;
struct _fluid_synth_t;
struct _fluid_voice_t;

// The FluidSynth synthesiser and its settings, owned. Each MIDI channel renders to a
// stereo pair of its own, so that pan is applied as a true balance: the pan controller
// cannot move an instrument made of stereo samples fully aside.
class Synth {
  public:
    static constexpr int kChannels = 16;

    explicit Synth(int sampleRate);
    ~Synth();
    Synth(const Synth &) = delete;
    Synth &operator=(const Synth &) = delete;

    // Loads the sound font (samples only as presets are chosen). Not while rendering.
    bool loadFont(const QString &path);
    // Ends every voice at once and lets the synthesiser free them, then loads the font
    // again, which lets go of every sample not on a channel now. Not while rendering.
    void silenceAndReloadFont();

    // The preset a program change on `channel` (0-15) selects, as FluidSynth chooses it
    // (channel 10 plays drum kits, a missing one is substituted), as bank * 128 +
    // program; -1 with no font.
    int presetFor(int channel, int program) const;
    // Loads a preset's samples and keeps them (FluidSynth's pinning), or lets them go
    // once no channel has the preset. Off the audio thread: loading takes milliseconds.
    void pin(int preset);
    void unpin(int preset);

    // The rendering thread's (or, with no output, the worker's). Every preset a program
    // change selects is pinned first: selecting it then loads nothing.
    void apply(const MidiOp &op);
    void render(int frames, float *left, float *right);
    int activeVoices() const;
    // The newest voice sounding on a channel (its note's number; -1 if none), and whether
    // one numbered after `from` and up to `upTo` still sounds there.
    long long newestVoice(int channel);
    bool sounds(int channel, long long from, long long upTo);
    // Lets the voices numbered after `from` and up to `upTo` on a channel die away within
    // a few milliseconds, too fast to be heard as a cut of what is left of them.
    void fadeOut(int channel, long long from, long long upTo);

    _fluid_hashtable_t *settings() const { return settings_.get(); }

  private:
    struct SettingsDeleter {
        void operator()(_fluid_hashtable_t *s) const;
    };
    struct SynthDeleter {
        void operator()(_fluid_synth_t *s) const;
    };
    static constexpr int kChunk = 64;

    std::unique_ptr<_fluid_hashtable_t, SettingsDeleter> settings_;
    std::unique_ptr<_fluid_synth_t, SynthDeleter> synth_;
    int fontId_ = -1;
    std::array<float, kChannels> gainLeft_, gainRight_;
    std::array<_fluid_voice_t *, 256> voices_{}; // room for fluid_synth_get_voicelist
    std::vector<float> scratch_ = std::vector<float>(2 * kChannels * kChunk);
};
