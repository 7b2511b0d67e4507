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
#include <new>
#include <vector>

namespace pyrolith::toolpath {

// Memory on cache lines of its own, none shared with any other allocation: the planners'
// queues are written for every block on one thread while another thread reads its own data
// for every line, and a cache line the two share goes back and forth between the processors.
template <typename T> struct CacheLineAllocator {
    using value_type = T;
    static constexpr std::size_t kLine = 64;

    CacheLineAllocator() = default;
    template <typename U> CacheLineAllocator(const CacheLineAllocator<U>&) noexcept {}

    T* allocate(std::size_t n)
    {
        return static_cast<T*>(::operator new(Rounded(n), std::align_val_t{kLine}));
    }
    void deallocate(T* memory, std::size_t) noexcept
    {
        ::operator delete(memory, std::align_val_t{kLine});
    }
    static std::size_t Rounded(std::size_t n) { return (n * sizeof(T) + kLine - 1) / kLine * kLine; }

    template <typename U> bool operator==(const CacheLineAllocator<U>&) const noexcept
    {
        return true;
    }
};

template <typename T> using CacheLineVector = std::vector<T, CacheLineAllocator<T>>;

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
        CacheLineVector<T> larger(items_.size() * 2);
        for (std::size_t i = 0; i < count; ++i) {
            larger[i] = (*this)[i];
        }
        items_.swap(larger);
        mask_ = items_.size() - 1;
        head_ = 0;
        tail_ = count;
    }

    CacheLineVector<T> items_;
    std::size_t mask_ = 0;
    std::size_t head_ = 0; // counted up, wrapped by the mask
    std::size_t tail_ = 0;
};

}  // namespace pyrolith::toolpath
