// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "sound/MidiOp.h"
#include "sound/SpscQueue.h"

#include <atomic>
#include <cstddef>
#include <vector>

struct SoundBuffer;

// One operation on its way to the output: a MIDI operation, or a feedback sound to
// start (then only the stamp of `op` counts), and the output frame it is placed at.
struct Scheduled {
    MidiOp op;
    const SoundBuffer *sound = nullptr;
    qint64 frame = 0;
    quint32 gate = 0; // not taken before this gate is open (0: at once)
};

// What the scheduler drives: it applies each operation at its frame and renders the
// frames between operations.
class FrameRenderer {
  public:
    virtual ~FrameRenderer() = default;
    virtual void apply(const Scheduled &s) = 0;
    // Writes `frames` frames, overwriting what is there.
    virtual void renderFrames(int frames, float *left, float *right) = 0;
};

// Places stamped operations on output frames and applies them there, splitting the
// rendering at each one. Operations come from one producer thread through a fixed-size
// queue; everything else belongs to the thread that renders. Nothing is allocated or
// freed after construction.
//
// Where an operation goes:
// - One stamped now or earlier (a key, a feedback sound, the first note of a question)
//   goes at the start of the next period rendered.
// - The later operations of a playback keep the differences of their stamps from the
//   playback's first: they are handed over early, stamped with their due times, and
//   sound exactly that far apart.
// - Nothing is placed before an operation sent earlier, nor in the past: what came
//   late sounds at once, and the rest of its playback stays on its grid.
// - "All notes off" goes at the next period (offline: at its stamp) and drops the notes
//   sent before it that would sound after it.
class Scheduler {
  public:
    static constexpr std::size_t kQueueSize = 1024;
    static constexpr std::size_t kScheduledMax = 4096;

    explicit Scheduler(int sampleRate);

    // The producer's side. False when the queue is full (the operation is dropped). An
    // operation behind a gate, and everything posted after it, waits in the queue until
    // the gate is opened (gates are numbered upwards and opened in order).
    bool post(const MidiOp &op, const SoundBuffer *sound = nullptr, quint32 gate = 0);
    // Any thread: opens the gates up to `gate`.
    void open(quint32 gate) { opened_ = gate; }

    // The rendering side.
    // Frame frames() is the time `now`. Live, this is called before each period, so
    // "now" is the next period; offline once, and time then moves only with frames.
    void setClock(TimePoint now);
    // With `hold`, nothing is applied in this period: what is due waits for the next.
    void render(int len, float *left, float *right, FrameRenderer &renderer, bool hold = false);
    // Drops what is queued and scheduled (the output is gone).
    void discard();
    qint64 frames() const { return frames_; }
    bool idle() const { return scheduled_.empty() && queue_.empty(); }

    qint64 lateOps() const { return late_; }
    qint64 droppedOps() const { return dropped_; }

    // For benchmarks and tests: the frame each MIDI operation was applied at, for the
    // first kRecorded operations after recording is switched on.
    static constexpr std::size_t kRecorded = 4096;
    void record(bool on);
    std::vector<Scheduled> recorded() const;

  private:
    void take(Scheduled s);
    qint64 place(const MidiOp &op);
    qint64 frameFor(TimePoint t) const;

    int rate_;
    SpscQueue<Scheduled, kQueueSize> queue_;
    std::vector<Scheduled> scheduled_; // by frame; capacity kScheduledMax
    qint64 frames_ = 0;
    TimePoint clockTime_{};
    qint64 clockFrame_ = 0;
    qint64 last_ = 0; // the frame of the last operation placed
    quint64 chainPlayback_ = 0;
    TimePoint chainStamp_{};
    qint64 chainFrame_ = 0;
    std::atomic<qint64> late_{0}, dropped_{0};
    std::atomic<quint32> opened_{0};

    std::vector<Scheduled> recorded_; // kRecorded, once recording is first switched on
    std::atomic<std::size_t> recordedCount_{0};
    std::atomic<bool> recording_{false};
};
