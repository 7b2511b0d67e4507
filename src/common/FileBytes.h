#pragma once

#include <cstdint>
#include <filesystem>
#include <limits>
#include <memory>
#include <span>
#include <string>

#include "common/Error.h"

namespace pyrolith {

// Why a file could not be read, for callers that treat the cases apart.
class FileReadError : public Error {
public:
    enum class Kind {
        Missing,     // no such file or folder on the path
        Folder,      // a folder
        NotRegular,  // a pipe, device or socket
        TooLarge,    // larger than the caller's limit
        Refused,     // any other failure: permissions, input/output errors
    };
    FileReadError(Kind kind, const std::string& message) : Error(message), kind_(kind) {}
    Kind kind() const { return kind_; }

private:
    Kind kind_;
};

// The whole contents of a regular file, held while the object lives: mapped on POSIX, where
// mapping saves a copy of large pictures; read into memory on Windows. Opening never waits
// for a pipe's writer. Throws FileReadError, whose message is the user's text.
class FileBytes {
public:
    // A file read once from start to end in parts (`streamed`) is mapped without its pages
    // made present up front, so that release() keeps only the part in use in memory.
    explicit FileBytes(const std::filesystem::path& path,
                       std::uint64_t maxBytes = std::numeric_limits<std::uint64_t>::max(),
                       bool streamed = false);
    ~FileBytes();
    FileBytes(const FileBytes&) = delete;
    FileBytes& operator=(const FileBytes&) = delete;

    std::span<const std::uint8_t> bytes() const { return {data_, size_}; }
    // The bytes from `offset` on for `length` bytes are read no more: where they are mapped,
    // their pages leave the process's memory (they are read from the file again if touched).
    void release(std::size_t offset, std::size_t length) const;

private:
    const std::uint8_t* data_ = nullptr;
    std::size_t size_ = 0;
    std::unique_ptr<std::uint8_t[]> owned_;  // the bytes read, where they are not mapped
};

}  // namespace pyrolith
