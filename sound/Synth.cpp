// SPDX-License-Identifier: GPL-3.0-or-later
#include "sound/Synth.h"
#include "sound/SampleStarts.h"

#include "sound/FileNames.h"

#include <algorithm>
#include <cmath>
#include <fluidsynth.h>
#include <numbers>

namespace {
// Equal-power balance with unity gain in the centre: 0 left only, 64 both, 127 right only.
std::pair<float, float> balanceGains(int pan) {
    const double t = pan <= 64 ? pan / 128.0 : 0.5 + (pan - 64) / 126.0;
    const double theta = t * std::numbers::pi / 2;
    return {float(std::min(1.0, std::sqrt(2.0) * std::cos(theta))),
            float(std::min(1.0, std::sqrt(2.0) * std::sin(theta)))};
}
} // namespace

void Synth::SettingsDeleter::operator()(fluid_settings_t *s) const {
    delete_fluid_settings(s);
}
void Synth::SynthDeleter::operator()(fluid_synth_t *s) const {
    delete_fluid_synth(s);
}

Synth::Synth(int sampleRate) {
    gainLeft_.fill(1.f);
    gainRight_.fill(1.f);
    settings_.reset(new_fluid_settings());
    if (!settings_)
        qFatal("FluidSynth could not create its settings");
    fluid_settings_t *s = settings_.get();
    fluid_settings_setnum(s, "synth.sample-rate", sampleRate);
    // No reverb or chorus tail: "Stop noise!" must leave the output silent at once.
    fluid_settings_setint(s, "synth.reverb.active", 0);
    fluid_settings_setint(s, "synth.chorus.active", 0);
    fluid_settings_setint(s, "synth.dynamic-sample-loading", 1);
    fluid_settings_setint(s, "synth.audio-channels", kChannels);
    fluid_settings_setint(s, "synth.audio-groups", kChannels);
    fluid_settings_setnum(s, "synth.gain", 0.5);
    // A question's notes with their releases and a few keys on top stay far below this;
    // the default 256 voices' buffers would take a megabyte more.
    fluid_settings_setint(s, "synth.polyphony", 128);
    // No lock taken in the audio callback: the engine lets one thread at a time into
    // FluidSynth's functions (the audio thread never waits for its turn).
    fluid_settings_setint(s, "synth.threadsafe-api", 0);
    synth_.reset(new_fluid_synth(s));
    if (!synth_)
        qFatal("FluidSynth could not create its synthesiser");
    sample_starts::install(synth_.get(), s);
}

Synth::~Synth() = default;

bool Synth::loadFont(const QString &path) {
    // No preset is put on the channels now: with the default ones (a piano on fifteen
    // channels, drums on the tenth) their samples alone would take 16 MB. A channel gets
    // its preset with its first program change, or the default one with its first note.
    fontId_ = fluid_synth_sfload(synth_.get(), fileNameBytes(path).constData(), 0);
    return fontId_ != FLUID_FAILED;
}

void Synth::silenceAndReloadFont() {
    apply({.kind = MidiOp::AllNotesOff});
    // Voices are freed as the synthesiser renders; a font still sounding in one would be
    // kept beside the new copy until then.
    std::array<float, kChunk> left{}, right{};
    for (int i = 0; i < 4 && activeVoices() > 0; ++i)
        render(kChunk, left.data(), right.data());
    if (fontId_ != FLUID_FAILED && fontId_ >= 0)
        fontId_ = fluid_synth_sfreload(synth_.get(), fontId_);
}

void Synth::apply(const MidiOp &op) {
    fluid_synth_t *synth = synth_.get();
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
        for (int c = 0; c < kChannels; ++c) {
            fluid_synth_all_notes_off(synth, c);
            fluid_synth_all_sounds_off(synth, c);
        }
        break;
    default:
        break;
    }
}

void Synth::render(int frames, float *left, float *right) {
    float *outs[2 * kChannels];
    for (int done = 0; done < frames;) {
        const int n = std::min(frames - done, kChunk);
        std::fill(scratch_.begin(), scratch_.end(), 0.f);
        for (int i = 0; i < 2 * kChannels; ++i)
            outs[i] = scratch_.data() + size_t(i) * kChunk;
        fluid_synth_process(synth_.get(), n, 0, nullptr, 2 * kChannels, outs);
        std::fill(left + done, left + done + n, 0.f);
        std::fill(right + done, right + done + n, 0.f);
        for (size_t c = 0; c < size_t(kChannels); ++c) {
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

int Synth::activeVoices() const {
    return fluid_synth_get_active_voice_count(synth_.get());
}

int Synth::presetFor(int channel, int program) const {
    fluid_sfont_t *font =
        fontId_ >= 0 ? fluid_synth_get_sfont_by_id(synth_.get(), fontId_) : nullptr;
    if (!font)
        return -1;
    constexpr int kDrums = 128;
    const int bank = channel == 9 ? kDrums : 0;
    for (int p : {program, 0})
        if (fluid_sfont_get_preset(font, bank, p))
            return bank * 128 + p;
    return -1;
}

void Synth::pin(int preset) {
    if (preset >= 0)
        fluid_synth_pin_preset(synth_.get(), fontId_, preset / 128, preset % 128);
}

void Synth::unpin(int preset) {
    if (preset >= 0)
        fluid_synth_unpin_preset(synth_.get(), fontId_, preset / 128, preset % 128);
}

long long Synth::newestVoice(int channel) {
    fluid_synth_get_voicelist(synth_.get(), voices_.data(), int(voices_.size()), -1);
    long long newest = -1;
    for (fluid_voice_t *v : voices_) {
        if (!v)
            break;
        if (fluid_voice_get_channel(v) == channel)
            newest = std::max<long long>(newest, fluid_voice_get_id(v));
    }
    return newest;
}

void Synth::fadeOut(int channel, long long from, long long upTo) {
    // A release of 2^(-4800/1200) s, about 60 ms to silence (-20 dB after 13 ms): soon
    // enough to free the samples, slow enough not to click.
    constexpr float kFastRelease = -4800.f;
    fluid_synth_get_voicelist(synth_.get(), voices_.data(), int(voices_.size()), -1);
    for (fluid_voice_t *v : voices_) {
        if (!v)
            break;
        const long long id = fluid_voice_get_id(v);
        if (fluid_voice_get_channel(v) != channel || id <= from || id > upTo)
            continue;
        fluid_voice_gen_set(v, GEN_VOLENVRELEASE, kFastRelease);
        fluid_voice_update_param(v, GEN_VOLENVRELEASE);
        fluid_synth_stop(synth_.get(), static_cast<unsigned int>(id));
    }
}

bool Synth::sounds(int channel, long long from, long long upTo) {
    fluid_synth_get_voicelist(synth_.get(), voices_.data(), int(voices_.size()), -1);
    for (fluid_voice_t *v : voices_) {
        if (!v)
            break;
        if (fluid_voice_get_channel(v) == channel && fluid_voice_get_id(v) > from &&
            fluid_voice_get_id(v) <= upTo)
            return true;
    }
    return false;
}
