#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace pyrolith {

// Every job parameter, as a flag or as the text the user typed. Numbers are read from the
// texts only when a job is written. Texts are UTF-8. The initial values are the window's
// values, before any file is read; the readers of the settings file and of profiles replace
// them (see SettingsFields.h for each key's defaults).
struct JobSettings {
    bool UseInches = true;
    std::string DistPerPixel = "0.1";
    bool HalfStepHeight = true;
    std::string LaserOffCommand;
    std::string LaserOnCommand;
    std::string LaserLowPower;
    std::string LaserCutPower = "M106 S255";
    bool UseG0 = false;
    std::string StartComment;
    std::string EndComment;
    std::string OffSpeed = "10";
    std::string OnSpeed = "10";
    std::string CutSpeed = "100";
    std::string ZSpeed = "200";
    std::string TraceSpeed = "200";
    bool Optimize = true;
    bool GoHome = false;
    std::string HomeCommand = "G28";
    bool GoStartHeight = false;
    std::string StartHeight = "26";
    bool IndicateCenter = false;
    std::string DwellTime = "5000";
    bool IndicateFrontCenter = false;
    std::string FrontCenterDwellTime = "5000";
    bool IndicateBoundary = false;
    bool SupressImage = false;
    bool UseXOffset = true;
    std::string XOffset = "100";
    bool UseYOffset = true;
    std::string YOffset = "100";
    bool RepeatImage = false;
    std::string RepeatImageTimes = "3";
    bool Precision = true;
    bool FakeExtrusion = false;
    bool Backlash = true;
    std::string BacklashVal = "1";
    bool IncludeCut = false;
    bool Outline = false;
    std::string NumRepeats = "6";
    std::string InitialCutHeight = "26";
    bool DoAdvDown = true;
    std::string AdvDownAmount = "1";
    bool GRBL = false;
    bool UseStartOfCode = false;
    std::string StartOfCode;  // lines separated by CR LF
    bool UseEndOfCode = false;
    std::string EndOfCode;     // lines separated by CR LF
    std::string ProfileNotes;  // lines separated by CR LF

    // How the picture becomes black and white, and its size (see image/PictureOptions.h).
    std::string ImageMode = "Palette";  // Palette, Threshold, a dither's name or Bayer
    std::string Threshold = "128";      // 0 to 255: a grey level below it is black
    std::string Brightness = "0";       // -100 to 100
    std::string Contrast = "0";         // -100 to 100
    std::string Gamma = "1";            // above 0; 1 changes nothing
    bool Invert = false;                // grey level g becomes 255 - g
    std::string ResizeWidth;            // the engraved width; empty: one pixel per DistPerPixel
    // The machine, for the time estimate: always millimetres, like the controller's own
    // settings ($110, $111, $120, $121, $11, $32).
    std::string MaxRateX = "6000";         // mm/min
    std::string MaxRateY = "6000";         // mm/min
    std::string AccelX = "500";            // mm/s^2
    std::string AccelY = "500";            // mm/s^2
    std::string JunctionDeviation = "0.01";  // mm
    std::string PlannerBlocks = "15";      // blocks the planner holds ("[OPT:...]")
    bool LaserMode = true;                 // GRBL $32

    // Grey engraving: the number of power levels (2 to 256) and the power of the lightest
    // burned level's floor, in the units of the on command's S number.
    std::string PowerLevels = "16";
    std::string MinPower = "0";
    // The distance the head runs on with the laser off before and after each line; empty or
    // 0: none.
    std::string Overscan;
    // 3D printers: wait for the queued moves (M400) before every laser command. The key of
    // earlier versions, kept in step with PrinterLaserMode (true exactly for choice 1).
    bool SyncLaserCommands = false;
    // GRBL $1: milliseconds the motors stay locked each time the motion comes to rest, a wait
    // before the next move; 255 keeps them on and waits nothing.
    std::string StepperIdleLock = "25";
    // How the job reaches the controller: the serial line's speed (0: the controller runs the
    // job from its own storage) and the controller's class, "0" an 8-bit GRBL board (16 MHz),
    // "1" a 32-bit controller, which takes each line several times faster.
    std::string BaudRate = "115200";
    std::string ControllerSpeed = "0";
    // GRBL: each word only when it changes, no blanks, whole S numbers where the power allows.
    bool CompactLines = false;
    // 3D printers: how the firmware switches the laser, "0" to "3" (see PrinterLaser).
    std::string PrinterLaserMode = "0";
    // The width the beam burns away; a cut along the image's outline runs half of it farther
    // out. Empty or 0: none.
    std::string CutKerf = "0";
    // The material's tone curve, "grey:power" pairs (image/ToneCurve.h); empty: none.
    std::string ToneCurve;

    // Kept in no file: back to these values at every start, untouched by profiles.
    bool IndicateLeftCenter = false;
    std::string LeftCenterDwellTime = "5000";

    bool operator==(const JobSettings&) const = default;
};

// Values of the application itself, kept only in the settings file.
struct AppSettings {
    bool AutoLoadProfile = false;
    std::string Profile;         // full path of the current profile; empty: none
    std::string InitialOpenDir;  // starting folder of the bitmap open dialog
    std::string InitialSaveDir;  // starting folder of the G-code save dialog

    bool operator==(const AppSettings&) const = default;
};

enum class GcodeFlavor { Printer3D, Grbl };

// How a 3D printer's firmware switches the laser; the number is the PrinterLaserMode value.
enum class PrinterLaser {
    FanCommands = 0,    // fan commands on lines of their own, as they are
    WaitForMoves = 1,   // M400 before each fan command
    SynchronousFan = 2, // the same lines; the firmware applies them in step with the moves
    MarlinInline = 3,   // Marlin's laser: "M3 I", the power as S on each move, "M5 I"
};

// The choice in force: PrinterLaserMode "1" to "3", else the M400 choice when the old key
// SyncLaserCommands is set, else fan commands as they are.
PrinterLaser PrinterLaserOf(const JobSettings& settings);
// Sets PrinterLaserMode and keeps SyncLaserCommands in step with it.
void SetPrinterLaser(JobSettings& settings, PrinterLaser laser);
// The command a pause or a stop switches the laser off with: Marlin's laser is off with "M5"
// whatever the off command of the settings says; otherwise LaserOffCommand.
std::string LaserOffForStop(const JobSettings& settings);
// The choice a PrinterLaserMode text names; empty for anything but "0" to "3" (blanks around
// it aside).
std::optional<PrinterLaser> ParsePrinterLaser(std::string_view text);

GcodeFlavor FlavorOf(const JobSettings& settings);
// "3D Printer" or "GRBL".
std::string_view FlavorName(GcodeFlavor flavor);
// "in" or "mm".
std::string_view UnitWord(const JobSettings& settings);
// "Speeds (in/min)" or "Speeds (mm/min)".
std::string_view SpeedGroupCaption(const JobSettings& settings);

}  // namespace pyrolith
