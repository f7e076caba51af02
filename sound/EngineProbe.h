// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "sound/AudioEngine.h"

#include <vector>

class QString;

// What tests and benchmarks see of the engine beyond its public face.
class EngineProbe {
  public:
    struct Stereo {
        std::vector<float> left, right;
    };
    // Offline rendering: time starts at `origin` and moves on only as frames are
    // rendered, in blocks of `blockSize`.
    static void setOrigin(AudioEngine &e, TimePoint origin) { e.scheduler_.setClock(origin); }
    static Stereo render(AudioEngine &e, int frames, int blockSize = 64);
    // Each key struck at velocity 100 with `program` on an offline engine of its own,
    // sounding noteMs and gapMs apart: the left channel at `rate`. Empty without a
    // sound font.
    static std::vector<float> notesOneByOne(int rate, int program, const std::vector<int> &keys,
                                            int noteMs, int gapMs);
    // Mono float samples as a WAV file, for a test or benchmark to play.
    static bool writeWav(const QString &path, const std::vector<float> &mono, int rate);
    // The frame each MIDI operation was applied at, while recording.
    static void record(AudioEngine &e, bool on) { e.scheduler_.record(on); }
    static std::vector<Scheduled> applied(const AudioEngine &e) { return e.scheduler_.recorded(); }
    static qint64 lateOps(const AudioEngine &e) { return e.scheduler_.lateOps(); }
    static AudioOutput::Stats outputStats(const AudioEngine &e) { return e.output_.stats(); }
    static int outputPeriods(const AudioEngine &e) { return e.output_.periods(); }
    // The longest a program change held the rendering thread, in ms.
    static double longestProgramChange(const AudioEngine &e) { return e.longestProgramChangeMs_; }
};
