#pragma once

#include <cstddef>
#include <cstdint>
#include <new>
#include <utility>
#include <vector>

namespace pyrolith {

// Memory for large pixel arrays. A picture of 10000 x 10000 pixels needs hundreds of
// megabytes, and touching fresh memory one page at a time, then clearing it, costs more
// than reading the file. Large blocks are therefore mapped with their pages made present in
// one system call and come zeroed from the system; small blocks come from the heap and are
// cleared here. Either way the memory starts zeroed.
void* AllocatePixelMemory(std::size_t bytes);
void FreePixelMemory(void* memory, std::size_t bytes) noexcept;

template <typename T> struct PixelAllocator {
    using value_type = T;

    PixelAllocator() = default;
    template <typename U> PixelAllocator(const PixelAllocator<U>&) noexcept {}

    T* allocate(std::size_t count)
    {
        return static_cast<T*>(AllocatePixelMemory(count * sizeof(T)));
    }
    void deallocate(T* memory, std::size_t count) noexcept
    {
        FreePixelMemory(memory, count * sizeof(T));
    }

    // New elements are left as the memory holds them, which is zero for fresh memory: the
    // vector does not clear hundreds of megabytes a second time. A buffer shrunk and grown
    // again keeps its old bytes, so pixel buffers are sized once, when they are made.
    template <typename U> void construct(U* element) noexcept
    {
        ::new (static_cast<void*>(element)) U;
    }
    template <typename U, typename... Args> void construct(U* element, Args&&... args)
    {
        ::new (static_cast<void*>(element)) U(std::forward<Args>(args)...);
    }

    template <typename U> bool operator==(const PixelAllocator<U>&) const noexcept { return true; }
};

// Rows of pixel bytes or palette indices.
using PixelBuffer = std::vector<std::uint8_t, PixelAllocator<std::uint8_t>>;

} // namespace pyrolith
