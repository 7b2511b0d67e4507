#pragma once

#include <string>
#include <vector>

#include "settings/JobSettings.h"

namespace pyrolith::toolpath {

// The speeds of the job that the machine cannot reach: each speed the job uses (laser off,
// laser on, the trace when the boundary is traced) that is above the maximum rate of X or Y
// on the Machine page. The controller runs such a move at its maximum rate, so the job is not
// refused; the user reads of it before the job is saved. One text per speed, for example
// "Speeds, Laser On: 15003000 mm/min is above the machine's maximum rate of 6000 mm/min
// (Machine page, Max rate X)". A speed that does not read is left to the job's checks.
std::vector<std::string> SpeedsAboveMaxRate(const JobSettings& settings);

}  // namespace pyrolith::toolpath
