#include "gcode/ImagePass.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "common/TextEncoding.h"
#include "common/NumberText.h"
#include "gcode/LaserPower.h"

namespace pyrolith {
namespace {

// A coordinate closer to 0 than this is 0, whatever its sign: it is the rounding remainder
// of an offset, and the number text writes it "0" as well.
double Clean(double value)
{
    return std::fabs(value) < 1e-10 ? 0.0 : value;
}

// The X texts of the column edges XOff + k * d. Every run starts and ends on one of them, so
// they are formatted once per job; a picture too wide to keep them formats them as needed.
class ColumnEdges {
public:
    ColumnEdges(double xOffset, double pitch, std::int32_t width) : xOffset_(xOffset), pitch_(pitch)
    {
        const std::int64_t count = std::int64_t{width} + 2;
        if (count > kMaxCached) {
            return;
        }
        offsets_.reserve(static_cast<std::size_t>(count) + 1);
        char buffer[kNumberBufferSize];
        for (std::int32_t k = 0; k < count; ++k) {
            offsets_.push_back(static_cast<std::uint32_t>(texts_.size()));
            texts_.append(buffer, WritePlainNumber(buffer, value(k), 12));
        }
        offsets_.push_back(static_cast<std::uint32_t>(texts_.size()));
    }

    double value(std::int32_t k) const { return xOffset_ + k * pitch_; }

    // The text of edge k; `scratch` holds kNumberBufferSize bytes when it is not kept.
    std::string_view text(std::int32_t k, char* scratch) const
    {
        const auto index = static_cast<std::size_t>(k);
        if (index + 1 < offsets_.size()) {
            return {texts_.data() + offsets_[index], offsets_[index + 1] - offsets_[index]};
        }
        return {scratch,
                static_cast<std::size_t>(WritePlainNumber(scratch, value(k), 12) - scratch)};
    }

private:
    static constexpr std::int64_t kMaxCached = std::int64_t{1} << 22;

    double xOffset_;
    double pitch_;
    std::string texts_;
    std::vector<std::uint32_t> offsets_;
};

// Finds runs of black pixels in the rows of a picture. A pixel is black when its palette
// entry is (0, 0, 0); with the usual single black entry whole words of pixels are compared
// at once.
class RunFinder {
public:
    explicit RunFinder(const MonoBitmap& picture) : picture_(picture)
    {
        int blackEntries = 0;
        for (std::size_t i = 0; i < picture.palette().size(); ++i) {
            black_[i] = picture.palette()[i] == Rgb{0, 0, 0};
            if (black_[i]) {
                ++blackEntries;
                blackIndex_ = static_cast<std::uint8_t>(i);
            }
        }
        anyBlack_ = blackEntries > 0;
        wordSearch_ = blackEntries == 1 && std::endian::native == std::endian::little;
        pattern_ = kOnes * blackIndex_;
    }

    bool anyBlack() const { return anyBlack_; }

    const std::uint8_t* row(std::int32_t r) const
    {
        return picture_.indices().data() +
               static_cast<std::size_t>(r) * static_cast<std::size_t>(picture_.width());
    }

    // The smallest column c in [from, end) that is black (white: false), else end.
    std::int32_t forward(const std::uint8_t* row, std::int32_t from, std::int32_t end,
                         bool wantBlack) const
    {
        std::int32_t c = from;
        if (wordSearch_) {
            if (wantBlack) {
                const void* hit =
                    std::memchr(row + c, blackIndex_, static_cast<std::size_t>(end - c));
                return hit ? static_cast<std::int32_t>(static_cast<const std::uint8_t*>(hit) - row)
                           : end;
            }
            for (; end - c >= 8; c += 8) {
                const std::uint64_t hits = ~EqualBytes(Load(row + c)) & kHighBits;
                if (hits != 0) {
                    return c + std::countr_zero(hits) / 8;
                }
            }
        }
        for (; c < end; ++c) {
            if (black_[row[c]] == wantBlack) {
                return c;
            }
        }
        return end;
    }

