#pragma once

#include <cstddef>

#include "settings/JobSettings.h"
#include "toolpath/GcodeReader.h"

namespace pyrolith::toolpath {

// What the time estimate knows of the machine: the numbers GRBL lists with "$$" ($110, $111,
// $120, $121, $11, $32, $1) and the planner depth it reports in "[OPT:...]", and how the job
// reaches the controller. Always millimetres, like the firmware's own settings, whatever unit
// the job uses. A profile made here waits nothing at a stop; MachineProfileOf gives the
// machine of the settings.
struct MachineProfile {
    GcodeFlavor flavor = GcodeFlavor::Grbl;
    double maxRate[3] = {6000.0, 6000.0, 6000.0};    // mm/min per axis (X, Y, Z)
    double acceleration[3] = {500.0, 500.0, 500.0};  // mm/s^2 per axis
    double junctionDeviation = 0.01;                 // mm
    int plannerBlocks = 15;                          // blocks the planner holds at once
    bool laserMode = true;                           // GRBL $32
    double arcTolerance = 0.002;                     // mm, GRBL $12
    // GRBL $1: milliseconds the stepper driver waits each time the motion comes to rest
    // before it takes the next block; 255 keeps the motors on and waits nothing.
    double stepperIdleLock = 0.0;
    int controllerSpeed = 0;            // 0: 8-bit GRBL board (16 MHz); 1: 32-bit controller
    std::size_t receiveBuffer = 127;    // bytes of the controller's 128-byte buffer a sender fills
    bool senderKeepsBlanks = false;     // our sender leaves out the blanks between words

    PrinterLaser printerLaser = PrinterLaser::FanCommands;  // 3D printers: PrinterLaserMode
    // The serial line the job is streamed over (bits per second, ten bits a byte); 0: GRBL
    // runs the job from its own storage and only the motion counts.
    double baudRate = 115200.0;

    // The reader gives the lines as a sender sends them, for the serial line.
    ReaderOptions readerOptions() const
    {
        return {flavor, laserMode, arcTolerance, printerLaser,
                flavor == GcodeFlavor::Printer3D || baudRate > 0.0};
    }
};

// The machine of the settings (MaxRateX, MaxRateY, AccelX, AccelY, JunctionDeviation,
// PlannerBlocks, LaserMode, GRBL, PrinterLaserMode, StepperIdleLock, BaudRate,
// ControllerSpeed). A number that does not read, or is not positive, keeps the default above
// (a BaudRate of 0 is no serial line, for GRBL); Z takes Y's values.
MachineProfile MachineProfileOf(const JobSettings& settings);

}  // namespace pyrolith::toolpath
