#include "toolpath/MachineProfile.h"

#include <cmath>

#include "common/NumberText.h"

namespace pyrolith::toolpath {
namespace {

void ReadPositive(const std::string& text, double& value)
{
    const double read = MyStrtoFloat(text);
    if (read > 0.0 && std::isfinite(read)) {
        value = read;
    }
}

// The serial line's speed. The setting comes with the GRBL stream model; until then every
// machine talks at 115200 baud.
double BaudRateOf(const JobSettings&)
{
    return 115200.0;
}

}  // namespace

MachineProfile MachineProfileOf(const JobSettings& settings)
{
    MachineProfile machine;
    machine.flavor = FlavorOf(settings);
    ReadPositive(settings.MaxRateX, machine.maxRate[0]);
    ReadPositive(settings.MaxRateY, machine.maxRate[1]);
    machine.maxRate[2] = machine.maxRate[1];
    ReadPositive(settings.AccelX, machine.acceleration[0]);
    ReadPositive(settings.AccelY, machine.acceleration[1]);
    machine.acceleration[2] = machine.acceleration[1];
    ReadPositive(settings.JunctionDeviation, machine.junctionDeviation);
    double blocks = 0.0;
    ReadPositive(settings.PlannerBlocks, blocks);
    if (blocks >= 1.0) {
        machine.plannerBlocks = static_cast<int>(std::min(blocks, 4096.0));
    }
    machine.laserMode = settings.LaserMode;
    machine.printerLaser = PrinterLaserOf(settings);
    machine.baudRate = BaudRateOf(settings);
    return machine;
}

}  // namespace pyrolith::toolpath
