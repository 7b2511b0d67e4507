#pragma once

namespace pyrolith::cli {

// The material commands, given the program's whole command line (`argv[1]` is the
// command's name). Exit status 0; 1 for a job error
// or a photo that cannot be read (message on standard error, nothing written); 2 for a usage
// error.
//
// "pyrolith-cli test-grid [--powers A:B:N] [--speeds A:B:M] [--size MM] [--profile FILE]
// [--set KEY=VALUE]... OUTPUT.gcode": the power and speed test grid.
int RunTestGrid(int argc, char** argv);
// "pyrolith-cli test-ramp [--profile FILE] [--set KEY=VALUE]... OUTPUT.gcode": the tone ramp.
int RunTestRamp(int argc, char** argv);
// "pyrolith-cli measure-ramp PHOTO [--profile FILE] [--set KEY=VALUE]... [--save-profile
// FILE]": the tones of a photo of the burned ramp and the curve built from them; with
// --save-profile the settings are written there with that curve as ToneCurve.
int RunMeasureRamp(int argc, char** argv);

} // namespace pyrolith::cli
