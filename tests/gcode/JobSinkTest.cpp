#include "gcode/JobSink.h"

#include <gtest/gtest.h>

#include <filesystem>
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

// The size a file sink reports is the file's: its bytes, and its lines counted across blocks
// of the large buffer at any alignment.
TEST(JobSink, FileSinkCountsLinesAndBytes)
{
    const auto target = std::filesystem::temp_directory_path() / "pyrolith-sink-count.gcode";
    std::uint64_t bytes = 0;
    FileJobSink sink(target);
    for (std::size_t i = 0; i < 60000; ++i) {
        const std::string piece(i % 37, '\n' + 1);
        sink.line(piece);
        bytes += piece.size() + 2;
    }
    sink.commit();
    EXPECT_EQ(sink.lines(), 60000u);
    EXPECT_EQ(sink.bytes(), bytes);
    EXPECT_EQ(std::filesystem::file_size(target), bytes);
    std::filesystem::remove(target);
}

} // namespace
} // namespace pyrolith
