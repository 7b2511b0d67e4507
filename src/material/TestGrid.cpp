#include "material/TestGrid.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "common/Error.h"
#include "common/NumberText.h"
#include "common/TextEncoding.h"
#include "gcode/ImagePass.h"
#include "gcode/JobChecks.h"
#include "gcode/JobContext.h"
#include "gcode/JobHeader.h"
#include "gcode/JobPreamble.h"
#include "gcode/JobSink.h"
#include "gcode/LaserPower.h"

namespace pyrolith {
namespace {

// Pictures beyond this many pixels are refused: a grid that large is a typing error.
constexpr double kMostPixels = 1e8;

[[noreturn]] void Refuse(const std::string& message)
{
    throw Error("Material test: " + message);
}

// A label value: whole numbers as they are, others with one decimal.
std::string LabelNumber(double value)
{
    return PlainNumber(std::round(value * 10) / 10, 12);
}

// The on command with its S number replaced by `power` (already in the job's code page).
std::string WithPower(const std::string& command, const SWord& s, double power)
{
    return command.substr(0, s.begin) + PlainNumber(power, 12) + command.substr(s.end);
}

std::string RangeText(const GridRange& range, std::string_view unit)
{
    if (range.count <= 1) {
        return LabelNumber(range.first) + std::string(unit);
    }
    return LabelNumber(range.first) + " to " + LabelNumber(range.last) + std::string(unit) +
           " in " + std::to_string(range.count) + " steps";
}

// The text with every character the label font lacks as "?".
std::string Drawable(std::string_view text)
{
    std::string drawn;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0xC0 || byte < 0x80) {
            drawn += byte >= 0x20 && byte < 0x7F ? c : '?';
        }
    }
    return drawn;
}

// Where labels go, in the picture's pixels (x to the right, y down from the top row's top
// edge), turned into job coordinates at the end.
class LabelPlacer {
public:
    LabelPlacer(double height) : height_(height) {}

    double width(std::string_view text) const { return LabelWidth(text, height_); }
    // `text` with its baseline's left end at (x, y).
    void place(std::string_view text, double x, double y)
    {
        if (LabelFontAvailable()) {
            for (Stroke& stroke : LabelStrokes(text, x, -y, height_)) {
                for (StrokePoint& point : stroke) {
                    point.y = -point.y;
                }
                strokes_.push_back(std::move(stroke));
            }
        }
    }
    std::vector<Stroke> take() { return std::move(strokes_); }

private:
    double height_;
    std::vector<Stroke> strokes_;
};

} // namespace

std::optional<GridRange> ParseGridRange(std::string_view text)
{
    const std::size_t first = text.find(':');
    const std::size_t second = first == std::string_view::npos ? first : text.find(':', first + 1);
    if (second == std::string_view::npos) {
        return std::nullopt;
    }
    const auto from = ReadTypedNumber(text.substr(0, first), '.');
    const auto to = ReadTypedNumber(text.substr(first + 1, second - first - 1), '.');
    const std::string_view countText = text.substr(second + 1);
    int count = 0;
    const auto [end, error] =
        std::from_chars(countText.data(), countText.data() + countText.size(), count);
    if (!from || !to || error != std::errc() || end != countText.data() + countText.size() ||
        count < 1) {
        return std::nullopt;
    }
    return GridRange{*from, *to, count};
}

