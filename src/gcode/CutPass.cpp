#include "gcode/CutPass.h"

#include <charconv>
#include <cmath>
#include <string>
#include <string_view>

#include "common/Error.h"
#include "common/NumberText.h"
#include "gcode/JobChecks.h"
#include "gcode/LaserPower.h"

namespace pyrolith {
namespace {

// No pass count beyond this: a typing slip must not make a job of a thousand hours.
constexpr int kMostPasses = 1000;
constexpr double kLargestCoordinate = 1e9;

std::string_view TrimBlanks(std::string_view text)
{
    const std::size_t first = text.find_first_not_of(' ');
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

[[noreturn]] void Refuse(std::string_view key, std::string_view label, std::string_view text,
                         std::string_view problem)
{
    throw Error(std::string(label) + ": '" + std::string(text) + "' " + std::string(problem),
                std::string(key));
}

int ReadPasses(std::string_view key, std::string_view label, const std::string& text)
{
    const std::string_view digits = TrimBlanks(text);
    int passes = 0;
    const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), passes);
    if (digits.empty() || ec != std::errc() || end != digits.data() + digits.size() ||
        passes < 1 || passes > kMostPasses) {
        Refuse(key, label, text, "is not a whole number from 1 to 1000");
    }
    return passes;
}

double ReadLength(std::string_view key, std::string_view label, const std::string& text,
                  char decimalSeparator, bool negativeAllowed)
{
    const std::optional<double> value = ReadTypedNumber(text, decimalSeparator);
    if (!value || !(std::fabs(*value) < kLargestCoordinate) || (!negativeAllowed && *value < 0)) {
        Refuse(key, label, text,
               negativeAllowed ? "is not a height" : "is not a distance of 0 or more");
    }
    return *value;
}

void CheckSpeed(std::string_view key, std::string_view label, const std::string& text)
{
    const std::string_view trimmed = TrimBlanks(text);
    if (!IsPlainGcodeNumber(trimmed, false) ||
        trimmed.find_first_of("123456789") == std::string_view::npos) {
        Refuse(key, label, text,
               "is not a speed greater than 0 (digits with at most one \".\")");
    }
}

outline::BurnedPixels Burned(const MonoBitmap& picture)
{
    outline::BurnedPixels burned;
    burned.width = picture.width();
    burned.height = picture.height();
    burned.pixels = picture.indices().data();
    for (std::size_t i = 0; i < picture.palette().size(); ++i) {
        burned.burns[i] = picture.palette()[i] == Rgb{0, 0, 0};
    }
    return burned;
}

// Every grey that burns at any power level.
outline::BurnedPixels Burned(const GrayRaster& picture, std::size_t levels)
{
    outline::BurnedPixels burned;
    burned.width = picture.width;
    burned.height = picture.height;
    burned.pixels = picture.pixels.data();
    const auto table = GreyLevelTable(static_cast<int>(levels));
    for (std::size_t g = 0; g < table.size(); ++g) {
        burned.burns[g] = table[g] != 0;
    }
    return burned;
}

std::vector<outline::Shape> Path(const outline::PixelGrid& grid, const JobSettings& settings,
                                 const outline::BurnedPixels& burned, double kerf)
{
    std::vector<outline::Shape> shapes;
    if (settings.Outline) {
        shapes.push_back(outline::BoundaryOutline(grid));
    } else {
        shapes = outline::PictureOutline(grid, burned, kerf);
    }
    // The head starts from the print area's origin, where the boundary cut starts too.
    outline::OrderShapes(shapes, {grid.xOffset, grid.yOffset});
    return shapes;
}

std::string Number(double value)
{
    char buffer[kNumberBufferSize];
    return std::string(buffer, WritePlainNumber(buffer, value, 12));
}

} // namespace

CutNumbers ReadCutNumbers(const JobSettings& settings, char decimalSeparator)
{
    CutNumbers numbers;
    if (settings.RepeatImage) {
        numbers.imagePasses =
            ReadPasses("RepeatImageTimes", "Miscellaneous, Repeat image", settings.RepeatImageTimes);
    }
    if (settings.SupressImage) {
        numbers.imagePasses = 0;
    }
    if (!settings.IncludeCut) {
        return numbers;
    }
    numbers.cutPasses = ReadPasses("NumRepeats", "Cut, Num Repeats", settings.NumRepeats);
    CheckSpeed("CutSpeed", "Speeds, Laser Cut", settings.CutSpeed);
    if (settings.DoAdvDown) {
        CheckSpeed("ZSpeed", "Speeds, Z-Axis", settings.ZSpeed);
        numbers.height = ReadLength("InitialCutHeight", "Cut, Initial Cut Height",
                                    settings.InitialCutHeight, decimalSeparator, true);
        numbers.stepDown = ReadLength("AdvDownAmount", "Cut, Advance down each repeat",
                                      settings.AdvDownAmount, decimalSeparator, false);
        if (!(std::fabs(numbers.height - numbers.stepDown * (numbers.cutPasses - 1)) <
              kLargestCoordinate)) {
            Refuse("AdvDownAmount", "Cut, Advance down each repeat", settings.AdvDownAmount,
                   "takes the last pass too far down for a coordinate");
        }
    }
    if (!settings.Outline) {
        if (!TrimBlanks(settings.CutKerf).empty()) {
            numbers.kerf =
                ReadLength("CutKerf", "Cut, Kerf", settings.CutKerf, decimalSeparator, false);
        }
    }
    return numbers;
}

