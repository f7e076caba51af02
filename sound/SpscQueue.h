// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <atomic>
#include <cstddef>

// A fixed-size queue from one producer thread to one consumer thread, without locks or
// allocation: the operations' way from the user-interface thread to the audio thread.
template <typename T, std::size_t N> class SpscQueue {
    static_assert(N >= 2 && (N & (N - 1)) == 0, "the size is a power of two");

  public:
    // Producer. False when the queue is full: the item is not taken.
    bool push(const T &item) {
        const std::size_t tail = tail_.load(std::memory_order_relaxed);
        if (tail - head_.load(std::memory_order_acquire) == N)
            return false;
        slots_[tail & (N - 1)] = item;
        tail_.store(tail + 1, std::memory_order_release);
        return true;
    }
    // Consumer. False when the queue is empty.
    bool pop(T &item) {
        const std::size_t head = head_.load(std::memory_order_relaxed);
        if (head == tail_.load(std::memory_order_acquire))
            return false;
        item = slots_[head & (N - 1)];
        head_.store(head + 1, std::memory_order_release);
        return true;
    }
    // Consumer. The item pop() would take, or null when the queue is empty.
    const T *front() const {
        const std::size_t head = head_.load(std::memory_order_relaxed);
        if (head == tail_.load(std::memory_order_acquire))
            return nullptr;
        return &slots_[head & (N - 1)];
    }
    bool empty() const {
        return head_.load(std::memory_order_acquire) == tail_.load(std::memory_order_acquire);
    }

  private:
    std::array<T, N> slots_{};
    alignas(64) std::atomic<std::size_t> head_{0};
    alignas(64) std::atomic<std::size_t> tail_{0};
};
