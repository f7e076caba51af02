// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "sound/MidiOp.h"

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// Records a PulseAudio source (the null sink's monitor) in a thread, mono float at
// 48 kHz, and knows the steady-clock time at which each recorded sample was played.
class Capture {
  public:
    explicit Capture(std::string source);
    ~Capture();
    bool ok() const { return ok_; }

    // Samples recorded so far, and the time of sample 0.
    std::vector<float> samples() const;
    TimePoint timeOfSample(size_t index) const;
    static constexpr int kRate = 48000;

  private:
    void run();

    std::string source_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> ok_{false};
    mutable std::mutex mutex_;
    std::vector<float> samples_;
    TimePoint origin_{};
    bool originSet_ = false;
    std::thread thread_;
};