TestGrid MakeTestGrid(const JobSettings& settings, const TestGridOptions& options,
                      char decimalSeparator)
{
    const std::string onCommand = Utf8ToCp1252(settings.LaserOnCommand);
    const std::optional<SWord> s = FindSWord(onCommand);
    if (!s) {
        throw Error("Laser Commands, On: '" + settings.LaserOnCommand +
                        "' has no S number to set the squares' powers with (for example "
                        "'M106 S255')",
                    "LaserOnCommand");
    }
    const GridRange powers = options.powers;
    const auto inPercent = [](double p) { return p > 0 && p <= 100; };
    if (!inPercent(powers.first) || !inPercent(powers.last)) {
        Refuse("the powers must lie above 0 and at most 100 percent");
    }
    GridRange speeds;
    const std::string unit = settings.UseInches ? " in/min" : " mm/min";
    if (options.speeds) {
        speeds = *options.speeds;
    } else {
        const double onSpeed = MyStrtoFloat(settings.OnSpeed, decimalSeparator);
        speeds = GridRange{onSpeed / 4, onSpeed, 5};
    }
    if (!(speeds.first > 0) || !(speeds.last > 0) || !(speeds.first < 1e9) ||
        !(speeds.last < 1e9)) {
        Refuse("the speeds must be greater than 0");
    }
    const int columns = powers.count;
    const int rows = speeds.count;
    if (static_cast<long long>(columns) * rows > 255) {
        Refuse("a grid holds at most 255 squares");
    }

    const double pitch = MyStrtoFloat(settings.DistPerPixel, decimalSeparator);
    if (!(pitch > 0)) {
        Refuse("the distance per pixel must be greater than 0");
    }
    // Millimetres as pixels of the job.
    const double perMm = (settings.UseInches ? 1 / 25.4 : 1.0) / pitch;
    if (!(options.squareMm > 0) || !(options.gapMm >= 0) || !(options.squareMm < 1e6) ||
        !(options.gapMm < 1e6)) {
        Refuse("the squares need a size greater than 0");
    }
    const auto square = static_cast<std::int32_t>(std::lround(options.squareMm * perMm));
    const auto gap = static_cast<std::int32_t>(std::lround(options.gapMm * perMm));
    if (square < 2) {
        Refuse("squares of " + LabelNumber(options.squareMm) +
               " mm are less than two pixels at this distance per pixel");
    }
    if (static_cast<double>(square) * (columns + rows) > 1e5) {
        Refuse("the grid is too large at this distance per pixel");
    }

    // The labels: as tall as fits the columns, 2.5 mm at most.
    std::vector<std::string> powerTexts;
    std::vector<std::string> speedTexts;
    for (int i = 0; i < columns; ++i) {
        powerTexts.push_back(LabelNumber(powers.at(i)));
    }
    for (int j = 0; j < rows; ++j) {
        speedTexts.push_back(LabelNumber(speeds.at(j)));
    }
    const std::string unitText = Drawable(settings.UseInches ? "in/min" : "mm/min");
    const double columnPitch = square + gap;
    double textHeight = 2.5 * perMm;
    if (LabelFontAvailable()) {
        double widest = 0;
        for (const std::string& text : powerTexts) {
            widest = std::max(widest, LabelWidth(text, 1.0));
        }
        textHeight = std::min(textHeight, 0.9 * columnPitch / widest);
    }
    LabelPlacer labels(textHeight);
    const double space = 0.6 * textHeight;

    double labelColumn = labels.width(unitText);
    for (const std::string& text : speedTexts) {
        labelColumn = std::max(labelColumn, labels.width(text));
    }
    const auto left = static_cast<std::int32_t>(std::ceil(labelColumn + space));
    const auto top = static_cast<std::int32_t>(std::ceil(2 * textHeight + 2 * space));
    const std::int32_t gridWidth = columns * square + (columns - 1) * gap;
    const std::int32_t gridHeight = rows * square + (rows - 1) * gap;
    const double lastLabelEnd = left + (columns - 1) * columnPitch + square / 2.0 +
                                labels.width(powerTexts.back()) / 2;
    const double percentX = std::max<double>(left + gridWidth, lastLabelEnd) + 0.3 * textHeight;
    const std::string title = Drawable(options.title);
    const double width =
        std::max(percentX + labels.width("%"), labels.width(title)) + 1;
    if (width * (top + gridHeight) > kMostPixels) {
        Refuse("the grid is too large at this distance per pixel");
    }

    TestGrid grid;
    grid.levels.width = static_cast<std::int32_t>(std::ceil(width));
    grid.levels.height = top + gridHeight;
    grid.levels.pixels = PixelBuffer(static_cast<std::size_t>(grid.levels.width) *
                                     static_cast<std::size_t>(grid.levels.height));
    for (int j = 0; j < rows; ++j) {
        for (int i = 0; i < columns; ++i) {
            const auto level = static_cast<std::uint8_t>(1 + j * columns + i);
            const std::int32_t x0 = left + i * (square + gap);
            const std::int32_t y0 = top + j * (square + gap);
            for (std::int32_t y = y0; y < y0 + square; ++y) {
                std::uint8_t* row = grid.levels.pixels.data() +
                                    static_cast<std::size_t>(y) *
                                        static_cast<std::size_t>(grid.levels.width);
                std::fill(row + x0, row + x0 + square, level);
            }
        }
    }

    grid.powerCommands.assign(static_cast<std::size_t>(1 + columns * rows), std::string());
    grid.burnFeeds.assign(grid.powerCommands.size(), std::string());
    const std::string extrusion = settings.FakeExtrusion ? " E1 " : " ";
    for (int j = 0; j < rows; ++j) {
        for (int i = 0; i < columns; ++i) {
            const auto level = static_cast<std::size_t>(1 + j * columns + i);
            grid.powerCommands[level] = Cp1252ToUtf8(WithPower(onCommand, *s, s->value * powers.at(i) / 100));
            grid.burnFeeds[level] = " F" + PlainNumber(speeds.at(j), 12) + extrusion;
        }
    }
    grid.labelCommand = Cp1252ToUtf8(
        WithPower(onCommand, *s, s->value * std::min(powers.first, powers.last) / 100));

    // The title, the powers above their columns with "%" after them, the unit above the
    // speeds and each speed left of its row.
    labels.place(title, 0, textHeight);
    const double labelBaseline = top - space;
    for (int i = 0; i < columns; ++i) {
        const double centre = left + i * columnPitch + square / 2.0;
        labels.place(powerTexts[static_cast<std::size_t>(i)],
                     centre - labels.width(powerTexts[static_cast<std::size_t>(i)]) / 2,
                     labelBaseline);
    }
    labels.place("%", percentX, labelBaseline);
    const double labelRight = left - space;
    labels.place(unitText, labelRight - labels.width(unitText), labelBaseline);
    for (int j = 0; j < rows; ++j) {
        const double centre = top + j * (square + gap) + square / 2.0;
        const std::string& text = speedTexts[static_cast<std::size_t>(j)];
        labels.place(text, labelRight - labels.width(text), centre + textHeight / 2);
    }
    // Pixel (x, y) from the top left lies at X = XOff + (x + 1) d, and the middle of row r at
    // Y = YOff + (H - 1 - r) d.
    const double xOffset = settings.UseXOffset ? MyStrtoFloat(settings.XOffset, decimalSeparator) : 0.0;
    const double yOffset = settings.UseYOffset ? MyStrtoFloat(settings.YOffset, decimalSeparator) : 0.0;
    grid.labels = labels.take();
    for (Stroke& stroke : grid.labels) {
        for (StrokePoint& point : stroke) {
            point = {xOffset + (point.x + 1) * pitch,
                     yOffset + (grid.levels.height - 0.5 - point.y) * pitch};
        }
    }

    grid.note = "Material test: powers " + RangeText(powers, "%") + ", speeds " +
                RangeText(speeds, unit) + ", " + LabelNumber(options.squareMm) + " mm squares " +
                LabelNumber(options.gapMm) + " mm apart" +
                (LabelFontAvailable() ? "" : ", no labels (no label font in this build)");
    return grid;
}

