#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "common/Error.h"
#include "machine/MachineJob.h"

namespace {

using namespace pyrolith;

// A job sent to the machine is never saved, so it must be refused exactly where a saved one
// is: a pitch that reads as 0 would switch the laser on and off over one spot.
TEST(MachineJob, JobAndFrameAreRefusedLikeASavedJob)
{
    const MonoBitmap picture = MonoBitmap::FromBlackMask(2, 1, std::vector<std::uint8_t>{1, 0});
    JobSettings settings;
    settings.DistPerPixel = ".";
    const std::string expected = "Travel, per pixel: '.' is not a number greater than 0";
    const auto refusal = [&](const auto& make) {
        try {
            make();
        } catch (const Error& error) {
            EXPECT_EQ(error.fieldKey(), "DistPerPixel");
            return std::string(error.what());
        }
        return std::string("accepted");
    };
    EXPECT_EQ(refusal([&] { machine::MachineJobLines(settings, picture, JobEnvironment{}); }),
              expected);
    EXPECT_EQ(refusal([&] { machine::FrameJobLines(settings, picture, '.'); }), expected);

    // A usable job is the saved one, line for line.
    settings.DistPerPixel = "0.1";
    const auto file = std::filesystem::temp_directory_path() /
                      ("machine-job-" + std::to_string(std::random_device{}()) + ".gcode");
    WriteJobFile(file, settings, picture, JobEnvironment{});
    std::ifstream in(file, std::ios::binary);
    const std::string saved{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    std::filesystem::remove(file);
    EXPECT_EQ(machine::MachineJobLines(settings, picture, JobEnvironment{}),
              machine::JobLines(saved));
}

}  // namespace
