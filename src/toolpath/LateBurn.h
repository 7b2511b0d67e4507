#pragma once

// Stock 3D printer firmware applies a fan command only when a check in its idle loop, at most
// every 100 ms, copies the fan speed of the move now running to the fan: a burn switched by
// M106/M107 may start and end up to 100 ms of travel late, and a run shorter than that may not
// burn at all. This counts the job's runs against that distance.

#include <cstdint>
#include <string>

#include "toolpath/GcodeReader.h"
#include "toolpath/MachineProfile.h"

namespace pyrolith::toolpath {

struct LateBurn {
    static constexpr double kLateSeconds = 0.100;

    double feed = 0.0;             // mm/min, the fastest burn
    double millimetres = 0.0;      // the travel of kLateSeconds at that feed
    std::uint64_t runs = 0;        // runs of burn moves
    std::uint64_t shortRuns = 0;   // runs shorter than the travel of kLateSeconds at their feed
};

// Counts the runs when the machine is a 3D printer whose fan commands are taken as they are
// (PrinterLaser::FanCommands); counts nothing otherwise.
class LateBurnCounter {
public:
    explicit LateBurnCounter(const MachineProfile& machine);
    void add(const Event& event);
    LateBurn result();

private:
    void endRun();

    bool counting_;
    double runLength_ = 0.0;
    double runFeed_ = 0.0;
    LateBurn late_;
};

// What the check tells the user: how late a burn may land, how many runs may not burn, and
// the other choices; empty when no run is counted. `unitInches`: the job's unit for the
// distance.
std::string LateBurnWarning(const LateBurn& late, bool unitInches);

}  // namespace pyrolith::toolpath
