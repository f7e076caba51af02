// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

struct _fluid_synth_t;
struct _fluid_hashtable_t;

// Notes that start at their first frame: many samples of the General MIDI fonts begin
// with a few ms of digital silence (FluidR3_GM's nylon guitar up to 5 ms), which every
// note of theirs would wait out. A SoundFont loader around FluidSynth's own reads the
// font through a view in which each sample's start lies on its first frame above
// silence (-80 dBFS, as the output counts it: in these fonts that is the first frame
// that is not zero, or one of a few at 1-3 of 32768): only the sample headers' start fields differ,
// the sample data, the loops and everything else are the file's. A sample whose loop begins inside
// that silence is moved only up to its loop, and the two halves of a linked stereo pair by the same
// number of frames. Compressed (SF3) and ROM samples are left as they are.
namespace sample_starts {

// Puts the loader in front of FluidSynth's default one. Before the first font is loaded.
void install(_fluid_synth_t *synth, _fluid_hashtable_t *settings);

} // namespace sample_starts