    // The largest column c <= from that is black (white: false), else -1.
    std::int32_t backward(const std::uint8_t* row, std::int32_t from, bool wantBlack) const
    {
        std::int32_t stop = from + 1; // columns [0, stop) are left to search
        if (wordSearch_) {
            for (; stop >= 8; stop -= 8) {
                std::uint64_t hits = EqualBytes(Load(row + stop - 8));
                if (!wantBlack) {
                    hits = ~hits & kHighBits;
                }
                if (hits != 0) {
                    return stop - 8 + (63 - std::countl_zero(hits)) / 8;
                }
            }
        }
        for (std::int32_t c = stop - 1; c >= 0; --c) {
            if (black_[row[c]] == wantBlack) {
                return c;
            }
        }
        return -1;
    }

private:
    static constexpr std::uint64_t kOnes = 0x0101010101010101ULL;
    static constexpr std::uint64_t kHighBits = 0x8080808080808080ULL;
    static constexpr std::uint64_t kLowBits = 0x7F7F7F7F7F7F7F7FULL;

    static std::uint64_t Load(const std::uint8_t* p)
    {
        std::uint64_t word;
        std::memcpy(&word, p, sizeof word);
        return word;
    }

    // The high bit of every byte that holds the black index, exactly (no borrow between
    // bytes), so that both the lowest and the highest hit can be taken.
    std::uint64_t EqualBytes(std::uint64_t word) const
    {
        const std::uint64_t x = word ^ pattern_;
        return ~(((x & kLowBits) + kLowBits) | x) & kHighBits;
    }

    const MonoBitmap& picture_;
    bool black_[16] = {};
    bool anyBlack_ = false;
    bool wordSearch_ = false;
    std::uint8_t blackIndex_ = 0;
    std::uint64_t pattern_ = 0;
};

// The runs of a black-and-white picture: every black pixel has level 1.
class MonoRuns {
public:
    explicit MonoRuns(const MonoBitmap& picture) : finder_(picture) {}

    bool anyOn() const { return finder_.anyBlack(); }
    void setRow(std::int32_t r) { row_ = finder_.row(r); }
    std::uint8_t level(std::int32_t) const { return 1; }
    // The smallest column in [from, end) that is burned, else end.
    std::int32_t nextOn(std::int32_t from, std::int32_t end) const
    {
        return finder_.forward(row_, from, end, true);
    }
    // The smallest column in [from, end) whose level differs from that of `from`, else end.
    std::int32_t runEnd(std::int32_t from, std::int32_t end) const
    {
        return finder_.forward(row_, from, end, false);
    }
    // The largest column <= from that is burned, else -1.
    std::int32_t previousOn(std::int32_t from) const { return finder_.backward(row_, from, true); }
    // The largest column <= from whose level differs from that of `from`, else -1.
    std::int32_t runStart(std::int32_t from) const { return finder_.backward(row_, from, false); }
    // The level of a column just past a run, which is never burned in this picture.
    std::uint8_t levelAfterRun(std::int32_t) const { return 0; }

private:
    RunFinder finder_;
    const std::uint8_t* row_ = nullptr;
};

// The runs of a grey picture: each pixel's power level comes from its grey through a table,
// one row at a time; a run is a stretch of one non-zero level.
class GreyRuns {
public:
    GreyRuns(const GrayRaster& picture, const std::array<std::uint8_t, 256>& table)
        : picture_(picture), table_(table), levels_(static_cast<std::size_t>(picture.width) + 8)
    {
    }

    bool anyOn() const { return true; }
    void setRow(std::int32_t r)
    {
        const std::int32_t width = picture_.width;
        const std::uint8_t* grey = picture_.pixels.data() +
                                   static_cast<std::size_t>(r) * static_cast<std::size_t>(width);
        for (std::int32_t c = 0; c < width; ++c) {
            levels_[static_cast<std::size_t>(c)] = table_[grey[c]];
        }
    }
    std::uint8_t level(std::int32_t c) const { return levels_[static_cast<std::size_t>(c)]; }
    std::int32_t nextOn(std::int32_t from, std::int32_t end) const
    {
        return firstOther(from, end, 0);
    }
    std::int32_t runEnd(std::int32_t from, std::int32_t end) const
    {
        return firstOther(from, end, level(from));
    }
    std::int32_t previousOn(std::int32_t from) const { return lastOther(from, 0); }
    std::int32_t runStart(std::int32_t from) const { return lastOther(from, level(from)); }
    std::uint8_t levelAfterRun(std::int32_t c) const { return level(c); }

private:
    static constexpr std::uint64_t kOnes = 0x0101010101010101ULL;
    static constexpr bool kWords = std::endian::native == std::endian::little;

