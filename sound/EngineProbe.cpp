// SPDX-License-Identifier: GPL-3.0-or-later
#include "sound/EngineProbe.h"

#include <QString>
#include <algorithm>
#include <sndfile.h>

EngineProbe::Stereo EngineProbe::render(AudioEngine &e, int frames, int blockSize) {
    e.waitForSoundFont();
    Stereo out;
    out.left.assign(size_t(frames), 0.f);
    out.right.assign(size_t(frames), 0.f);
    for (int pos = 0; pos < frames; pos += blockSize) {
        const int n = std::min(blockSize, frames - pos);
        e.render(n, out.left.data() + pos, out.right.data() + pos);
    }
    return out;
}

std::vector<float> EngineProbe::notesOneByOne(int rate, int program, const std::vector<int> &keys,
                                              int noteMs, int gapMs) {
    EngineConfig config;
    config.offline = true;
    config.sampleRate = rate;
    AudioEngine engine(config);
    if (!engine.waitForSoundFont())
        return {};
    const TimePoint origin = SteadyClock::now();
    setOrigin(engine, origin);
    std::vector<float> x;
    int ms = 0;
    for (const int key : keys) {
        auto at = [&](MidiOp op, int when) {
            op.channel = 1, op.stamp = origin + std::chrono::milliseconds(when);
            engine.send("probe", op);
        };
        at({.kind = MidiOp::ProgramChange, .value = program}, ms);
        at({.kind = MidiOp::NoteOn, .value = 100, .note = key}, ms);
        at({.kind = MidiOp::AllNotesOff}, ms + noteMs);
        const Stereo a = render(engine, rate * (noteMs + gapMs) / 1000);
        x.insert(x.end(), a.left.begin(), a.left.end());
        ms += noteMs + gapMs;
    }
    return x;
}

bool EngineProbe::writeWav(const QString &path, const std::vector<float> &mono, int rate) {
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = 1;
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    SNDFILE *f = sf_open(path.toLocal8Bit().constData(), SFM_WRITE, &info);
    if (!f)
        return false;
    const bool ok =
        sf_write_float(f, mono.data(), sf_count_t(mono.size())) == sf_count_t(mono.size());
    sf_close(f);
    return ok;
}
