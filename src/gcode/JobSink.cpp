#include "gcode/JobSink.h"

#include <algorithm>
#include <utility>

#if (defined(__SSE2__) && defined(__x86_64__)) || defined(_M_X64)
#include <emmintrin.h>
#define PYROLITH_SSE2 1
#endif

namespace pyrolith {
namespace {

// The line feeds of a block, 16 bytes at a time where the processor allows: a job of a few
// hundred megabytes is counted in a small part of the time it takes to write it.
std::uint64_t CountLineFeeds(std::string_view block)
{
    std::uint64_t count = 0;
    std::size_t i = 0;
#ifdef PYROLITH_SSE2
    const __m128i lineFeed = _mm_set1_epi8('\n');
    while (block.size() - i >= 16) {
        // Up to 255 steps add into one counter per byte, then into the total.
        __m128i counters = _mm_setzero_si128();
        const std::size_t steps = std::min<std::size_t>((block.size() - i) / 16, 255);
        for (std::size_t step = 0; step < steps; ++step, i += 16) {
            const __m128i bytes =
                _mm_loadu_si128(reinterpret_cast<const __m128i*>(block.data() + i));
            counters = _mm_sub_epi8(counters, _mm_cmpeq_epi8(bytes, lineFeed));
        }
        const __m128i sums = _mm_sad_epu8(counters, _mm_setzero_si128());
        count += static_cast<std::uint64_t>(_mm_cvtsi128_si64(sums)) +
                 static_cast<std::uint64_t>(_mm_cvtsi128_si64(_mm_unpackhi_epi64(sums, sums)));
    }
#endif
    for (; i < block.size(); ++i) {
        count += block[i] == '\n' ? 1 : 0;
    }
    return count;
}

} // namespace

void JobSink::drain()
{
    if (next_ != begin_) {
        const std::string_view block(begin_, static_cast<std::size_t>(next_ - begin_));
        next_ = begin_;
        take(block);
    }
}

void JobSink::appendSlow(std::string_view text)
{
    drain();
    if (text.size() <= static_cast<std::size_t>(end_ - next_)) {
        std::memcpy(next_, text.data(), text.size());
        next_ += text.size();
    } else {
        take(text);
    }
}

FileJobSink::FileJobSink(const std::filesystem::path& target)
    : FileJobSink(target, std::make_unique<char[]>(kBufferSize))
{
}

FileJobSink::FileJobSink(const std::filesystem::path& target, std::unique_ptr<char[]> buffer)
    : JobSink(buffer.get(), kBufferSize), buffer_(std::move(buffer)), file_(target)
{
}

FileJobSink::~FileJobSink() = default;

void FileJobSink::take(std::string_view block)
{
    file_.write(block);
    bytes_ += block.size();
    lines_ += CountLineFeeds(block);
}

void FileJobSink::commit()
{
    drain();
    file_.commit();
}

} // namespace pyrolith
