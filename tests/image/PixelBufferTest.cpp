#include "image/PixelBuffer.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace pyrolith {
namespace {

class PixelBufferTest : public ::testing::TestWithParam<std::size_t> {};

// Small blocks come from the heap, large ones are mapped; both start zeroed, hold what is
// written to them and copy like any vector.
TEST_P(PixelBufferTest, StartsZeroedAndKeepsItsBytes)
{
    const std::size_t size = GetParam();
    PixelBuffer buffer(size);
    ASSERT_EQ(buffer.size(), size);
    EXPECT_TRUE(std::all_of(buffer.begin(), buffer.end(), [](std::uint8_t b) { return b == 0; }));
    for (std::size_t i = 0; i < size; i += 4093) {
        buffer[i] = static_cast<std::uint8_t>(i % 251 + 1);
    }
    buffer.back() = 7;
    const PixelBuffer copy = buffer;
    EXPECT_TRUE(copy == buffer);
    EXPECT_EQ(copy.back(), 7);
    PixelBuffer moved = std::move(buffer);
    EXPECT_TRUE(moved == copy);
    moved.push_back(9); // grows into a new block
    EXPECT_EQ(moved.size(), size + 1);
    EXPECT_TRUE(std::equal(copy.begin(), copy.end(), moved.begin()));
}

INSTANTIATE_TEST_SUITE_P(Sizes, PixelBufferTest,
                         ::testing::Values(1, 4096, (std::size_t{4} << 20) - 1,
                                           std::size_t{4} << 20, (std::size_t{9} << 20) + 3));

} // namespace
} // namespace pyrolith