namespace {

// A coordinate of a label, to a thousandth of the unit.
std::string LabelCoordinate(double value)
{
    return CoordinateText(std::round(value * 1000) / 1000);
}

// The labels: each stroke a travel with the laser off, then burn moves at the label power
// and the Laser On speed; the on command on a line of its own once per stroke for a 3D
// printer, on every burn move for GRBL.
void WriteLabels(JobSink& sink, const JobContext& c, const std::vector<Stroke>& strokes,
                 const std::string& command)
{
    const bool grbl = c.Flavor == GcodeFlavor::Grbl;
    const auto move = [&](const std::string& word, const StrokePoint& point) {
        sink.append(word);
        sink.append(" X");
        sink.append(LabelCoordinate(point.x));
        sink.append(" Y");
        sink.append(LabelCoordinate(point.y));
    };
    if (!c.InlinePowers.empty()) {
        // Marlin's inline laser mode: every move carries its power, 0 for the travels.
        const std::optional<SWord> s = FindSWord(command);
        const std::string power = s ? command.substr(s->begin, s->end - s->begin) : "0";
        for (const Stroke& stroke : strokes) {
            move(c.MoveWord, stroke.front());
            sink.append(c.OffFeed);
            sink.line("S0");
            for (std::size_t i = 1; i < stroke.size(); ++i) {
                move("G1", stroke[i]);
                sink.append(c.BurnFeed);
                sink.line("S" + power);
            }
        }
        return;
    }
    for (const Stroke& stroke : strokes) {
        if (!grbl) {
            sink.append(c.LaserSync);
            sink.line(c.LaserOffCommand);
        }
        move(c.MoveWord, stroke.front());
        sink.append(c.OffFeed);
        sink.line(grbl ? c.LaserOffCommand : std::string());
        if (!grbl) {
            sink.append(c.LaserSync);
            sink.line(command);
        }
        for (std::size_t i = 1; i < stroke.size(); ++i) {
            move("G1", stroke[i]);
            sink.append(c.BurnFeed);
            sink.line(grbl ? command : std::string());
        }
    }
    if (!strokes.empty()) {
        sink.append(c.LaserSync);
        sink.line(c.LaserOffCommand);
    }
}

} // namespace

