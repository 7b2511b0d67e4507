#include "common/AtomicFile.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>

#include "common/Error.h"
#include "common/FileError.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>
#endif

namespace pyrolith {
namespace {

namespace fs = std::filesystem;

// The system calls of the atomic file, one set per system. Each reports failure by its
// return value; the caller takes the error's text with LastFileErrorText() at once.

#ifdef _WIN32

HANDLE AsHandle(std::intptr_t file)
{
    return reinterpret_cast<HANDLE>(file);
}

// Makes the temporary file beside the target and returns its handle.
std::intptr_t CreateTemporary(const fs::path& folder, const fs::path& target, fs::path& tempPath)
{
    const DWORD folderAttributes = ::GetFileAttributesW(folder.c_str());
    if (folderAttributes == INVALID_FILE_ATTRIBUTES) {
        throw Error(LastFileErrorText());
    }
    if ((folderAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        throw Error(FileErrorText(ENOTDIR));
    }
    const DWORD targetAttributes = ::GetFileAttributesW(target.c_str());
    if (targetAttributes != INVALID_FILE_ATTRIBUTES) {
        if ((targetAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            throw Error(FileErrorText(EISDIR));
        }
        if ((targetAttributes & FILE_ATTRIBUTE_READONLY) != 0) {
            throw Error(FileErrorText(EACCES));
        }
    }
    // A name beside the target that no other writer uses: the process and a counter.
    static std::atomic<unsigned> counter{0};
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::wstring name = L"." + target.filename().native() + L"." +
                                  std::to_wstring(::GetCurrentProcessId()) + L"." +
                                  std::to_wstring(++counter) + L".tmp";
        tempPath = folder / name;
        const HANDLE file = ::CreateFileW(tempPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                          FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            return reinterpret_cast<std::intptr_t>(file);
        }
        if (::GetLastError() != ERROR_FILE_EXISTS) {
            break;
        }
    }
    tempPath.clear();
    throw Error(LastFileErrorText());
}

bool WriteSome(std::intptr_t file, const char* data, std::size_t size, std::size_t& written)
{
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30));
    DWORD done = 0;
    const bool ok = ::WriteFile(AsHandle(file), data, chunk, &done, nullptr) != 0;
    written = done;
    return ok;
}

bool Sync(std::intptr_t file)
{
    return ::FlushFileBuffers(AsHandle(file)) != 0;
}

bool Close(std::intptr_t file)
{
    return ::CloseHandle(AsHandle(file)) != 0;
}

bool MoveOver(const fs::path& from, const fs::path& to)
{
    return ::MoveFileExW(from.c_str(), to.c_str(),
                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

void Remove(const fs::path& path)
{
    ::DeleteFileW(path.c_str());
}

#else

constexpr mode_t kAnyWriteBit = S_IWUSR | S_IWGRP | S_IWOTH;

mode_t CurrentUmask()
{
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return mask;
}

std::intptr_t CreateTemporary(const fs::path& folder, const fs::path& target, fs::path& tempPath)
{
    struct stat folderInfo {};
    if (::stat(folder.c_str(), &folderInfo) != 0) {
        throw Error(LastFileErrorText());
    }
    if (!S_ISDIR(folderInfo.st_mode)) {
        throw Error(FileErrorText(ENOTDIR));
    }
    if ((folderInfo.st_mode & kAnyWriteBit) == 0) {
        throw Error(FileErrorText(EACCES));
    }
    mode_t mode = 0666 & ~CurrentUmask();
    struct stat targetInfo {};
    if (::stat(target.c_str(), &targetInfo) == 0) {
        if (S_ISDIR(targetInfo.st_mode)) {
            throw Error(FileErrorText(EISDIR));
        }
        if ((targetInfo.st_mode & kAnyWriteBit) == 0) {
            throw Error(FileErrorText(EACCES));
        }
        mode = targetInfo.st_mode & 07777;
    }

    // A hidden name beside the target; mkstemp fills in the X's.
    const std::string pattern = (folder / ("." + target.filename().native() + ".XXXXXX")).native();
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    const int fd = ::mkstemp(name.data());
    if (fd < 0) {
        throw Error(LastFileErrorText());
    }
    tempPath = name.data();
    if (::fchmod(fd, mode) != 0) {
        const Error error(LastFileErrorText());
        ::close(fd);
        ::unlink(name.data());
        tempPath.clear();
        throw error;
    }
    return fd;
}

bool WriteSome(std::intptr_t file, const char* data, std::size_t size, std::size_t& written)
{
    for (;;) {
        const ssize_t n = ::write(static_cast<int>(file), data, size);
        if (n >= 0) {
            written = static_cast<std::size_t>(n);
            return true;
        }
        if (errno != EINTR) {
            return false;
        }
    }
}

bool Sync(std::intptr_t file)
{
    return ::fsync(static_cast<int>(file)) == 0 || errno == EINVAL;
}

bool Close(std::intptr_t file)
{
    return ::close(static_cast<int>(file)) == 0;
}

bool MoveOver(const fs::path& from, const fs::path& to)
{
    return ::rename(from.c_str(), to.c_str()) == 0;
}

void Remove(const fs::path& path)
{
    ::unlink(path.c_str());
}

#endif

}  // namespace

AtomicFile::AtomicFile(std::filesystem::path target) : target_(std::move(target))
{
    fs::path folder = target_.parent_path();
    if (folder.empty()) {
        folder = ".";
    }
    file_ = CreateTemporary(folder, target_, tempPath_);
}

AtomicFile::~AtomicFile()
{
    discard();
}

void AtomicFile::write(std::string_view bytes)
{
    if (bytes.size() > kBufferSize - used_) {
        flushBuffer();
        if (bytes.size() >= kBufferSize) {
            writeAll(bytes.data(), bytes.size());
            return;
        }
    }
    std::memcpy(buffer_ + used_, bytes.data(), bytes.size());
    used_ += bytes.size();
}

void AtomicFile::flushBuffer()
{
    writeAll(buffer_, used_);
    used_ = 0;
}

void AtomicFile::writeAll(const char* data, std::size_t size)
{
    if (file_ == -1) {
        throw Error(FileErrorText(EBADF));
    }
    while (size > 0) {
        std::size_t written = 0;
        if (!WriteSome(file_, data, size, written)) {
            fail(LastFileErrorText());
        }
        data += written;
        size -= written;
    }
}

void AtomicFile::commit()
{
    flushBuffer();
    if (!Sync(file_)) {
        fail(LastFileErrorText());
    }
    const std::intptr_t file = file_;
    file_ = -1;
    if (!Close(file) || !MoveOver(tempPath_, target_)) {
        const std::string message = LastFileErrorText();
        Remove(tempPath_);
        tempPath_.clear();
        throw Error(message);
    }
    tempPath_.clear();
}

void AtomicFile::fail(const std::string& message)
{
    discard();
    throw Error(message);
}

void AtomicFile::discard() noexcept
{
    if (file_ != -1) {
        Close(file_);
        file_ = -1;
    }
    if (!tempPath_.empty()) {
        Remove(tempPath_);
        tempPath_.clear();
    }
    used_ = 0;
}

}  // namespace pyrolith
