#pragma once

#include "settings/JobSettings.h"
#include "toolpath/GcodeReader.h"

namespace pyrolith::toolpath {

// What the time estimate knows of the machine: the numbers GRBL lists with "$$" ($110, $111,
// $120, $121, $11, $32) and the planner depth it reports in "[OPT:...]". Always millimetres,
// like the firmware's own settings, whatever unit the job uses.
struct MachineProfile {
    GcodeFlavor flavor = GcodeFlavor::Grbl;
    double maxRate[3] = {6000.0, 6000.0, 6000.0};    // mm/min per axis (X, Y, Z)
    double acceleration[3] = {500.0, 500.0, 500.0};  // mm/s^2 per axis
    double junctionDeviation = 0.01;                 // mm
    int plannerBlocks = 15;                          // blocks the planner holds at once
    bool laserMode = true;                           // GRBL $32
    double arcTolerance = 0.002;                     // mm, GRBL $12

    PrinterLaser printerLaser = PrinterLaser::FanCommands;  // 3D printers: PrinterLaserMode
    double baudRate = 115200.0;                             // the serial line, bits/s

    // A 3D printer's reader gives the lines as a sender sends them, for the serial line.
    ReaderOptions readerOptions() const
    {
        return {flavor, laserMode, arcTolerance, printerLaser,
                flavor == GcodeFlavor::Printer3D};
    }
};

// The machine of the settings (MaxRateX, MaxRateY, AccelX, AccelY, JunctionDeviation,
// PlannerBlocks, LaserMode, GRBL, PrinterLaserMode, BaudRate). A number that does not read, or
// is not positive, keeps the default above; Z takes Y's values.
MachineProfile MachineProfileOf(const JobSettings& settings);

}  // namespace pyrolith::toolpath
