// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <array>
#include <map>
#include <memory>
#include <vector>

// A decoded feedback sound: interleaved stereo at the output's sample rate.
struct SoundBuffer {
    std::vector<float> frames; // L R L R ...
    int frameCount() const { return static_cast<int>(frames.size() / 2); }
};

// The feedback sounds (right.wav, wrong.wav): decoded once with libsndfile on the
// user-interface thread and kept for the whole run, then mixed into the output by the
// rendering thread, which only reads them.
class FeedbackMixer {
  public:
    explicit FeedbackMixer(int sampleRate) : rate_(sampleRate) {}

    // User-interface thread: the decoded file, or null if it cannot be read.
    const SoundBuffer *decode(const QString &path);

    // Rendering thread. A sound started while kVoices play is not heard.
    void start(const SoundBuffer *sound);
    void mix(int frames, float *left, float *right);
    void clear() { count_ = 0; }
    bool idle() const { return count_ == 0; }

  private:
    static constexpr int kVoices = 8;
    static constexpr float kGain = 0.8f;
    struct Voice {
        const SoundBuffer *sound = nullptr;
        int position = 0;
    };

    int rate_;
    std::map<QString, std::unique_ptr<const SoundBuffer>> cache_;
    std::array<Voice, kVoices> voices_{};
    int count_ = 0;
};
