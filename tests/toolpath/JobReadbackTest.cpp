// The job read as it is written against the finished file read afterwards: the same estimate
// and the same refused lines for jobs of both flavors, black-and-white and grey; a save that
// fails half-way or is not confirmed leaves no file; a cancelled preview stops both sides.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/resource.h>
#endif

#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "common/Error.h"
#include "common/FileError.h"
#include "gcode/JobTestSupport.h"
#include "support/TestFolder.h"
#include "toolpath/JobReadback.h"
#include "toolpath/MachineProfile.h"

namespace {

using namespace pyrolith;
using namespace pyrolith::toolpath;
namespace fs = std::filesystem;

class Folder : public testing::Test {
protected:
    void SetUp() override
    {
        temp_.emplace("readback");
        folder_ = temp_->path();
    }
    void TearDown() override { temp_.reset(); }

    std::vector<std::string> entries() const
    {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder_)) {
            names.push_back(entry.path().filename().string());
        }
        return names;
    }
    std::string read(const fs::path& path) const
    {
        std::ifstream file(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    }

    std::optional<pyrolith::test::TestFolder> temp_;
    fs::path folder_;
};

// A picture whose job is many blocks of the queue long: a checkerboard.
MonoBitmap Checkerboard(std::int32_t size)
{
    std::vector<std::uint8_t> mask(static_cast<std::size_t>(size) * static_cast<std::size_t>(size));
    for (std::size_t i = 0; i < mask.size(); ++i) {
        mask[i] = (i / static_cast<std::size_t>(size) + i % static_cast<std::size_t>(size)) % 2;
    }
    return MonoBitmap::FromBlackMask(size, size, mask);
}

