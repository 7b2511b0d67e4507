#include "image/PixelBuffer.h"

#include <cstring>
#include <new>

#include "common/PageMemory.h"

namespace pyrolith {
namespace {

constexpr std::size_t kMappedFrom = std::size_t{4} << 20;

} // namespace

void* AllocatePixelMemory(std::size_t bytes)
{
    if (bytes < kMappedFrom) {
        return std::memset(::operator new(bytes), 0, bytes);
    }
    return AllocatePages(bytes);
}

void FreePixelMemory(void* memory, std::size_t bytes) noexcept
{
    if (bytes < kMappedFrom) {
        ::operator delete(memory);
    } else {
        FreePages(memory, bytes);
    }
}

} // namespace pyrolith
