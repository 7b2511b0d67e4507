#include "gcode/ImagePass.h"

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/TextEncoding.h"
#include "common/NumberText.h"

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

class PassWriter {
public:
    PassWriter(JobSink& sink, const JobContext& context, const MonoBitmap& picture)
        : sink_(sink), c_(context),
          edges_(context.XOffsetValue, context.PixelSize, context.ImageWidth), runs_(picture),
          width_(context.ImageWidth), height_(context.ImageHeight)
    {
        const bool grbl = context.Flavor == GcodeFlavor::Grbl;
        movePrefix_ = c_.MoveWord + " X";
        // A 3D printer takes the laser command on a line of its own before the move.
        travelPrefix_ = grbl ? movePrefix_ : c_.LaserOffCommand + "\r\n" + movePrefix_;
        burnPrefix_ = grbl ? movePrefix_ : c_.LaserOnCommand + "\r\n" + movePrefix_;
    }

    void forwardLine(std::int32_t r, double y);
    void reverseLine(std::int32_t r, double y);

private:
    // Sets up the line's Y for its moves; GRBL takes the laser command after the feed.
    void startLine(double y)
    {
        const bool grbl = c_.Flavor == GcodeFlavor::Grbl;
        char buffer[kNumberBufferSize];
        const std::string_view yText(
            buffer, static_cast<std::size_t>(WritePlainNumber(buffer, y, 12) - buffer));
        travelSuffix_.assign(" Y").append(yText).append(c_.OffFeed);
        burnSuffix_.assign(" Y").append(yText).append(c_.BurnFeed);
        if (grbl) {
            travelSuffix_ += c_.LaserOffCommand;
            burnSuffix_ += c_.LaserOnCommand;
        }
        travelSuffix_ += "\r\n";
        burnSuffix_ += "\r\n";
    }

    void move(const std::string& prefix, std::string_view x, const std::string& suffix)
    {
        sink_.append(prefix);
        sink_.append(x);
        sink_.append(suffix);
    }
    void moveToEdge(const std::string& prefix, std::int32_t k, const std::string& suffix)
    {
        move(prefix, edges_.text(k, scratch_), suffix);
    }
    void moveTo(const std::string& prefix, double x, const std::string& suffix)
    {
        char buffer[kNumberBufferSize];
        move(prefix, {buffer, static_cast<std::size_t>(WritePlainNumber(buffer, x, 12) - buffer)},
             suffix);
    }
    // The backlash correction: the first run of a line is approached from `approach`, the
    // side the head comes from, so the slack of the drive is taken up before the laser burns.
    void approachTravel(double approach, double back)
    {
        const double first = Clean(approach);
        moveTo(travelPrefix_, first, travelSuffix_);
        moveTo(movePrefix_, Clean(first + back), travelSuffix_);
    }

    JobSink& sink_;
    const JobContext& c_;
    ColumnEdges edges_;
    RunFinder runs_;
    std::int32_t width_;
    std::int32_t height_;
    std::string movePrefix_, travelPrefix_, burnPrefix_;
    std::string travelSuffix_, burnSuffix_;
    char scratch_[kNumberBufferSize] = {};
};

// Column c spans the X edges c + 1 to c + 2: a run from a to e burns from edge a + 1 to
// edge e + 2.
void PassWriter::forwardLine(std::int32_t r, double y)
{
    if (r < 0 || r >= height_ || !runs_.anyBlack()) {
        return; // row -1 after the last line lies outside the picture: white
    }
    const std::uint8_t* row = runs_.row(r);
    std::int32_t i = runs_.forward(row, 0, width_, true);
    if (i == width_) {
        return; // a line without black writes nothing, not even a move to its Y
    }
    startLine(y);
    const double b = c_.BacklashValue;
    if (b != 0) {
        approachTravel(edges_.value(i + 1) - b, b);
    } else {
        moveToEdge(travelPrefix_, i + 1, travelSuffix_);
    }
    for (;;) {
        i = runs_.forward(row, i, width_, false);
        moveToEdge(burnPrefix_, i + 1, burnSuffix_);
        if (i >= width_ - 1) {
            return;
        }
        i = runs_.forward(row, i, width_, true);
        if (i == width_) {
            return;
        }
        moveToEdge(travelPrefix_, i + 1, travelSuffix_);
    }
}

void PassWriter::reverseLine(std::int32_t r, double y)
{
    if (r < 0 || r >= height_ || !runs_.anyBlack()) {
        return;
    }
    const std::uint8_t* row = runs_.row(r);
    std::int32_t i = runs_.backward(row, width_ - 1, true);
    if (i < 0) {
        return;
    }
    startLine(y);
    const double b = c_.BacklashValue;
    if (b != 0) {
        approachTravel(edges_.value(i + 2) + b, -b);
    } else {
        moveToEdge(travelPrefix_, i + 2, travelSuffix_);
    }
    for (;;) {
        i = runs_.backward(row, i, false);
        moveToEdge(burnPrefix_, i + 2, burnSuffix_);
        if (i <= 0) {
            return;
        }
        i = runs_.backward(row, i - 1, true);
        if (i < 0) {
            return;
        }
        moveToEdge(travelPrefix_, i + 2, travelSuffix_);
    }
}

} // namespace

void WriteImagePass(JobSink& sink, const JobContext& context, const JobSettings& settings,
                    const MonoBitmap& picture)
{
    if (picture.width() != context.ImageWidth || picture.height() != context.ImageHeight) {
        throw std::invalid_argument("WriteImagePass: the picture does not match the job");
    }
    PassWriter pass(sink, context, picture);
    const double step = settings.HalfStepHeight ? 0.5 : 1.0;
    const std::int32_t h = context.ImageHeight;
    double a = settings.HalfStepHeight ? -0.5 : -1.0; // line position in pixel pitches
    std::int32_t w = -1;                              // row counter, counted from the bottom
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
    sink.line(context.LaserOffCommand);
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