GrayRaster Ramp(std::int32_t width, std::int32_t height)
{
    GrayRaster gray;
    gray.width = width;
    gray.height = height;
    gray.pixels = PixelBuffer(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
    for (std::size_t i = 0; i < gray.pixels.size(); ++i) {
        gray.pixels[i] = static_cast<std::uint8_t>(i * 37 % 256);
    }
    return gray;
}

JobSettings Settings(bool grbl)
{
    JobSettings s;
    s.GRBL = grbl;
    s.LaserOffCommand = grbl ? "S0" : "M107";
    s.LaserOnCommand = grbl ? "S1000" : "M106 S255";
    s.OnSpeed = "1200";
    s.OffSpeed = "3000";
    s.LaserLowPower = grbl ? "S10" : "M106 S15";
    s.StartComment = "; ";
    s.EndComment = "";
    s.DistPerPixel = "0.1";
    return s;
}

struct ReadbackCase {
    const char* name;
    bool grbl;
    bool grey;
    const char* startOfCode;  // lines a firmware may refuse
};

void PrintTo(const ReadbackCase& c, std::ostream* os)
{
    *os << c.name;
}

class SavedJobReadback : public Folder, public testing::WithParamInterface<ReadbackCase> {};

std::vector<std::string> Problems(const FileEstimate& estimate)
{
    std::vector<std::string> lines;
    for (const Problem& p : estimate.problems) {
        lines.push_back(std::to_string(p.line) + " " + p.reason);
    }
    lines.push_back(std::to_string(estimate.problemCount) + " in all");
    return lines;
}

void ExpectSameEstimate(const FileEstimate& got, const FileEstimate& expected)
{
    EXPECT_EQ(got.times.seconds, expected.times.seconds);
    EXPECT_EQ(got.times.burnSeconds, expected.times.burnSeconds);
    EXPECT_EQ(got.times.moveSeconds, expected.times.moveSeconds);
    EXPECT_EQ(got.times.burnDistance, expected.times.burnDistance);
    EXPECT_EQ(got.times.travelDistance, expected.times.travelDistance);
    EXPECT_EQ(Problems(got), Problems(expected));
}

// The save, the check without a file and the preview all give what reading the saved file
// gives, and the save writes exactly the bytes WriteJobFile writes.
TEST_P(SavedJobReadback, GivesWhatTheFinishedFileGives)
{
    const ReadbackCase& c = GetParam();
    JobSettings settings = Settings(c.grbl);
    settings.UseStartOfCode = true;
    settings.StartOfCode = c.startOfCode;
    if (c.grey) {
        settings.ImageMode = "Grayscale";
    }
    const MonoBitmap mono = Checkerboard(300);
    const GrayRaster grey = Ramp(120, 90);
    JobEnvironment environment;
    environment.versionText = "1.3.0.4";
    const fs::path saved = folder_ / "saved.gcode";
    const fs::path written = folder_ / "written.gcode";
    const MachineProfile machine = MachineProfileOf(settings);

    const auto run = [&](const auto& picture) {
        const SavedJob job = SaveJob(saved, settings, picture, environment);
        const JobFileSummary summary = WriteJobFile(written, settings, picture, environment);
        EXPECT_TRUE(job.saved);
        EXPECT_EQ(job.written.bytes, summary.bytes);
        EXPECT_EQ(job.written.lines, summary.lines);
        EXPECT_EQ(read(saved), read(written));
        const FileEstimate fromFile = EstimateFile(saved, machine);
        ExpectSameEstimate(job.estimate, fromFile);
        ExpectSameEstimate(CheckJob(settings, picture, environment), fromFile);
        const JobPreview preview = PreviewJob(settings, picture, environment);
        ExpectSameEstimate(preview.estimate, fromFile);
        EXPECT_EQ(preview.segments.size(), ReadJobPreviewFile(saved, machine).segments.size());
        EXPECT_EQ(fromFile.problemCount > 0, std::string(c.startOfCode).find('M') == 0)
            << testing::PrintToString(Problems(fromFile));
    };
    if (c.grey) {
        run(grey);
    } else {
        run(mono);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Jobs, SavedJobReadback,
    testing::Values(ReadbackCase{"GrblBlackAndWhite", true, false, "G54"},
                    ReadbackCase{"GrblGrey", true, true, "G54\nM4 S0"},
                    ReadbackCase{"GrblRefusedLines", true, false, "M106 S255\nM107\nM400"},
                    ReadbackCase{"PrinterBlackAndWhite", false, false, "G28"},
                    ReadbackCase{"PrinterGrey", false, true, "G28"},
                    ReadbackCase{"PrinterRefusedLines", false, false, "M3 S100\nM5"}),
    [](const testing::TestParamInfo<ReadbackCase>& info) { return std::string(info.param.name); });

// A save the confirmation turns down leaves the target as it was and no temporary file; the
// confirmation sees the whole job's check.
TEST_F(Folder, SaveNotConfirmedLeavesTheTargetUnchanged)
{
    const fs::path target = folder_ / "job.gcode";
    {
        std::ofstream(target, std::ios::binary) << "M107\r\n";
    }
    JobSettings settings = Settings(true);
    settings.UseStartOfCode = true;
    settings.StartOfCode = "M106 S255";
    std::uint64_t problems = 0;
    const SavedJob job = SaveJob(target, settings, Checkerboard(50), JobEnvironment{},
                                 [&](const FileEstimate& check) {
                                     problems = check.problemCount;
                                     return false;
                                 });
    EXPECT_FALSE(job.saved);
    EXPECT_EQ(problems, 1u);
    EXPECT_EQ(read(target), "M107\r\n");
    EXPECT_EQ(entries(), std::vector<std::string>{"job.gcode"});
}

#ifndef _WIN32
// A file that may not grow past 64 KiB: the writing fails after a few blocks, the reader
// stops with it, and neither the job nor a temporary file is left.
TEST_F(Folder, SaveFailingHalfWayLeavesNoFileAndStopsTheReader)
{
    IgnoreFileSizeSignal();
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    rlimit small = saved;
    small.rlim_cur = 64 * 1024;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    std::string message;
    try {
        SaveJob(folder_ / "job.gcode", Settings(true), Checkerboard(600), JobEnvironment{});
    } catch (const Error& error) {
        message = error.what();
    }
    ::setrlimit(RLIMIT_FSIZE, &saved);
    EXPECT_EQ(message, "File too large");
    EXPECT_TRUE(entries().empty());
}
#endif

// A preview cancelled before it starts returns at once, both threads ended, with none of the
// job's moves; the same preview not cancelled has them all.
TEST(JobPreviewCancel, StopsTheWriterAndTheReader)
{
    const JobSettings settings = Settings(true);
    const MonoBitmap picture = Checkerboard(400);
    const std::atomic<bool> cancelled{true};
    const std::atomic<bool> running{false};
    EXPECT_TRUE(PreviewJob(settings, picture, JobEnvironment{}, &cancelled).segments.empty());
    EXPECT_GT(PreviewJob(settings, picture, JobEnvironment{}, &running).segments.size(),
              400u * 200u);
}

}  // namespace
