#pragma once

#include <cstddef>

namespace pyrolith {

// Large zeroed blocks straight from the system, with their pages made present up front in
// one call where the system can (POSIX, aligned to 2 MiB; on virtual machines the first write
// to each 4 KiB page of a fresh block can cost more than copying it).
// Throws std::bad_alloc. Free with the same size.
void* AllocatePages(std::size_t bytes);
void FreePages(void* memory, std::size_t bytes) noexcept;

// Gives the heap's free memory back to the system where the C library keeps it (glibc keeps
// what was freed for the next allocation); elsewhere nothing. For after a large piece of work
// whose memory is not needed again, such as decoding a picture.
void ReturnFreeHeapMemory() noexcept;

}  // namespace pyrolith