    std::uint64_t differing(std::int32_t c, std::uint8_t value) const
    {
        std::uint64_t word;
        std::memcpy(&word, levels_.data() + c, sizeof word);
        return word ^ (kOnes * value);
    }
    // The smallest column in [from, end) whose level is not `value`, else end.
    std::int32_t firstOther(std::int32_t c, std::int32_t end, std::uint8_t value) const
    {
        if constexpr (kWords) {
            for (; end - c >= 8; c += 8) {
                if (const std::uint64_t x = differing(c, value)) {
                    return c + std::countr_zero(x) / 8;
                }
            }
        }
        for (; c < end; ++c) {
            if (level(c) != value) {
                return c;
            }
        }
        return end;
    }
    // The largest column <= from whose level is not `value`, else -1.
    std::int32_t lastOther(std::int32_t from, std::uint8_t value) const
    {
        std::int32_t stop = from + 1; // columns [0, stop) are left to search
        if constexpr (kWords) {
            for (; stop >= 8; stop -= 8) {
                if (const std::uint64_t x = differing(stop - 8, value)) {
                    return stop - 8 + (63 - std::countl_zero(x)) / 8;
                }
            }
        }
        for (std::int32_t c = stop - 1; c >= 0; --c) {
            if (level(c) != value) {
                return c;
            }
        }
        return -1;
    }

