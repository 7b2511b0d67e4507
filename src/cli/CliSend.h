#pragma once

namespace pyrolith::cli {

// `pyrolith-cli send --port PORT [--baud N] FILE.gcode`: streams a job file to a GRBL
// controller or a printer and waits until the machine has finished it.
//
// Exit status: 0 when the machine took every line and finished its moves; 1 on a machine
// error, a lost connection or Ctrl+C (after the safe stop); 2 on a usage error.
// argv[0] is "send".
int RunSend(int argc, char** argv);

}  // namespace pyrolith::cli
