#include "cli/CliCheck.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <fstream>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "cli/CliSettings.h"
#include "common/AsciiCase.h"
#include "common/Error.h"
#include "gcode/JobHeader.h"
#include "toolpath/MachineProfile.h"
#include "toolpath/MotionPlanner.h"

namespace pyrolith::cli {

namespace {

// The flavor a job of this program names in its header; nothing for another file.
std::optional<GcodeFlavor> FlavorOfFile(const std::filesystem::path& path)
{
    std::ifstream file(path, std::ios::binary);
    std::string head(16 * 1024, '\0');
    file.read(head.data(), static_cast<std::streamsize>(head.size()));
    head.resize(static_cast<std::size_t>(std::max<std::streamsize>(file.gcount(), 0)));
    return FlavorNamedInHeader(head);
}

bool SetsFlavor(const std::vector<std::string>& assignments)
{
    for (const std::string& assignment : assignments) {
        if (EqualNoCase(std::string_view(assignment).substr(0, assignment.find('=')), "GRBL")) {
            return true;
        }
    }
    return false;
}

}  // namespace

std::string ReportEstimate(const toolpath::FileEstimate& estimate, std::ostream& err,
                           bool lateBurns)
{
    for (const toolpath::Problem& problem : estimate.problems) {
        err << "Warning: line " << problem.line << ": " << problem.reason << "\n";
    }
    if (estimate.problemCount > estimate.problems.size()) {
        err << "Warning: " << estimate.problemCount - estimate.problems.size()
            << " more lines the firmware would refuse\n";
    }
    if (lateBurns && estimate.lateBurn.shortRuns > 0) {
        err << "Warning: " << toolpath::LateBurnWarning(estimate.lateBurn, false) << "\n";
    }
    return "Estimated time: " + toolpath::DurationText(estimate.times.seconds);
}

int RunCheck(int argc, char** argv)
{
    CLI::App app{"Reads a G-code file: the time estimate and the lines the firmware refuses.",
                 "pyrolith-cli check"};
    std::string profile;
    std::vector<std::string> assignments;
    std::string input;
    app.add_option("--profile", profile,
                   "Read the flavor and machine from this profile file (without it, a job of "
                   "this program is read in the flavor its header names)")
        ->option_text("FILE");
    app.add_option("--set", assignments, "Set one setting after the profile; repeatable")
        ->option_text("KEY=VALUE")
        ->take_all();
    app.add_option("FILE", input, "The G-code file to read")->required();
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& help) {
        return app.exit(help);
    } catch (const CLI::ParseError& error) {
        std::cerr << "pyrolith-cli: " << error.what() << "\n"
                  << "usage: pyrolith-cli check [--profile FILE] [--set KEY=VALUE]... "
                     "FILE.gcode\n";
        return 2;
    }
    try {
        JobSettings settings = SettingsFromOptions(profile, assignments);
        const std::filesystem::path path(input);
        // Without a profile or a flavor of its own, a job of ours is read in the flavor its
        // header names.
        if (profile.empty() && !SetsFlavor(assignments)) {
            if (const std::optional<GcodeFlavor> named = FlavorOfFile(path)) {
                settings.GRBL = *named == GcodeFlavor::Grbl;
                std::cout << "Flavor: " << FlavorName(*named) << ", as the job's header says\n";
            }
        }
        const toolpath::FileEstimate estimate =
            toolpath::EstimateFile(path, toolpath::MachineProfileOf(settings));
        std::cout << ReportEstimate(estimate, std::cerr) << "\n";
    } catch (const UsageError& error) {
        std::cerr << "pyrolith-cli: " << error.what() << "\n";
        return 2;
    } catch (const Error& error) {
        std::cerr << "pyrolith-cli: " << error.what() << "\n";
        return 1;
    }
    return 0;
}

}  // namespace pyrolith::cli
