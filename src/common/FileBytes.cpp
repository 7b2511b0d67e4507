#include "common/FileBytes.h"

#include <algorithm>
#include <cerrno>

#include "common/FileError.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace pyrolith {

#ifdef _WIN32

namespace {

FileReadError LastReadError()
{
    const DWORD error = ::GetLastError();
    const bool missing = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ||
                         error == ERROR_INVALID_NAME || error == ERROR_BAD_NETPATH;
    std::string text = LastFileErrorText();
    return {missing ? FileReadError::Kind::Missing : FileReadError::Kind::Refused, text};
}

// Closes the handle on every way out.
struct HandleCloser {
    HANDLE handle;
    ~HandleCloser() { ::CloseHandle(handle); }
};

}  // namespace

FileBytes::FileBytes(const std::filesystem::path& path, std::uint64_t maxBytes, bool /*streamed*/)
{
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        throw FileReadError(FileReadError::Kind::Folder, FileErrorText(EISDIR));
    }
    const HANDLE file = ::CreateFileW(path.c_str(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        throw LastReadError();
    }
    const HandleCloser closer{file};
    if (::GetFileType(file) != FILE_TYPE_DISK) {
        throw FileReadError(FileReadError::Kind::NotRegular, "Not a regular file");
    }
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(file, &size)) {
        throw LastReadError();
    }
    const auto bytes = static_cast<std::uint64_t>(size.QuadPart);
    if (bytes > maxBytes || bytes > std::numeric_limits<std::size_t>::max()) {
        throw FileReadError(FileReadError::Kind::TooLarge, FileErrorText(EFBIG));
    }
    size_ = static_cast<std::size_t>(bytes);
    owned_ = std::make_unique_for_overwrite<std::uint8_t[]>(size_);
    std::size_t used = 0;
    while (used < size_) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(size_ - used, 1u << 30));
        DWORD got = 0;
        if (!::ReadFile(file, owned_.get() + used, chunk, &got, nullptr)) {
            throw LastReadError();
        }
        if (got == 0) {
            break;  // the file shrank since its size was taken
        }
        used += got;
    }
    size_ = used;
    data_ = owned_.get();
}

FileBytes::~FileBytes() = default;

void FileBytes::release(std::size_t /*offset*/, std::size_t /*length*/) const {}

#else

namespace {

FileReadError ReadError(int code)
{
    const bool missing = code == ENOENT || code == ENOTDIR;
    return {missing ? FileReadError::Kind::Missing : FileReadError::Kind::Refused,
            FileErrorText(code)};
}

struct DescriptorCloser {
    int fd;
    ~DescriptorCloser() { ::close(fd); }
};

}  // namespace

FileBytes::FileBytes(const std::filesystem::path& path, std::uint64_t maxBytes, bool streamed)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        throw ReadError(errno);
    }
    const DescriptorCloser closer{fd};
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        throw ReadError(errno);
    }
    if (S_ISDIR(info.st_mode)) {
        throw FileReadError(FileReadError::Kind::Folder, FileErrorText(EISDIR));
    }
    if (!S_ISREG(info.st_mode)) {
        throw FileReadError(FileReadError::Kind::NotRegular, "Not a regular file");
    }
    const auto bytes = static_cast<std::uint64_t>(info.st_size);
    if (info.st_size < 0 || bytes > maxBytes || bytes > std::numeric_limits<std::size_t>::max()) {
        throw FileReadError(FileReadError::Kind::TooLarge, FileErrorText(EFBIG));
    }
    size_ = static_cast<std::size_t>(bytes);
    if (size_ > 0) {
        int flags = MAP_PRIVATE;
#ifdef MAP_POPULATE
        if (!streamed) {
            flags |= MAP_POPULATE;  // one call instead of a fault for every page
        }
#endif
        void* address = ::mmap(nullptr, size_, PROT_READ, flags, fd, 0);
        if (address == MAP_FAILED) {
            throw ReadError(errno);
        }
        data_ = static_cast<const std::uint8_t*>(address);
    }
}

void FileBytes::release(std::size_t offset, std::size_t length) const
{
    const auto page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
    const std::size_t end = std::min(offset + length, size_);
    const std::size_t first = (offset + page - 1) / page * page; // whole pages inside only
    const std::size_t last = end == size_ ? end : end / page * page;
    if (data_ != nullptr && first < last) {
        ::madvise(const_cast<std::uint8_t*>(data_) + first, last - first, MADV_DONTNEED);
    }
}

FileBytes::~FileBytes()
{
    if (data_ != nullptr) {
        ::munmap(const_cast<std::uint8_t*>(data_), size_);
    }
}

#endif

}  // namespace pyrolith
