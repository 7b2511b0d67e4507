// pyrolith-cli: writes the G-code job for a picture, byte for byte what the window's
// "Save G-code" writes with the same settings, and warns of every line of it the firmware
// would refuse. "pyrolith-cli check FILE.gcode" reads any G-code file (cli/CliCheck.h);
// "pyrolith-cli send --port PORT FILE.gcode" streams one to a machine (cli/CliSend.h).
//
// Exit status: 0 success, 1 a job error (message on standard error, OUTPUT untouched),
// 2 a usage error.

#include <CLI/CLI.hpp>

#include <algorithm>
#include <clocale>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cli/CliCheck.h"
#include "cli/CliClock.h"
#include "cli/CliMaterial.h"
#include "cli/CliSend.h"
#include "cli/CliSettings.h"
#include "common/Error.h"
#include "common/FileError.h"
#include "common/PageMemory.h"
#include "common/PathText.h"
#include "gcode/JobWriter.h"
#include "image/Bitmap.h"
#include "image/JobPicture.h"
#include "common/NumberText.h"
#include "image/PngWriter.h"
#include "toolpath/JobReadback.h"
#include "toolpath/MachineProfile.h"
#include "toolpath/SpeedLimits.h"
#include "toolpath/ToolpathPreview.h"

namespace {

namespace fs = std::filesystem;

constexpr const char* kUsage =
    "usage: pyrolith-cli [--profile FILE] [--set KEY=VALUE]... [--decimal-separator C] "
    "[--mono FILE.bmp] [--estimate] [--preview FILE.png] INPUT OUTPUT.gcode\n"
    "       pyrolith-cli check [--profile FILE] [--set KEY=VALUE]... FILE.gcode\n"
    "       pyrolith-cli send --port PORT [options] FILE.gcode\n"
    "       pyrolith-cli test-grid [--powers A:B:N] [--speeds A:B:M] [--size MM] "
    "[--profile FILE] [--set KEY=VALUE]... OUTPUT.gcode\n"
    "       pyrolith-cli test-ramp [--profile FILE] [--set KEY=VALUE]... OUTPUT.gcode\n"
    "       pyrolith-cli measure-ramp PHOTO [--profile FILE] [--set KEY=VALUE]... "
    "[--save-profile FILE]";

// The subcommands, one line each, at the end of --help.
constexpr const char* kSubcommands =
    "Subcommands (each has its own --help):\n"
    "  check FILE.gcode         Reads a G-code file: the estimated time and every line the\n"
    "                           firmware would refuse\n"
    "  send --port PORT FILE    Streams a G-code file to a GRBL controller or a 3D printer\n"
    "  test-grid OUTPUT         Writes the material test grid: squares at several powers and\n"
    "                           speeds, labelled\n"
    "  test-ramp OUTPUT         Writes the tone ramp to photograph for measure-ramp\n"
    "  measure-ramp PHOTO       Reads a photo of the burned ramp into the material's tone curve";

int UsageError(const std::string& detail)
{
    std::cerr << "pyrolith-cli: " << detail << "\n" << kUsage << "\n";
    return 2;
}

int JobError(const std::string& message)
{
    std::cerr << "pyrolith-cli: " << message << "\n";
    return 1;
}

}  // namespace

