#pragma once

#include <cstdint>
#include <string_view>

#include "gcode/JobSink.h"

namespace bench {

// Counts the bytes of the job without writing them: the cost of generating the text alone.
class CountingSink final : public pyrolith::JobSink {
public:
    CountingSink() : JobSink(buffer_, sizeof buffer_) {}
    std::uint64_t bytes() const { return bytes_; }

private:
    void take(std::string_view block) override { bytes_ += block.size(); }
    std::uint64_t bytes_ = 0;
    char buffer_[1 << 18];
};

} // namespace bench
