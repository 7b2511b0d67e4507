#include "image/PixelBuffer.h"

#include <sys/mman.h>

#include <cstdint>
#include <cstring>
#include <new>

namespace pyrolith {
namespace {

constexpr std::size_t kMappedFrom = std::size_t{4} << 20;
constexpr std::size_t kHugePage = std::size_t{2} << 20;

#ifndef MADV_POPULATE_WRITE
constexpr int MADV_POPULATE_WRITE = 23; // Linux 5.14
#endif

} // namespace

// Large blocks are aligned to 2 MiB and asked for huge pages: on virtual machines the
// first write to each 4 KiB page of a fresh block can cost more than copying it, while a
// huge-page block is made present in a few milliseconds.
void* AllocatePixelMemory(std::size_t bytes)
{
    if (bytes < kMappedFrom) {
        return std::memset(::operator new(bytes), 0, bytes);
    }
    const std::size_t mapped = bytes + kHugePage;
    void* memory =
        ::mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (memory == MAP_FAILED) {
        throw std::bad_alloc();
    }
    const auto start = reinterpret_cast<std::uintptr_t>(memory);
    const std::uintptr_t aligned = (start + kHugePage - 1) & ~(std::uintptr_t{kHugePage} - 1);
    if (aligned > start) {
        ::munmap(memory, aligned - start);
    }
    const std::uintptr_t end = start + mapped;
    if (end > aligned + bytes) {
        ::munmap(reinterpret_cast<void*>(aligned + bytes), end - (aligned + bytes));
    }
    void* block = reinterpret_cast<void*>(aligned);
#ifdef MADV_HUGEPAGE
    ::madvise(block, bytes, MADV_HUGEPAGE);
#endif
    // Best effort: an older system makes the pages present on first use instead.
    ::madvise(block, bytes, MADV_POPULATE_WRITE);
    return block;
}

void FreePixelMemory(void* memory, std::size_t bytes) noexcept
{
    if (bytes < kMappedFrom) {
        ::operator delete(memory);
    } else {
        ::munmap(memory, bytes);
    }
}

} // namespace pyrolith