outline::PixelGrid JobGrid(const JobContext& context, const JobSettings& settings)
{
    outline::PixelGrid grid;
    grid.width = context.ImageWidth;
    grid.height = context.ImageHeight;
    grid.pitch = context.PixelSize;
    grid.xOffset = context.XOffsetValue;
    grid.yOffset = context.YOffsetValue;
    grid.halfStep = settings.HalfStepHeight;
    return grid;
}

std::vector<outline::Shape> MakeCutPath(const JobContext& context, const JobSettings& settings,
                                        const MonoBitmap& picture)
{
    if (context.CutPasses == 0) {
        return {};
    }
    return Path(JobGrid(context, settings), settings, Burned(picture), context.CutKerfValue);
}

std::vector<outline::Shape> MakeCutPath(const JobContext& context, const JobSettings& settings,
                                        const GrayRaster& picture)
{
    if (context.CutPasses == 0) {
        return {};
    }
    return Path(JobGrid(context, settings), settings,
                Burned(picture, context.PowerCommands.size()), context.CutKerfValue);
}

namespace {

std::vector<outline::Shape> PixelPath(const JobSettings& settings,
                                      const outline::BurnedPixels& burned, char decimalSeparator)
{
    if (!settings.IncludeCut) {
        return {};
    }
    const CutNumbers numbers = ReadCutNumbers(settings, decimalSeparator);
    const double pitch = MyStrtoFloat(settings.DistPerPixel, decimalSeparator);
    // A grid of one unit a pixel whose job coordinates are the picture's own.
    outline::PixelGrid grid;
    grid.width = burned.width;
    grid.height = burned.height;
    grid.pitch = 1.0;
    grid.xOffset = -1.0;
    grid.yOffset = settings.HalfStepHeight ? 0.25 : 0.5;
    grid.halfStep = settings.HalfStepHeight;
    return Path(grid, settings, burned, pitch > 0 ? numbers.kerf / pitch : 0.0);
}

} // namespace

std::vector<outline::Shape> CutPathInPixels(const JobSettings& settings, const MonoBitmap& picture,
                                            char decimalSeparator)
{
    return PixelPath(settings, Burned(picture), decimalSeparator);
}

std::vector<outline::Shape> CutPathInPixels(const JobSettings& settings, const GrayRaster& picture,
                                            char decimalSeparator)
{
    const std::size_t levels =
        PowerCommands(settings, settings.LaserOnCommand, decimalSeparator).size();
    return PixelPath(settings, Burned(picture, levels), decimalSeparator);
}

void WriteCutPass(JobSink& sink, const JobContext& context,
                  const std::vector<outline::Shape>& path)
{
    if (context.CutPasses == 0) {
        return;
    }
    const bool grbl = context.Flavor == GcodeFlavor::Grbl;
    const auto laserLine = [&](const std::string& command) {
        sink.append(context.LaserSync);
        sink.line(command);
    };
    const auto zMove = [&](double z) {
        sink.line(context.MoveWord + " Z" + Number(z) + context.ZFeed);
    };
    const auto point = [&](const char* word, const outline::Point& p, const std::string& feed) {
        sink.append(word);
        sink.append(" X");
        sink.append(Number(p.x));
        sink.append(" Y");
        sink.append(Number(p.y));
        sink.append(feed);
    };

    const std::string passes = std::to_string(context.CutPasses);
    sink.line(context.comment("Begin Perimeter Cut"));
    double z = context.CutHeight;
    for (int pass = 1; pass <= context.CutPasses; ++pass) {
        sink.line(context.comment("Cut pass " + std::to_string(pass) + " of " + passes));
        if (pass == 1 && context.CutStepsDown) {
            zMove(z);
        }
        for (const outline::Shape& shape : path) {
            if (shape.empty()) {
                continue;
            }
            point(context.MoveWord.c_str(), shape.front(), context.OffFeed);
            sink.line(grbl ? context.LaserOffCommand : std::string());
            if (!grbl) {
                laserLine(context.LaserCutPower);
            }
            // Burning moves are G1 whatever the travel uses: GRBL never burns on G0.
            for (std::size_t i = 1; i <= shape.size(); ++i) {
                point("G1", shape[i % shape.size()], context.CutFeed);
                sink.line(grbl && i == 1 ? context.LaserCutPower : std::string());
            }
            laserLine(context.LaserOffCommand);
        }
        if (pass < context.CutPasses && context.CutStepsDown) {
            z = context.CutHeight - pass * context.CutStepDown;
            zMove(z);
        }
    }
    sink.line(context.comment("End Perimeter Cut"));
    sink.endLine();
}

} // namespace pyrolith