int main(int argc, char** argv)
{
    // The environment's locale gives the default decimal separator and the date and time
    // texts; the core's number text never depends on it.
    std::setlocale(LC_ALL, "");
    pyrolith::IgnoreFileSizeSignal();
    pyrolith::UseUtf8Console();
    if (argc >= 2 && std::string_view(argv[1]) == "send") {
        return pyrolith::cli::RunSend(argc - 1, argv + 1);
    }
    if (argc > 1 && std::string(argv[1]) == "check") {
        return pyrolith::cli::RunCheck(argc - 1, argv + 1);
    }
    if (argc >= 2 && std::string_view(argv[1]) == "test-grid") {
        return pyrolith::cli::RunTestGrid(argc, argv);
    }
    if (argc >= 2 && std::string_view(argv[1]) == "test-ramp") {
        return pyrolith::cli::RunTestRamp(argc, argv);
    }
    if (argc >= 2 && std::string_view(argv[1]) == "measure-ramp") {
        return pyrolith::cli::RunMeasureRamp(argc, argv);
    }

    CLI::App app{"Writes the G-code raster-engraving job for a picture.", "pyrolith-cli"};
    // CLI11 would read "/name" as an option on Windows; a path may start with "/" there too.
    app.allow_windows_style_options(false);
    std::string profile;
    std::vector<std::string> assignments;
    std::string separator;
    std::string monoPath;
    std::string input;
    std::string output;
    bool estimate = false;
    std::string previewPath;
    app.add_option("--profile", profile, "Read the job settings from this profile file")
        ->option_text("FILE");
    app.add_option("--set", assignments,
                   "Set one setting after the profile (KEY is a profile key, any letter case, "
                   "or IndicateLeftCenter / LeftCenterDwellTime); repeatable")
        ->option_text("KEY=VALUE")
        ->take_all();
    app.add_option("--decimal-separator", separator,
                   "Decimal separator of the strict number reading (default: the locale's)")
        ->option_text("C");
    app.add_option("--mono", monoPath, "Also write the black-and-white image as a 4-bit bitmap")
        ->option_text("FILE.bmp");
    app.add_flag("--estimate", estimate,
                 "Print the estimated time of the job after the size lines");
    app.add_option("--preview", previewPath,
                   "Also draw the toolpath as the window's Job view does, one pixel per pixel "
                   "pitch (the longer side at most 8000 pixels)")
        ->option_text("FILE.png");
    app.add_option("INPUT", input,
                   "The picture to engrave: a bitmap (.bmp), PNG, JPEG, GIF, TIFF or WebP")
        ->required();
    app.add_option("OUTPUT", output, "The G-code file to write")->required();
    app.set_version_flag("--version", std::string("pyrolith-cli ") + PYROLITH_VERSION_TEXT);
    app.footer(kSubcommands);

    try {
        // CLI11 takes the arguments last first.
        std::vector<std::string> arguments = pyrolith::Utf8Arguments(argc, argv);
        std::reverse(arguments.begin(), arguments.end());
        app.parse(arguments);
    } catch (const CLI::CallForHelp& help) {
        return app.exit(help);
    } catch (const CLI::CallForVersion& version) {
        return app.exit(version);
    } catch (const CLI::ParseError& error) {
        return UsageError(error.what());
    }

    char decimalSeparator = pyrolith::cli::LocaleDecimalSeparator();
    if (!separator.empty()) {
        if (separator.size() != 1) {
            return UsageError("--decimal-separator takes one character");
        }
        decimalSeparator = separator[0];
    }

    try {
        const pyrolith::JobSettings settings =
            pyrolith::cli::SettingsFromOptions(profile, assignments);

        const fs::path inputPath = pyrolith::PathFromUtf8(input);
        const pyrolith::JobPicture job = pyrolith::ReadJobPicture(inputPath, settings);
        pyrolith::ReturnFreeHeapMemory();  // the decoder's, before the job's threads start
        // A Grayscale job burns the power levels of the grey picture, any other job the
        // black-and-white image.
        const bool grey = pyrolith::EngravesPowerLevels(settings);
        const std::int32_t width = grey ? job.gray.width : job.picture.width();
        const std::int32_t height = grey ? job.gray.height : job.picture.height();

        const auto clock = pyrolith::cli::JobDateTime();
        pyrolith::JobEnvironment environment;
        environment.decimalSeparator = decimalSeparator;
        environment.date = clock.date;
        environment.time = clock.time;
        environment.versionText = PYROLITH_VERSION_TEXT;
        environment.imageFileName = pyrolith::Utf8FromPath(inputPath.filename());
        environment.sourceWidth = job.sourceWidth;
        environment.sourceHeight = job.sourceHeight;
        // The job is written and read back as the firmware will read it in one pass.
        namespace tp = pyrolith::toolpath;
        const fs::path outputPath = pyrolith::PathFromUtf8(output);
        std::optional<tp::JobPreview> preview;
        tp::FileEstimate check;
        if (previewPath.empty()) {
            check = grey ? tp::SaveJob(outputPath, settings, job.gray, environment).estimate
                         : tp::SaveJob(outputPath, settings, job.picture, environment).estimate;
        } else {
            preview = grey ? tp::SaveJobWithPreview(outputPath, settings, job.gray, environment).preview
                           : tp::SaveJobWithPreview(outputPath, settings, job.picture, environment)
                                 .preview;
        }
        if (!monoPath.empty()) {
            // In Grayscale mode: the picture in the 16 greys the window shows.
            pyrolith::WriteBitmap(pyrolith::PathFromUtf8(monoPath),
                                  grey ? pyrolith::MonoFromGray(job.gray,
                                                                pyrolith::ImageMode::Grayscale, 0)
                                       : job.picture);
        }

        for (const std::string& speed : tp::SpeedsAboveMaxRate(settings)) {
            std::cerr << "Warning: " << speed << "\n";
        }
        const std::string estimateLine = pyrolith::cli::ReportEstimate(
            preview ? preview->estimate : check, std::cerr, estimate);
        if (preview) {
            const double pitch = pyrolith::MyStrtoFloat(settings.DistPerPixel, decimalSeparator) *
                                 (settings.UseInches ? 25.4 : 1.0);
            constexpr int kMaxPreviewSide = 8000;
            const tp::PreviewView view =
                tp::FitView(preview->bounds, pitch > 0.0 ? 1.0 / pitch : 10.0, kMaxPreviewSide);
            pyrolith::WritePng(pyrolith::PathFromUtf8(previewPath), tp::RenderPreview(*preview, view));
        }

        std::cout << pyrolith::OriginalSizeLine(job.sourceWidth, job.sourceHeight) << "\n"
                  << pyrolith::FinalSizeLine(width, height, settings.DistPerPixel,
                                             settings.UseInches, decimalSeparator)
                  << "\n";
        if (estimate) {
            std::cout << estimateLine << "\n";
        }
    } catch (const pyrolith::cli::UsageError& error) {
        return UsageError(error.what());
    } catch (const pyrolith::Error& error) {
        return JobError(error.what());
    } catch (const std::bad_alloc&) {
        return JobError("Out of memory");
    }
    return 0;
}
