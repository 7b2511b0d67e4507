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

// The serial line's speed: BaudRate, 0 for a GRBL job run from the controller's storage; a
// text that does not read, a negative number, or 0 for a printer keeps 115200.
double BaudRateOf(const JobSettings& settings)
{
    const double baud = MyStrtoFloat(settings.BaudRate);
    if (baud > 0.0 && std::isfinite(baud)) {
        return baud;
    }
    const bool zero = settings.BaudRate.find('0') != std::string::npos &&
                      settings.BaudRate.find_first_not_of(" 0.,") == std::string::npos;
    return zero && settings.GRBL ? 0.0 : 115200.0;
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
    ReadPositive(settings.StepperIdleLock, machine.stepperIdleLock);
    machine.controllerSpeed = settings.ControllerSpeed == "1" ? 1 : 0;
    return machine;
}

}  // namespace pyrolith::toolpath
