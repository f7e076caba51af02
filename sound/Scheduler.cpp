// SPDX-License-Identifier: GPL-3.0-or-later
#include "sound/Scheduler.h"

#include <algorithm>
#include <cmath>

Scheduler::Scheduler(int sampleRate) : rate_(sampleRate) {
    scheduled_.reserve(kScheduledMax);
}

bool Scheduler::post(const MidiOp &op, const SoundBuffer *sound, quint32 gate) {
    if (queue_.push({op, sound, 0, gate}))
        return true;
    ++dropped_;
    return false;
}

void Scheduler::setClock(TimePoint now) {
    clockTime_ = now;
    clockFrame_ = frames_;
}

qint64 Scheduler::frameFor(TimePoint t) const {
    return clockFrame_ +
           qint64(std::llround(std::chrono::duration<double>(t - clockTime_).count() * rate_));
}

qint64 Scheduler::place(const MidiOp &op) {
    qint64 frame;
    if (op.playback != 0 && op.playback == chainPlayback_) {
        frame = chainFrame_ +
                qint64(std::llround(std::chrono::duration<double>(op.stamp - chainStamp_).count() *
                                    rate_));
        if (frame < frames_)
            ++late_;
    } else {
        frame = std::max({frameFor(op.stamp), frames_, last_});
        if (op.playback != 0) {
            chainPlayback_ = op.playback;
            chainStamp_ = op.stamp;
            chainFrame_ = frame;
        }
    }
    last_ = std::max({frame, frames_, last_});
    return last_;
}

void Scheduler::take(Scheduled s) {
    if (!s.sound && s.op.kind == MidiOp::AllNotesOff) {
        s.frame = std::max(frameFor(s.op.stamp), frames_);
        // Every note still scheduled was sent before it: those due after it never sound.
        std::erase_if(scheduled_, [&](const Scheduled &q) {
            return !q.sound && q.frame > s.frame &&
                   (q.op.kind == MidiOp::NoteOn || q.op.kind == MidiOp::NoteOff);
        });
        last_ = s.frame;
        chainPlayback_ = 0;
    } else {
        s.frame = place(s.op);
    }
    if (scheduled_.size() == kScheduledMax) {
        ++dropped_;
        return;
    }
    const auto at = std::upper_bound(scheduled_.begin(), scheduled_.end(), s.frame,
                                     [](qint64 f, const Scheduled &q) { return f < q.frame; });
    scheduled_.insert(at, s);
}

void Scheduler::render(int len, float *left, float *right, FrameRenderer &renderer, bool hold) {
    for (const Scheduled *next; (next = queue_.front()) && next->gate <= opened_;) {
        Scheduled s;
        queue_.pop(s);
        take(s);
    }
    if (hold) {
        renderer.renderFrames(len, left, right);
        frames_ += len;
        return;
    }
    int pos = 0;
    while (pos < len) {
        std::size_t due = 0;
        while (due < scheduled_.size() && scheduled_[due].frame <= frames_) {
            const Scheduled &s = scheduled_[due++];
            if (recording_ && !s.sound) {
                const std::size_t n = recordedCount_;
                if (n < recorded_.size()) {
                    recorded_[n] = {s.op, nullptr, frames_};
                    recordedCount_ = n + 1;
                }
            }
            renderer.apply(s);
        }
        scheduled_.erase(scheduled_.begin(), scheduled_.begin() + qint64(due));
        int end = len;
        if (!scheduled_.empty())
            end = int(std::min<qint64>(len, pos + scheduled_.front().frame - frames_));
        renderer.renderFrames(end - pos, left + pos, right + pos);
        frames_ += end - pos;
        pos = end;
    }
}

void Scheduler::discard() {
    for (Scheduled s; queue_.pop(s);) {
    }
    scheduled_.clear();
    chainPlayback_ = 0;
}

void Scheduler::record(bool on) {
    if (on && recorded_.empty())
        recorded_.resize(kRecorded); // before recording_ is set: the audio thread is not looking
    if (on)
        recordedCount_ = 0;
    recording_ = on;
}

std::vector<Scheduled> Scheduler::recorded() const {
    return {recorded_.begin(), recorded_.begin() + qint64(recordedCount_.load())};
}
