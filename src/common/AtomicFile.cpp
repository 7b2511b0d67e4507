#include "common/AtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "common/Error.h"
#include "common/FileError.h"

namespace pyrolith {
namespace {

constexpr mode_t kAnyWriteBit = S_IWUSR | S_IWGRP | S_IWOTH;

mode_t CurrentUmask()
{
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return mask;
}

}  // namespace

AtomicFile::AtomicFile(std::filesystem::path target) : target_(std::move(target))
{
    std::filesystem::path folder = target_.parent_path();
    if (folder.empty()) {
        folder = ".";
    }
    struct stat folderInfo {};
    if (::stat(folder.c_str(), &folderInfo) != 0) {
        throw Error(FileErrorText(errno));
    }
    if (!S_ISDIR(folderInfo.st_mode)) {
        throw Error(FileErrorText(ENOTDIR));
    }
    if ((folderInfo.st_mode & kAnyWriteBit) == 0) {
        throw Error(FileErrorText(EACCES));
    }
    mode_t mode = 0666 & ~CurrentUmask();
    struct stat targetInfo {};
    if (::stat(target_.c_str(), &targetInfo) == 0) {
        if (S_ISDIR(targetInfo.st_mode)) {
            throw Error(FileErrorText(EISDIR));
        }
        if ((targetInfo.st_mode & kAnyWriteBit) == 0) {
            throw Error(FileErrorText(EACCES));
        }
        mode = targetInfo.st_mode & 07777;
    }

    // A hidden name beside the target; mkstemp fills in the X's.
    std::string hiddenName = ".";
    hiddenName += target_.filename().string();
    hiddenName += ".XXXXXX";
    const std::string pattern = (folder / hiddenName).string();
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    fd_ = ::mkstemp(name.data());
    if (fd_ < 0) {
        throw Error(FileErrorText(errno));
    }
    tempPath_ = name.data();
    if (::fchmod(fd_, mode) != 0) {
        fail(errno);
    }
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
    if (fd_ < 0) {
        throw Error(FileErrorText(EBADF));
    }
    while (size > 0) {
        const ssize_t n = ::write(fd_, data, size);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            fail(errno);
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
}

void AtomicFile::commit()
{
    flushBuffer();
    if (::fsync(fd_) != 0 && errno != EINVAL) {
        fail(errno);
    }
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) {
        const int error = errno;
        ::unlink(tempPath_.c_str());
        tempPath_.clear();
        throw Error(FileErrorText(error));
    }
    if (::rename(tempPath_.c_str(), target_.c_str()) != 0) {
        const int error = errno;
        ::unlink(tempPath_.c_str());
        tempPath_.clear();
        throw Error(FileErrorText(error));
    }
    tempPath_.clear();
}

void AtomicFile::fail(int errorCode)
{
    discard();
    throw Error(FileErrorText(errorCode));
}

void AtomicFile::discard() noexcept
{
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    if (!tempPath_.empty()) {
        ::unlink(tempPath_.c_str());
        tempPath_.clear();
    }
    used_ = 0;
}

}  // namespace pyrolith
