#include "toolpath/TextBlockQueue.h"

namespace pyrolith::toolpath {

TextBlockQueue::TextBlockQueue() : storage_(std::make_unique<char[]>(kBlockSize * kBlocks))
{
    for (std::size_t i = 0; i < kBlocks; ++i) {
        empty_.push_back(storage_.get() + i * kBlockSize);
    }
}

char* TextBlockQueue::emptyBlock()
{
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return !empty_.empty() || stopped_; });
    if (stopped_) {
        throw Stopped{};
    }
    char* block = empty_.back();
    empty_.pop_back();
    return block;
}

void TextBlockQueue::push(char* block, std::size_t size)
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (stopped_) {
            empty_.push_back(block);
            throw Stopped{};
        }
        full_.push_back(Block{block, size});
    }
    changed_.notify_all();
}

void TextBlockQueue::close()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        closed_ = true;
    }
    changed_.notify_all();
}

void TextBlockQueue::abandon()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        closed_ = true;
        for (const Block& block : full_) {
            empty_.push_back(block.data);
        }
        full_.clear();
    }
    changed_.notify_all();
}

void TextBlockQueue::recycleCurrent()
{
    if (current_ != nullptr) {
        empty_.push_back(current_);
        current_ = nullptr;
    }
}

bool TextBlockQueue::next(std::string_view& block)
{
    std::unique_lock<std::mutex> lock(mutex_);
    recycleCurrent();
    changed_.notify_all();
    changed_.wait(lock, [this] { return !full_.empty() || closed_; });
    if (full_.empty()) {
        return false;
    }
    current_ = full_.front().data;
    block = std::string_view(current_, full_.front().size);
    full_.pop_front();
    return true;
}

void TextBlockQueue::stop()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopped_ = true;
        recycleCurrent();
    }
    changed_.notify_all();
}

}  // namespace pyrolith::toolpath
