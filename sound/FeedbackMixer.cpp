// SPDX-License-Identifier: GPL-3.0-or-later
#include "sound/FeedbackMixer.h"

#include <QFile>
#include <algorithm>
#include <sndfile.h>

const SoundBuffer *FeedbackMixer::decode(const QString &path) {
    if (auto it = cache_.find(path); it != cache_.end())
        return it->second.get();
    SF_INFO info{};
    SNDFILE *file = sf_open(QFile::encodeName(path).constData(), SFM_READ, &info);
    if (!file)
        return nullptr;
    std::vector<float> raw(size_t(info.frames) * size_t(info.channels));
    const sf_count_t got = sf_readf_float(file, raw.data(), info.frames);
    sf_close(file);
    if (got <= 0 || info.channels < 1)
        return nullptr;

    auto buffer = std::make_unique<SoundBuffer>();
    // Linear resampling to the output's rate; the feedback sounds are short and simple.
    const double step = double(info.samplerate) / rate_;
    const auto outFrames = qint64(double(got) / step);
    buffer->frames.resize(size_t(outFrames) * 2);
    auto sample = [&](qint64 frame, int channel) {
        frame = std::min<qint64>(frame, got - 1);
        return raw[size_t(frame) * info.channels + std::min(channel, info.channels - 1)];
    };
    for (qint64 i = 0; i < outFrames; ++i) {
        const double x = i * step;
        const auto i0 = qint64(x);
        const float f = float(x - double(i0));
        for (int c = 0; c < 2; ++c)
            buffer->frames[size_t(i) * 2 + c] = sample(i0, c) * (1 - f) + sample(i0 + 1, c) * f;
    }
    return (cache_[path] = std::move(buffer)).get();
}

void FeedbackMixer::start(const SoundBuffer *sound) {
    if (count_ < kVoices && sound->frameCount() > 0)
        voices_[size_t(count_++)] = {sound, 0};
}

void FeedbackMixer::mix(int frames, float *left, float *right) {
    for (int v = 0; v < count_;) {
        Voice &voice = voices_[size_t(v)];
        const int n = std::min(frames, voice.sound->frameCount() - voice.position);
        const float *src = voice.sound->frames.data() + size_t(voice.position) * 2;
        for (int i = 0; i < n; ++i) {
            left[i] += kGain * src[2 * i];
            right[i] += kGain * src[2 * i + 1];
        }
        voice.position += n;
        if (voice.position >= voice.sound->frameCount())
            voice = voices_[size_t(--count_)];
        else
            ++v;
    }
}
