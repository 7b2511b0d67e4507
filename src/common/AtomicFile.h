#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace pyrolith {

// Writes a file so that it appears complete or not at all: the bytes go to a temporary file
// in the target's folder, and only commit() renames it over the target. A failure, or
// destruction without commit(), removes the temporary file and leaves an existing target
// untouched. Errors throw pyrolith::Error with FileErrorText of the error code.
//
// A target or folder that has no write permission bits is refused before anything is
// written, even for a user (such as root) whom the system would let through: a read-only
// file is never replaced behind the user's back.
class AtomicFile {
public:
    explicit AtomicFile(std::filesystem::path target);
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    // Buffered; the buffer goes to the disk in large blocks.
    void write(std::string_view bytes);
    void write(char c)
    {
        if (used_ == kBufferSize) {
            flushBuffer();
        }
        buffer_[used_++] = c;
    }

    // Flushes, syncs, closes and renames over the target.
    void commit();

    const std::filesystem::path& target() const { return target_; }

private:
    static constexpr std::size_t kBufferSize = 1 << 16;

    void flushBuffer();
    void writeAll(const char* data, std::size_t size);
    [[noreturn]] void fail(int errorCode);
    void discard() noexcept;

    std::filesystem::path target_;
    std::string tempPath_;
    int fd_ = -1;
    std::size_t used_ = 0;
    char buffer_[kBufferSize];
};

}  // namespace pyrolith
