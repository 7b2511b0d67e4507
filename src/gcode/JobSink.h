#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

#include "common/AtomicFile.h"

namespace pyrolith {

// Where the lines of a job go: one buffer that is handed on in large blocks. The section
// writers append pieces and end each line with CR LF; nothing of the job is kept beyond the
// buffer.
class JobSink {
public:
    JobSink(const JobSink&) = delete;
    JobSink& operator=(const JobSink&) = delete;
    virtual ~JobSink() = default;

    void append(std::string_view text)
    {
        if (text.size() <= static_cast<std::size_t>(end_ - next_)) {
            std::memcpy(next_, text.data(), text.size());
            next_ += text.size();
        } else {
            appendSlow(text);
        }
    }
    void endLine() { append(std::string_view("\r\n", 2)); }
    // The text and CR LF.
    void line(std::string_view text)
    {
        append(text);
        endLine();
    }

    // Hands everything appended so far on.
    void drain();

protected:
    JobSink(char* buffer, std::size_t size) : begin_(buffer), next_(buffer), end_(buffer + size) {}
    // Receives a full or final block: the buffer's bytes, or a text too long for the buffer.
    virtual void take(std::string_view block) = 0;
    // The buffer the next pieces go to; take() may hand on the old one and switch.
    void useBuffer(char* buffer, std::size_t size)
    {
        begin_ = buffer;
        next_ = buffer;
        end_ = buffer + size;
    }

private:
    void appendSlow(std::string_view text);

    char* begin_;
    char* next_;
    char* end_;
};

// Collects the job in memory (tests, previews).
class StringJobSink final : public JobSink {
public:
    StringJobSink() : JobSink(buffer_, sizeof buffer_) {}
    // Everything appended so far.
    const std::string& text()
    {
        drain();
        return text_;
    }

private:
    void take(std::string_view block) override { text_.append(block); }

    std::string text_;
    char buffer_[4096];
};

// Writes the job through an AtomicFile: the target is replaced only by commit(), and a sink
// destroyed without commit() leaves no file behind. Errors throw pyrolith::Error with the
// file error's text.
class FileJobSink final : public JobSink {
public:
    explicit FileJobSink(const std::filesystem::path& target);
    ~FileJobSink() override;

    void commit();

    // What was written so far: bytes, and lines (each ends with CR LF).
    std::uint64_t bytes() const { return bytes_; }
    std::uint64_t lines() const { return lines_; }

private:
    static constexpr std::size_t kBufferSize = std::size_t{1} << 18;

    FileJobSink(const std::filesystem::path& target, std::unique_ptr<char[]> buffer);
    void take(std::string_view block) override;

    std::unique_ptr<char[]> buffer_;
    AtomicFile file_;
    std::uint64_t bytes_ = 0;
    std::uint64_t lines_ = 0;
};

} // namespace pyrolith
