#include "toolpath/LateBurn.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace pyrolith::toolpath {
namespace {

std::string Fixed(double value, int decimals)
{
    char buffer[64];
    const auto result =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
    return std::string(buffer, result.ptr);
}

}  // namespace

LateBurnCounter::LateBurnCounter(const MachineProfile& machine)
    : counting_(machine.flavor == GcodeFlavor::Printer3D &&
                machine.printerLaser == PrinterLaser::FanCommands)
{
}

void LateBurnCounter::add(const Event& event)
{
    if (!counting_ || event.kind == EventKind::Line || event.kind == EventKind::Mode) {
        return;
    }
    if (event.kind != EventKind::Move || !event.laserOn) {
        endRun();
        return;
    }
    runLength_ += std::hypot(event.to.x - event.from.x, event.to.y - event.from.y);
    runFeed_ = std::max(runFeed_, event.feed);
}

void LateBurnCounter::endRun()
{
    if (runLength_ <= 0.0) {
        return;
    }
    ++late_.runs;
    if (runLength_ < runFeed_ / 60.0 * LateBurn::kLateSeconds) {
        ++late_.shortRuns;
    }
    late_.feed = std::max(late_.feed, runFeed_);
    runLength_ = 0.0;
    runFeed_ = 0.0;
}

LateBurn LateBurnCounter::result()
{
    endRun();
    late_.millimetres = late_.feed / 60.0 * LateBurn::kLateSeconds;
    return late_;
}

std::string LateBurnWarning(const LateBurn& late, bool unitInches)
{
    if (late.runs == 0) {
        return {};
    }
    const double unit = unitInches ? 25.4 : 1.0;
    const char* word = unitInches ? " in" : " mm";
    return "Fan commands may switch the laser up to 100 ms late: a burn may start and end up "
           "to " +
           Fixed(late.millimetres / unit, unitInches ? 3 : 2) + word + " late at " +
           Fixed(late.feed / unit, unitInches ? 1 : 0) + word + "/min, and " +
           std::to_string(late.shortRuns) + " of " + std::to_string(late.runs) +
           " runs are shorter than that (they may not burn at all). The other laser choices "
           "of the \"GCode Flavor\" page avoid this: M400 before each fan command, a "
           "synchronous fan, or Marlin's laser.";
}

}  // namespace pyrolith::toolpath
