// pyrolith-cli: writes the G-code job for a bitmap, byte for byte what the window's
// "Save G-code" writes with the same settings, and warns of every line of it the firmware
// would refuse. "pyrolith-cli check FILE.gcode" reads any G-code file (cli/CliCheck.h);
// "pyrolith-cli send --port PORT FILE.gcode" streams one to a machine (cli/CliSend.h).
//
// Exit status: 0 success, 1 a job error (message on standard error, OUTPUT untouched),
// 2 a usage error.

#include <CLI/CLI.hpp>

#include <clocale>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cli/CliCheck.h"
#include "cli/CliClock.h"
#include "cli/CliSend.h"
#include "cli/CliSettings.h"
#include "common/Error.h"
#include "common/FileError.h"
#include "gcode/JobWriter.h"
#include "image/Bitmap.h"

namespace {

namespace fs = std::filesystem;

constexpr const char* kUsage =
    "usage: pyrolith-cli [--profile FILE] [--set KEY=VALUE]... [--decimal-separator C] "
    "[--mono FILE.bmp] [--estimate] INPUT.bmp OUTPUT.gcode\n"
    "       pyrolith-cli check [--profile FILE] [--set KEY=VALUE]... FILE.gcode";

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
    if (argc >= 2 && std::string_view(argv[1]) == "send") {
        return pyrolith::cli::RunSend(argc - 1, argv + 1);
    }
    if (argc > 1 && std::string(argv[1]) == "check") {
        return pyrolith::cli::RunCheck(argc - 1, argv + 1);
    }

    CLI::App app{"Writes the G-code raster-engraving job for a Windows bitmap.", "pyrolith-cli"};
    std::string profile;
    std::vector<std::string> assignments;
    std::string separator;
    std::string monoPath;
    std::string input;
    std::string output;
    bool estimate = false;
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
    app.add_option("INPUT", input, "The bitmap to engrave")->required();
    app.add_option("OUTPUT", output, "The G-code file to write")->required();
    app.set_version_flag("--version", std::string("pyrolith-cli ") + PYROLITH_VERSION_TEXT);

    try {
        app.parse(argc, argv);
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

        const pyrolith::Bitmap source = pyrolith::ReadBitmap(fs::path(input));
        if (source.layout == pyrolith::PixelLayout::Unrecognized) {
            return JobError(pyrolith::UnrecognizedFormatMessage());
        }
        const pyrolith::MonoBitmap picture = pyrolith::MakeMonoBitmap(source);

        const auto clock = pyrolith::cli::JobDateTime();
        pyrolith::JobEnvironment environment;
        environment.decimalSeparator = decimalSeparator;
        environment.date = clock.date;
        environment.time = clock.time;
        environment.versionText = PYROLITH_VERSION_TEXT;
        environment.imageFileName = fs::path(input).filename().string();
        pyrolith::WriteJobFile(fs::path(output), settings, picture, environment);
        if (!monoPath.empty()) {
            pyrolith::WriteBitmap(fs::path(monoPath), picture);
        }

        // The job read back as the firmware will read it.
        const std::string estimateLine =
            pyrolith::cli::CheckGcodeFile(fs::path(output), settings, std::cerr);

        std::cout << pyrolith::OriginalSizeLine(source.width, source.height) << "\n"
                  << pyrolith::FinalSizeLine(source.width, source.height, settings.DistPerPixel,
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