    const GrayRaster& picture_;
    std::array<std::uint8_t, 256> table_;
    std::vector<std::uint8_t> levels_;
};

// Writes the engraving lines over the runs of a picture, black-and-white or grey alike.
template <typename Runs> class PassWriter {
public:
    PassWriter(JobSink& sink, const JobContext& context, Runs runs)
        : sink_(sink), c_(context),
          edges_(context.XOffsetValue, context.PixelSize, context.ImageWidth),
          runs_(std::move(runs)), width_(context.ImageWidth), height_(context.ImageHeight)
    {
        const bool grbl = context.Flavor == GcodeFlavor::Grbl;
        movePrefix_ = c_.MoveWord + " X";
        burnPrefix_ = movePrefix_;
        if (!c_.InlinePowers.empty()) {
            // Marlin's inline laser mode: every move carries its power after the feed. G0
            // burns nothing there, so burn moves are G1 whatever the laser-off moves use.
            burnPrefix_ = "G1 X";
            offTail_ = "S0\r\n";
            onLead_.resize(c_.InlinePowers.size());
            for (const std::string& power : c_.InlinePowers) {
                onTail_.push_back("S" + power + "\r\n");
            }
            return;
        }
        // A 3D printer takes the laser command on a line of its own before the move, GRBL
        // after the feed of the move itself.
        const auto lead = [&](const std::string& command) {
            return grbl ? std::string() : c_.LaserSync + command + "\r\n";
        };
        const auto tail = [&](const std::string& command) {
            return grbl ? command + "\r\n" : std::string("\r\n");
        };
        offLead_ = lead(c_.LaserOffCommand);
        offTail_ = tail(c_.LaserOffCommand);
        std::vector<std::string> onCommands = c_.PowerCommands;
        if (onCommands.empty()) {
            onCommands = {std::string(), c_.LaserOnCommand};
        }
        for (const std::string& command : onCommands) {
            onLead_.push_back(lead(command));
            onTail_.push_back(tail(command));
        }
    }

    void forwardLine(std::int32_t r, double y);
    void reverseLine(std::int32_t r, double y);

private:
    // Sets up the line's Y and feeds for its moves.
    void startLine(double y)
    {
        char buffer[kNumberBufferSize];
        const std::string_view yText(
            buffer, static_cast<std::size_t>(WritePlainNumber(buffer, y, 12) - buffer));
        travelMid_.assign(" Y").append(yText).append(c_.OffFeed);
        burnMid_.assign(" Y").append(yText).append(c_.BurnFeed);
        levelBurnMids_.resize(c_.BurnFeeds.size());
        for (std::size_t level = 0; level < c_.BurnFeeds.size(); ++level) {
            levelBurnMids_[level].assign(" Y").append(yText).append(c_.BurnFeeds[level]);
        }
        scanMid_.assign(" Y").append(yText).append(c_.ScanFeed);
    }

    // One move: its laser command line for a 3D printer, the move and its line end (with the
    // laser command for GRBL).
    void move(std::string_view lead, std::string_view x, const std::string& mid,
              std::string_view tail, const std::string* prefix = nullptr)
    {
        if (!lead.empty()) {
            sink_.append(lead);
        }
        sink_.append(prefix != nullptr ? *prefix : movePrefix_);
        sink_.append(x);
        sink_.append(mid);
        sink_.append(tail);
    }
    void moveTo(std::string_view lead, double x, const std::string& mid, std::string_view tail)
    {
        char buffer[kNumberBufferSize];
        move(lead, {buffer, static_cast<std::size_t>(WritePlainNumber(buffer, x, 12) - buffer)},
             mid, tail);
    }
    void burnTo(std::uint8_t level, std::int32_t edge)
    {
        move(onLead_[level], edges_.text(edge, scratch_),
             levelBurnMids_.empty() ? burnMid_ : levelBurnMids_[level], onTail_[level],
             &burnPrefix_);
    }
    // Laser off to the start of the next run of the line: a travel at the off feed, or with
    // overscan a move at the burn feed, so the head keeps its speed along the line.
    void skipTo(std::int32_t edge)
    {
        move(offLead_, edges_.text(edge, scratch_), c_.OverscanValue != 0 ? scanMid_ : travelMid_,
             offTail_);
    }
    // The travel to the first run of a line, which starts at edge `edge`; `direction` is +1
    // on forward lines, -1 on reverse lines. The backlash correction approaches from the
    // side the head comes from, so the slack of the drive is taken up before the laser burns;
    // the overscan starts the line that much earlier, at full speed by the run's start.
    void lineStart(std::int32_t edge, double direction)
    {
        const double o = c_.OverscanValue;
        const double b = c_.BacklashValue;
        if (o == 0 && b == 0) {
            move(offLead_, edges_.text(edge, scratch_), travelMid_, offTail_);
            return;
        }
        const double start = edges_.value(edge) - direction * o;
        if (b != 0) {
            const double first = Clean(start - direction * b);
            moveTo(offLead_, first, travelMid_, offTail_);
            moveTo({}, Clean(first + direction * b), travelMid_, offTail_);
        } else {
            moveTo(offLead_, Clean(start), travelMid_, offTail_);
        }
        if (o != 0) {
            // The laser is off since the travel: no second off command line.
            move({}, edges_.text(edge, scratch_), scanMid_, offTail_);
        }
    }
    // After the last run the head runs on by the overscan with the laser off.
    void lineEnd(std::int32_t edge, double direction)
    {
        if (c_.OverscanValue != 0) {
            moveTo(offLead_, Clean(edges_.value(edge) + direction * c_.OverscanValue), scanMid_,
                   offTail_);
        }
    }

    JobSink& sink_;
    const JobContext& c_;
    ColumnEdges edges_;
    Runs runs_;
    std::int32_t width_;
    std::int32_t height_;
    std::string movePrefix_;
    std::string burnPrefix_;
    std::string offLead_, offTail_;
    std::vector<std::string> onLead_, onTail_; // by power level
    std::string travelMid_, burnMid_, scanMid_;
    std::vector<std::string> levelBurnMids_; // by power level, when each has its own feed
    char scratch_[kNumberBufferSize] = {};
};

// Column c spans the X edges c + 1 to c + 2: a run from a to e burns from edge a + 1 to
// edge e + 2.
template <typename Runs> void PassWriter<Runs>::forwardLine(std::int32_t r, double y)
{
    if (r < 0 || r >= height_ || !runs_.anyOn()) {
        return; // row -1 after the last line lies outside the picture: not burned
    }
    runs_.setRow(r);
    std::int32_t i = runs_.nextOn(0, width_);
    if (i == width_) {
        return; // a line without a burned pixel writes nothing, not even a move to its Y
    }
    startLine(y);
    lineStart(i + 1, 1.0);
    for (;;) {
        const std::int32_t e = runs_.runEnd(i, width_);
        burnTo(runs_.level(i), e + 1);
        if (e < width_ && runs_.levelAfterRun(e) != 0) {
            i = e; // only the level changes: the next run starts where this one ends
            continue;
        }
        i = e < width_ ? runs_.nextOn(e, width_) : width_;
        if (i == width_) {
            lineEnd(e + 1, 1.0);
            return;
        }
        skipTo(i + 1);
    }
}

template <typename Runs> void PassWriter<Runs>::reverseLine(std::int32_t r, double y)
{
    if (r < 0 || r >= height_ || !runs_.anyOn()) {
        return;
    }
    runs_.setRow(r);
    std::int32_t i = runs_.previousOn(width_ - 1);
    if (i < 0) {
        return;
    }
    startLine(y);
    lineStart(i + 2, -1.0);
    for (;;) {
        const std::int32_t e = runs_.runStart(i);
        burnTo(runs_.level(i), e + 2);
        if (e >= 0 && runs_.levelAfterRun(e) != 0) {
            i = e;
            continue;
        }
        i = e >= 0 ? runs_.previousOn(e) : -1;
        if (i < 0) {
            lineEnd(e + 2, -1.0);
            return;
        }
        skipTo(i + 2);
    }
}

// The lines of the pass, from the bottom row of the picture upward.
template <typename Runs>
void WriteLines(JobSink& sink, const JobContext& context, const JobSettings& settings, Runs runs)
{
    const bool inlinePower = !context.InlinePowers.empty();
    if (inlinePower) {
        sink.line("M3 I"); // Marlin's inline laser mode, at power 0 until a move sets it
    }
    PassWriter<Runs> pass(sink, context, std::move(runs));
    const double step = settings.HalfStepHeight ? 0.5 : 1.0;
    const std::int32_t h = context.ImageHeight;
    // Each pass of a repeated engraving runs from the bottom row up again.
    for (int passNumber = 1; passNumber <= context.ImagePasses; ++passNumber) {
        if (passNumber > 1) {
            sink.line(context.comment("Image pass " + std::to_string(passNumber) + " of " +
                                      std::to_string(context.ImagePasses)));
        }
        double a = settings.HalfStepHeight ? -0.5 : -1.0; // line position in pixel pitches
        std::int32_t w = -1;                              // row counter, from the bottom
        const auto advance = [&] {
            a += step;
            w = settings.HalfStepHeight ? static_cast<std::int32_t>(a) : w + 1;
            return Clean(context.YOffsetValue + a * context.PixelSize);
        };
        while (h - 1 > a) {
            double y = advance();
            pass.forwardLine(h - 1 - w, y);
            if (!settings.Precision) {
                // The return line runs right to left on the next row, without testing first.
                y = advance();
                pass.reverseLine(h - 1 - w, y);
            }
        }
    }
    if (inlinePower) {
        sink.line("M5 I"); // laser off, and out of the inline mode
        return;
    }
    sink.append(context.LaserSync);
    sink.line(context.LaserOffCommand);
}

} // namespace

void WriteImagePass(JobSink& sink, const JobContext& context, const JobSettings& settings,
                    const MonoBitmap& picture)
{
    if (picture.width() != context.ImageWidth || picture.height() != context.ImageHeight) {
        throw std::invalid_argument("WriteImagePass: the picture does not match the job");
    }
    WriteLines(sink, context, settings, MonoRuns(picture));
}

void WriteImagePass(JobSink& sink, const JobContext& context, const JobSettings& settings,
                    const GrayRaster& picture)
{
    if (picture.width != context.ImageWidth || picture.height != context.ImageHeight ||
        context.PowerCommands.size() < 2) {
        throw std::invalid_argument("WriteImagePass: the picture does not match the job");
    }
    WriteLines(sink, context, settings,
               GreyRuns(picture, GreyLevelTable(static_cast<int>(context.PowerCommands.size()))));
}

void WriteLevelPass(JobSink& sink, const JobContext& context, const JobSettings& settings,
                    const GrayRaster& levels)
{
    const std::size_t count = context.PowerCommands.size();
    if (levels.width != context.ImageWidth || levels.height != context.ImageHeight || count < 2 ||
        count > 256 || (!context.BurnFeeds.empty() && context.BurnFeeds.size() != count) ||
        std::any_of(levels.pixels.begin(), levels.pixels.end(),
                    [&](std::uint8_t level) { return level >= count; })) {
        throw std::invalid_argument("WriteLevelPass: the levels do not match the job");
    }
    std::array<std::uint8_t, 256> identity{};
    for (std::size_t level = 0; level < identity.size(); ++level) {
        identity[level] = static_cast<std::uint8_t>(level);
    }
    WriteLines(sink, context, settings, GreyRuns(levels, identity));
}

void WriteJobEnd(JobSink& sink, const JobSettings& settings)
{
    if (!settings.UseEndOfCode) {
        return;
    }
    for (const std::string_view line : SplitLines(settings.EndOfCode)) {
        sink.line(Utf8ToCp1252(line));
    }
}

} // namespace pyrolith
