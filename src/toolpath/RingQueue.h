#pragma once

// A first-in first-out queue in one ring of memory that grows by doubling and never shrinks:
// the planners' short queues, where std::deque would allocate a chunk every few blocks and
// index through a map.

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
    }

    bool empty() const { return count_ == 0; }
    std::size_t size() const { return count_; }
    T& operator[](std::size_t i) { return items_[(head_ + i) & (items_.size() - 1)]; }
    const T& operator[](std::size_t i) const { return items_[(head_ + i) & (items_.size() - 1)]; }
    T& front() { return (*this)[0]; }
    const T& front() const { return (*this)[0]; }
    T& back() { return (*this)[count_ - 1]; }

    void push_back(const T& item)
    {
        if (count_ == items_.size()) {
            grow();
        }
        (*this)[count_] = item;
        ++count_;
    }
    void pop_front()
    {
        head_ = (head_ + 1) & (items_.size() - 1);
        --count_;
    }

private:
    [[gnu::noinline]] void grow()
    {
        std::vector<T> larger(items_.size() * 2);
        for (std::size_t i = 0; i < count_; ++i) {
            larger[i] = (*this)[i];
        }
        items_.swap(larger);
        head_ = 0;
    }

    std::vector<T> items_;
    std::size_t head_ = 0;
    std::size_t count_ = 0;
};

}  // namespace pyrolith::toolpath