void WriteTestGridJob(JobSink& sink, const JobSettings& given, const TestGridOptions& options,
                      const JobEnvironment& environment)
{
    // The grid burns its own powers: no tone curve, no grey levels of the settings.
    JobSettings settings = given;
    settings.ToneCurve.clear();
    settings.IncludeCut = false;   // a card is burned once, and not cut out
    settings.RepeatImage = false;
    const TestGrid grid = MakeTestGrid(settings, options, environment.decimalSeparator);
    CheckJobNumbers(settings, grid.levels.width, grid.levels.height, environment.decimalSeparator);
    JobContext context = MakeJobContext(settings, MonoBitmap(), environment.decimalSeparator);
    context.ImageWidth = grid.levels.width;
    context.ImageHeight = grid.levels.height;
    for (const std::string& command : grid.powerCommands) {
        context.PowerCommands.push_back(Utf8ToCp1252(command));
    }
    for (const std::string& feed : grid.burnFeeds) {
        context.BurnFeeds.push_back(Utf8ToCp1252(feed));
    }
    if (context.Laser == PrinterLaser::MarlinInline) {
        context.InlinePowers = InlinePowers(settings, context.LaserOnCommand, context.PowerCommands);
    }
    JobEnvironment gridEnvironment = environment;
    gridEnvironment.jobNote = grid.note;

    WriteHeader(sink, context, settings, gridEnvironment);
    WritePreamble(sink, context, settings);
    WriteLevelPass(sink, context, settings, grid.levels);
    WriteLabels(sink, context, grid.labels, Utf8ToCp1252(grid.labelCommand));
    WriteJobEnd(sink, settings);
}

JobFileSummary WriteTestGridFile(const std::filesystem::path& output, const JobSettings& settings,
                                 const TestGridOptions& options,
                                 const JobEnvironment& environment)
{
    // Everything is checked by the first line; the file is touched only then.
    StringJobSink check;
    WriteTestGridJob(check, settings, options, environment);
    FileJobSink sink(output);
    sink.append(check.text());
    sink.commit();
    return {sink.lines(), sink.bytes()};
}

} // namespace pyrolith
