#pragma once

// Blocks of text passed from one thread that writes them to one thread that reads them, in
// order, through a fixed number of blocks: the writer waits while every block is full, the
// reader while none is, so the memory in use never grows with the text.
//
// Either side may end it early: the writer with abandon() (the reader then sees the end at
// once, without the blocks still queued), the reader with stop() (the writer's next call then
// throws TextBlockQueue::Stopped).

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>
#include <string_view>
#include <vector>

namespace pyrolith::toolpath {

class TextBlockQueue {
public:
    struct Stopped {};

    static constexpr std::size_t kBlockSize = std::size_t{1} << 18;
    static constexpr std::size_t kBlocks = 8;

    TextBlockQueue();
    TextBlockQueue(const TextBlockQueue&) = delete;
    TextBlockQueue& operator=(const TextBlockQueue&) = delete;

    // Writer: an empty block of kBlockSize bytes, waiting for one to come free.
    char* emptyBlock();
    // Writer: the first `size` bytes of a block from emptyBlock() go to the reader.
    void push(char* block, std::size_t size);
    // Writer: no more blocks; the reader reads those queued, then sees the end.
    void close();
    // Writer: no more blocks, and those queued are dropped.
    void abandon();

    // Reader: the next block, waiting for it; false at the end. The block stays the reader's
    // until the next call.
    bool next(std::string_view& block);
    // Reader: reads no more; the writer is told by Stopped.
    void stop();

private:
    struct Block {
        char* data;
        std::size_t size;
    };
    void recycleCurrent();

    std::unique_ptr<char[]> storage_;
    std::vector<char*> empty_;
    std::deque<Block> full_;
    char* current_ = nullptr;  // the block the reader holds
    bool closed_ = false;
    bool stopped_ = false;
    std::mutex mutex_;
    std::condition_variable changed_;
};

}  // namespace pyrolith::toolpath
