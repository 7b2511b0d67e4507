#include "cli/CliMaterial.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cmath>
#include <functional>
#include <iostream>
#include <string>
#include <vector>

#include "cli/CliClock.h"
#include "cli/CliSettings.h"
#include "common/Error.h"
#include "common/NumberText.h"
#include "common/PathText.h"
#include "material/LabelFont.h"
#include "material/RampMeasure.h"
#include "material/TestGrid.h"
#include "material/ToneRamp.h"
#include "settings/SettingsFiles.h"

namespace pyrolith::cli {
namespace {

// The options every material command takes.
struct Common {
    std::string profile;
    std::vector<std::string> assignments;

    void add(CLI::App& app)
    {
        app.add_option("--profile", profile, "Read the job settings from this profile file")
            ->option_text("FILE");
        app.add_option("--set", assignments, "Set one setting after the profile; repeatable")
            ->option_text("KEY=VALUE")
            ->take_all();
    }
};

// Parses the arguments and runs `body`, turning its errors into the exit status.
int Run(CLI::App& app, int argc, char** argv, const char* usage, const std::function<void()>& body)
{
    app.allow_windows_style_options(false);
    try {
        // The arguments after the command's name, in UTF-8 on every system.
        std::vector<std::string> arguments = Utf8Arguments(argc, argv);
        arguments.erase(arguments.begin());
        std::reverse(arguments.begin(), arguments.end());
        app.parse(arguments);
    } catch (const CLI::CallForHelp& help) {
        return app.exit(help);
    } catch (const CLI::ParseError& error) {
        std::cerr << "pyrolith-cli: " << error.what() << "\nusage: " << usage << "\n";
        return 2;
    }
    try {
        body();
    } catch (const UsageError& error) {
        std::cerr << "pyrolith-cli: " << error.what() << "\nusage: " << usage << "\n";
        return 2;
    } catch (const Error& error) {
        std::cerr << "pyrolith-cli: " << error.what() << "\n";
        return 1;
    } catch (const std::bad_alloc&) {
        std::cerr << "pyrolith-cli: Out of memory\n";
        return 1;
    }
    return 0;
}

JobEnvironment Environment(const std::string& what)
{
    const auto clock = JobDateTime();
    JobEnvironment environment;
    environment.decimalSeparator = LocaleDecimalSeparator();
    environment.date = clock.date;
    environment.time = clock.time;
    environment.versionText = PYROLITH_VERSION_TEXT;
    environment.imageFileName = what;
    return environment;
}

GridRange RangeOption(const std::string& text, const char* option)
{
    const std::optional<GridRange> range = ParseGridRange(text);
    if (!range) {
        throw UsageError(std::string(option) + " needs FIRST:LAST:COUNT, got '" + text + "'");
    }
    return *range;
}

} // namespace

int RunTestGrid(int argc, char** argv)
{
    constexpr const char* usage =
        "pyrolith-cli test-grid [--powers A:B:N] [--speeds A:B:M] [--size MM] "
        "[--profile FILE] [--set KEY=VALUE]... OUTPUT.gcode";
    CLI::App app{"Writes the material test grid: squares at several powers and speeds, "
                 "labelled.",
                 "pyrolith-cli test-grid"};
    Common common;
    common.add(app);
    std::string powers;
    std::string speeds;
    double size = 5;
    std::string output;
    app.add_option("--powers", powers,
                   "Powers in percent of the on command's S number, one column each "
                   "(default 10:100:10)")
        ->option_text("A:B:N");
    app.add_option("--speeds", speeds,
                   "Speeds, one row each (default the Laser On speed / 4 to the Laser On "
                   "speed in 5 rows)")
        ->option_text("A:B:M");
    app.add_option("--size", size, "The side of a square in millimetres (default 5)")
        ->option_text("MM");
    app.add_option("OUTPUT", output, "The G-code file to write")->required();
    return Run(app, argc, argv, usage, [&] {
        const JobSettings settings = SettingsFromOptions(common.profile, common.assignments);
        TestGridOptions options;
        if (!powers.empty()) {
            options.powers = RangeOption(powers, "--powers");
        }
        if (!speeds.empty()) {
            options.speeds = RangeOption(speeds, "--speeds");
        }
        options.squareMm = size;
        const JobEnvironment environment = Environment("Material test grid");
        options.title = (common.profile.empty() ? std::string("Default settings")
                                                : ProfileLabel(PathFromUtf8(common.profile))) +
                        "  " + environment.date;
        WriteTestGridFile(PathFromUtf8(output), settings, options, environment);
        if (!LabelFontAvailable()) {
            std::cerr << "pyrolith-cli: this build has no label font: the grid is burned "
                         "without labels (powers rise to the right, speeds downward)\n";
        }
    });
}

int RunTestRamp(int argc, char** argv)
{
    constexpr const char* usage =
        "pyrolith-cli test-ramp [--profile FILE] [--set KEY=VALUE]... OUTPUT.gcode";
    CLI::App app{"Writes the tone ramp: 16 grey patches from no power to full power in a "
                 "frame, to photograph for measure-ramp.",
                 "pyrolith-cli test-ramp"};
    Common common;
    common.add(app);
    std::string output;
    app.add_option("OUTPUT", output, "The G-code file to write")->required();
    return Run(app, argc, argv, usage, [&] {
        const JobSettings settings = SettingsFromOptions(common.profile, common.assignments);
        WriteToneRampFile(PathFromUtf8(output), settings, Environment("Tone ramp"));
    });
}

int RunMeasureRamp(int argc, char** argv)
{
    constexpr const char* usage =
        "pyrolith-cli measure-ramp PHOTO [--profile FILE] [--set KEY=VALUE]... "
        "[--save-profile FILE]";
    CLI::App app{"Reads a photo of the burned tone ramp: the tone of each patch and the tone "
                 "curve of the material.",
                 "pyrolith-cli measure-ramp"};
    Common common;
    common.add(app);
    std::string photo;
    std::string saveProfile;
    app.add_option("PHOTO", photo, "The photo or scan of the burned ramp")->required();
    app.add_option("--save-profile", saveProfile,
                   "Write the settings with the measured curve as ToneCurve into this profile")
        ->option_text("FILE");
    return Run(app, argc, argv, usage, [&] {
        JobSettings settings = SettingsFromOptions(common.profile, common.assignments);
        const RampReading reading = MeasureRampFile(PathFromUtf8(photo), settings);
        std::cout << "Patch  Power  Tone\n";
        for (std::size_t k = 0; k < reading.tones.size(); ++k) {
            std::string line = std::to_string(k + 1);
            line.resize(7, ' ');
            line += FloattoStrFDelim(reading.powers[k], FloatFormat::Fixed, 12, 3);
            line.resize(14, ' ');
            line += PlainNumber(std::round(reading.tones[k]), 12);
            std::cout << line << "\n";
        }
        settings.ToneCurve = ToneCurveText(reading.curve);
        std::cout << "ToneCurve=" << settings.ToneCurve << "\n";
        if (!saveProfile.empty()) {
            MakeIniFile(PathFromUtf8(saveProfile), settings, AppSettings());
        }
    });
}

} // namespace pyrolith::cli
