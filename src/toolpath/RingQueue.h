#pragma once

// A first-in first-out queue in one ring of memory that grows by doubling and never shrinks:
// the planners' short queues, where std::deque would allocate a chunk every few blocks and
// index through a map.
//
// The two ends are counted up separately (the size is their difference), so that a push
// touches only the back's counter and a pop only the front's: the queues sit on the hot path
// of the estimate, where one load of both counters right after a store to one of them waits
// for the store.

#include <cstddef>
#include <vector>

namespace pyrolith::toolpath {

template <typename T> class RingQueue {
public:
    explicit RingQueue(std::size_t capacity = 16)
    {
        std::size_t size = 1;
        while (size < capacity) {
            size *= 2;
        }
        items_.resize(size);
        mask_ = size - 1;
    }

    bool empty() const { return head_ == tail_; }
    std::size_t size() const { return tail_ - head_; }
    T& operator[](std::size_t i) { return items_[(head_ + i) & mask_]; }
    const T& operator[](std::size_t i) const { return items_[(head_ + i) & mask_]; }
    T& front() { return items_[head_ & mask_]; }
    const T& front() const { return items_[head_ & mask_]; }
    T& back() { return items_[(tail_ - 1) & mask_]; }

    void push_back(const T& item)
    {
        if (tail_ - head_ == items_.size()) {
            grow();
        }
        items_[tail_ & mask_] = item;
        ++tail_;
    }
    void pop_front() { ++head_; }

private:
    [[gnu::noinline]] void grow()
    {
        const std::size_t count = size();
        std::vector<T> larger(items_.size() * 2);
        for (std::size_t i = 0; i < count; ++i) {
            larger[i] = (*this)[i];
        }
        items_.swap(larger);
        mask_ = items_.size() - 1;
        head_ = 0;
        tail_ = count;
    }

    std::vector<T> items_;
    std::size_t mask_ = 0;
    std::size_t head_ = 0; // counted up, wrapped by the mask
    std::size_t tail_ = 0;
};

}  // namespace pyrolith::toolpath
