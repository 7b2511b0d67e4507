#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace pyrolith {

// Writes a file so that it appears complete or not at all: the bytes go to a temporary file
// in the target's folder, and only commit() flushes it to the disk and moves it over the
// target (rename on POSIX, MoveFileExW on Windows). A failure, or destruction without
// commit(), removes the temporary file and leaves an existing target untouched. Errors throw
// pyrolith::Error with the user's text of the error (FileError.h).
//
// A read-only target is refused before anything is written, even for a user (such as root)
// whom the system would let through: a read-only file is never replaced behind the user's
// back. On POSIX a folder without write permission bits is refused the same way (Windows
// keeps no such mark on folders).
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
    [[noreturn]] void fail(const std::string& message);
    void discard() noexcept;

    std::filesystem::path target_;
    std::filesystem::path tempPath_;
    std::intptr_t file_ = -1;  // a descriptor on POSIX, a HANDLE on Windows; -1 when closed
    std::size_t used_ = 0;
    char buffer_[kBufferSize];
};

}  // namespace pyrolith
