#include "gcode/JobSink.h"

#include <gtest/gtest.h>

#include <string>

namespace pyrolith {
namespace {

// Pieces smaller than, equal to and larger than the buffer, crossing its end at every
// offset, arrive whole and in order.
TEST(JobSink, KeepsEveryByteInOrderAcrossBlocks)
{
    StringJobSink sink;
    std::string expected;
    const std::size_t sizes[] = {1, 7, 4095, 4096, 4097, 3, 10000, 0, 2, 8191, 5};
    char next = 'a';
    for (int round = 0; round < 3; ++round) {
        for (const std::size_t size : sizes) {
            const std::string piece(size, next);
            next = next == 'z' ? 'a' : static_cast<char>(next + 1);
            sink.line(piece);
            expected += piece;
            expected += "\r\n";
        }
    }
    EXPECT_EQ(sink.text(), expected);
    // text() may be asked again, and more may follow.
    sink.append("end");
    EXPECT_EQ(sink.text(), expected + "end");
}

} // namespace
} // namespace pyrolith
