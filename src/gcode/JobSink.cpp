#include "gcode/JobSink.h"

#include <algorithm>
#include <utility>

namespace pyrolith {

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
    lines_ += static_cast<std::uint64_t>(std::count(block.begin(), block.end(), '\n'));
}

void FileJobSink::commit()
{
    drain();
    file_.commit();
}

} // namespace pyrolith
