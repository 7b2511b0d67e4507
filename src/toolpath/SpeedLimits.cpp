#include "toolpath/SpeedLimits.h"

#include <optional>
#include <string_view>

#include "common/NumberText.h"
#include "toolpath/MachineProfile.h"

namespace pyrolith::toolpath {

std::vector<std::string> SpeedsAboveMaxRate(const JobSettings& settings)
{
    const MachineProfile machine = MachineProfileOf(settings);
    const bool yIsSlower = machine.maxRate[1] < machine.maxRate[0];
    const double rate = machine.maxRate[yIsSlower ? 1 : 0];
    const std::string_view unit = settings.UseInches ? " in/min" : " mm/min";
    std::vector<std::string> found;
    const auto check = [&](std::string_view label, const std::string& text) {
        const std::optional<double> speed = ReadTypedNumber(text);
        if (!speed) {
            return;
        }
        const double millimetres = *speed * (settings.UseInches ? 25.4 : 1.0);
        if (millimetres <= rate) {
            return;
        }
        std::string line = std::string(label) + ": " + text + std::string(unit);
        if (settings.UseInches) {
            line += " (" + GcodeNumber(millimetres) + " mm/min)";
        }
        line += " is above the machine's maximum rate of " + GcodeNumber(rate) +
                " mm/min (Machine page, Max rate " + (yIsSlower ? "Y" : "X") + ")";
        found.push_back(std::move(line));
    };
    check("Speeds, Laser Off", settings.OffSpeed);
    check("Speeds, Laser On", settings.OnSpeed);
    if (settings.IndicateBoundary) {
        check("Speeds, Trace", settings.TraceSpeed);
    }
    return found;
}

}  // namespace pyrolith::toolpath
