#include "toolpath/GcodeReader.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstring>
#include <fstream>
#include <numbers>
#include <vector>

#include "common/Error.h"
#include "machine/SendLine.h"

namespace pyrolith::toolpath {
namespace {

constexpr double kMillimetresPerInch = 25.4;
// GRBL keeps at most 79 characters of a line once blanks and comments are gone.
constexpr std::size_t kGrblLineCharacters = 79;
constexpr std::size_t kMaxCodesPerLine = 8;

enum class CharClass : std::uint8_t { Keep, Blank, LetterE, Special };

// What the stripping loop does with each byte.
struct CharClasses {
    std::array<CharClass, 256> kind{};
    std::array<char, 256> upper{};
    constexpr CharClasses()
    {
        for (int c = 0; c < 256; ++c) {
            kind[static_cast<std::size_t>(c)] = CharClass::Keep;
            upper[static_cast<std::size_t>(c)] =
                static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
        }
        for (const char c : {' ', '\t', '\r'}) {
            kind[static_cast<std::size_t>(c)] = CharClass::Blank;
        }
        for (const char c : {'(', ';', '*'}) {
            kind[static_cast<std::size_t>(c)] = CharClass::Special;
        }
        kind['E'] = CharClass::LetterE;
        kind['e'] = CharClass::LetterE;
    }
};
constexpr CharClasses kClasses;

// The letters GRBL reads besides G and M.
constexpr std::uint32_t kGrblLetters = [] {
    std::uint32_t mask = 0;
    for (const char c : {'F', 'I', 'J', 'K', 'L', 'N', 'P', 'R', 'S', 'T', 'X', 'Y', 'Z'}) {
        mask |= 1u << (c - 'A');
    }
    return mask;
}();

constexpr double kInversePowersOfTen[] = {
    1e0,   1e-1,  1e-2,  1e-3,  1e-4,  1e-5,  1e-6,  1e-7,  1e-8,  1e-9,  1e-10, 1e-11,
    1e-12, 1e-13, 1e-14, 1e-15, 1e-16, 1e-17, 1e-18, 1e-19, 1e-20, 1e-21, 1e-22};

bool IsLetter(char c)
{
    return c >= 'A' && c <= 'Z';
}

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

// A G or M code in tenths: G28.1 is 281.
std::string CodeText(char letter, int tenths)
{
    std::string text(1, letter);
    text += std::to_string(tenths / 10);
    if (tenths % 10 != 0) {
        text += '.';
        text += std::to_string(tenths % 10);
    }
    return text;
}

// GRBL's modal groups of G codes; -1 for a code GRBL does not know.
int GrblGroupOfG(int tenths)
{
    switch (tenths) {
    case 40: case 100: case 280: case 281: case 300: case 301: case 530: case 920: case 921:
        return 0;  // non-modal
    case 0: case 10: case 20: case 30: case 382: case 383: case 384: case 385: case 800:
        return 1;  // motion
    case 170: case 180: case 190:
        return 2;  // plane
    case 900: case 910:
        return 3;  // distance
    case 911:
        return 4;  // arc distance
    case 930: case 940:
        return 5;  // feed rate mode
    case 200: case 210:
        return 6;  // units
    case 400:
        return 7;  // cutter compensation
    case 431: case 490:
        return 8;  // tool length offset
    case 540: case 550: case 560: case 570: case 580: case 590:
        return 12;  // coordinate system
    case 610:
        return 13;  // control mode
    default:
        return -1;
    }
}

int GrblGroupOfM(int tenths)
{
    switch (tenths) {
    case 0: case 10: case 20: case 300:
        return 4;  // stopping
    case 30: case 40: case 50:
        return 7;  // spindle
    case 70: case 80: case 90:
        return 8;  // coolant
    case 560:
        return 9;  // parking override
    default:
        return -1;
    }
}

// Reads the number at `p` (an optional sign, digits and one point; never an exponent) and
// moves `p` past it. The digits are read as they are passed: up to 15 significant digits make
// an exact mantissa, and one multiplication puts the point in, within a unit of the last place
// of what std::from_chars gives; longer numbers go to from_chars. False, with `p` anywhere,
// when there is no number.
bool ReadLongNumber(const char*& p, const char* end, double& value)
{
    bool negative = false;
    if (p < end && (*p == '-' || *p == '+')) {
        negative = *p == '-';
        ++p;
    }
    const char* digits = p;
    std::uint64_t mantissa = 0;
    int significant = 0;
    int decimals = 0;
    bool exact = true;
    const auto take = [&](bool fraction) {
        while (p < end && IsDigit(*p)) {
            if (significant < 15) {
                mantissa = mantissa * 10 + static_cast<std::uint64_t>(*p - '0');
                significant += mantissa != 0 ? 1 : 0;
                decimals += fraction ? 1 : 0;
            } else {
                exact = false;
            }
            ++p;
        }
    };
    take(false);
    if (p < end && *p == '.') {
        ++p;
        take(true);
    }
    if (p == digits || (p - digits == 1 && *digits == '.')) {
        return false;
    }
    if (exact && decimals <= 22) {
        value = static_cast<double>(mantissa) * kInversePowersOfTen[decimals];
    } else {
        const auto read = std::from_chars(digits, p, value, std::chars_format::fixed);
        if (read.ec != std::errc() || read.ptr != p || !std::isfinite(value)) {
            return false;
        }
    }
    if (negative) {
        value = -value;
    }
    return true;
}

// The same for the numbers of a job, at most 15 digits: one pass over the digits.
inline bool ReadNumber(const char*& p, const char* end, double& value)
{
    const char* q = p;
    const bool negative = q < end && *q == '-';
    q += negative || (q < end && *q == '+') ? 1 : 0;
    const char* digits = q;
    std::uint64_t mantissa = 0;
    while (q < end && IsDigit(*q)) {
        mantissa = mantissa * 10 + static_cast<std::uint64_t>(*q++ - '0');
    }
    const char* point = q;
    if (q < end && *q == '.') {
        ++q;
        while (q < end && IsDigit(*q)) {
            mantissa = mantissa * 10 + static_cast<std::uint64_t>(*q++ - '0');
        }
    }
    const auto decimals = q - point - (point < q ? 1 : 0);
    const auto count = (point - digits) + decimals;
    if (count == 0 || count > 15) {
        return ReadLongNumber(p, end, value);  // no number, or one too long to be exact here
    }
    const double magnitude =
        static_cast<double>(mantissa) * kInversePowersOfTen[static_cast<std::size_t>(decimals)];
    value = negative ? -magnitude : magnitude;
    p = q;
    return true;
}

}  // namespace

// The words of one line. Letters other than G and M hold one value each (the last one).
// Only the counts start at zero: a value is read only where its count says it was given.
struct GcodeReader::Words {
    std::array<double, 26> value;
    std::array<std::uint8_t, 26> count{};
    std::array<int, kMaxCodesPerLine> g;
    std::array<int, kMaxCodesPerLine> m;
    std::size_t gCount = 0;
    std::size_t mCount = 0;

    bool has(char letter) const { return count[static_cast<std::size_t>(letter - 'A')] != 0; }
    // A letter given without a number, as the I of Marlin's "M3 I".
    bool flag(char letter) const { return has(letter) || (bare & (1u << (letter - 'A'))) != 0; }
    std::uint32_t bare = 0;
    double get(char letter) const { return value[static_cast<std::size_t>(letter - 'A')]; }
    std::uint32_t gFlags = 0;  // the G codes that execute() asks for, one bit each

    static constexpr std::uint32_t Flag(int tenths)
    {
        switch (tenths) {
        case 40: return 1u << 0;
        case 100: return 1u << 1;
        case 200: return 1u << 2;
        case 210: return 1u << 3;
        case 280: return 1u << 4;
        case 300: return 1u << 5;
        case 900: return 1u << 6;
        case 910: return 1u << 7;
        case 920: return 1u << 8;
        default: return 0;
        }
    }
    bool hasG(int tenths) const { return (gFlags & Flag(tenths)) != 0; }
    bool hasM(int tenths) const
    {
        for (std::size_t i = 0; i < mCount; ++i) {
            if (m[i] == tenths) {
                return true;
            }
        }
        return false;
    }
};

// The words of a line of fastLine()'s shapes: X, Y, Z, F, S and E, each at most once.
struct GcodeReader::FastWords {
    enum Slot { X, Y, Z, F, S, E, kSlots };
    static_assert(kSlots == kFastSlots);
    static constexpr std::uint32_t Bit(int slot) { return 1u << slot; }
    static constexpr std::uint32_t kMoveWords =
        (1u << X) | (1u << Y) | (1u << Z) | (1u << F) | (1u << S);

    std::array<double, kSlots> value;
    std::uint32_t given = 0;  // one bit per slot
    std::size_t kept = 0;     // characters once blanks and comments are gone

    static int SlotOf(char letter)
    {
        switch (letter) {
        case 'X': return X;
        case 'Y': return Y;
        case 'Z': return Z;
        case 'F': return F;
        case 'S': return S;
        case 'E': return E;
        default: return -1;
        }
    }
    // Digits after blanks would belong to the number before them once the blanks are gone.
    static bool EndsWord(const char* p, const char* end)
    {
        return p == end || *p == ' ' || *p == '\t' || *p == ';' || IsLetter(*p);
    }
    // Reads words up to the line end or a comment; false at anything else.
    bool read(const char* p, const char* end, std::uint32_t allowed)
    {
        for (;;) {
            while (p < end && (*p == ' ' || *p == '\t')) {
                ++p;
            }
            if (p == end || *p == ';') {
                return true;
            }
            const int slot = SlotOf(*p);
            if (slot < 0 || (allowed & Bit(slot)) == 0 || (given & Bit(slot)) != 0) {
                return false;
            }
            const char* start = ++p;
            if (!ReadNumber(p, end, value[static_cast<std::size_t>(slot)]) || !EndsWord(p, end)) {
                return false;
            }
            given |= Bit(slot);
            kept += 1 + static_cast<std::size_t>(p - start);
        }
    }
    void merge(const FastWords& other)
    {
        for (int slot = 0; slot < kSlots; ++slot) {
            if ((other.given & Bit(slot)) != 0) {
                value[static_cast<std::size_t>(slot)] = other.value[static_cast<std::size_t>(slot)];
            }
        }
        given |= other.given;
        kept += other.kept;
    }
};

namespace {

// The words of each set of FastWords slots.
constexpr auto kWordCount = [] {
    std::array<std::uint8_t, 1u << GcodeReader::kFastSlots> count{};
    for (std::size_t set = 0; set < count.size(); ++set) {
        for (std::size_t bits = set; bits != 0; bits &= bits - 1) {
            ++count[set];
        }
    }
    return count;
}();

}  // namespace

// On cache lines of their own: read for every line, they must not share a line with what
// another thread writes (the planner's queues are allocated just before them).
struct alignas(64) GcodeReader::TailEntry {
    std::size_t size = 0;
    std::size_t sent = 0; // what a sender sends of it: up to a comment, no blanks after
    char text[48];
    FastWords words;
};

GcodeReader::~GcodeReader() = default;

GcodeReader::GcodeReader(const ReaderOptions& options, EventSink& sink)
    : options_(options), sink_(sink), tails_(std::make_unique<std::array<TailEntry, 4>>())
{
    lineEvent_.kind = EventKind::Line;
    if (options_.flavor == GcodeFlavor::Printer3D) {
        state_.spindle = 107;
    }
}

// Like the firmware, one reason per line: the first one found.
void GcodeReader::problem(std::string reason)
{
    if (!lineReported_) {
        lineReported_ = true;
        sink_.problem(Problem{lineNumber_, std::move(reason)});
    }
}

void GcodeReader::feed(std::string_view text)
{
    while (!text.empty()) {
        const void* found = std::memchr(text.data(), '\n', text.size());
        if (found == nullptr) {
            pending_.append(text);
            return;
        }
        const std::size_t end = static_cast<std::size_t>(static_cast<const char*>(found) -
                                                         text.data());
        std::string_view piece = text.substr(0, end);
        text.remove_prefix(end + 1);
        if (!pending_.empty()) {
            // The line's start waited in pending_, which keeps its memory for the next one.
            pending_.append(piece);
            std::string_view full = pending_;
            if (full.back() == '\r') {
                full.remove_suffix(1);
            }
            line(full);
            pending_.clear();
            continue;
        }
        if (!piece.empty() && piece.back() == '\r') {
            piece.remove_suffix(1);
        }
        line(piece);
    }
}

void GcodeReader::finish()
{
    if (!pending_.empty()) {
        std::string_view text = pending_;
        if (text.back() == '\r') {
            text.remove_suffix(1);
        }
        line(text);
        pending_.clear();
    }
    sendPendingLine();
}

void GcodeReader::sendPendingLine()
{
    if (linePending_) {
        linePending_ = false;
        sink_.sent(lineEvent_);
    }
}

void GcodeReader::line(std::string_view text)
{
    ++lineNumber_;
    lineReported_ = false;
    if (!options_.shortcuts || !fastLine(text)) {
        generalLine(text);
    }
}

// The shapes of line a raster job is made of, read in place: a comment line; G0 or G1 with
// X, Y, Z, F and S words (E too on printers); on printers M106 with or without S, and M107.
// Upper-case letters, blanks between the words, a comment after them. What it does is what
// generalLine() and execute() make of the same line, taken the short way; anything else, a
// line the firmware would refuse included, is left to them (false).
bool GcodeReader::fastLine(std::string_view text)
{
    const bool grbl = options_.flavor == GcodeFlavor::Grbl;
    const char* p = text.data();
    const char* const end = p + text.size();
    while (p < end && (*p == ' ' || *p == '\t')) {
        ++p;
    }
    if (p == end) {
        return false;
    }
    const char* const commandStart = p;
    if (*p == ';') {
        sink_.note(lineNumber_, text);
        return true;
    }
    if (!grbl && options_.printerLaser == PrinterLaser::MarlinInline) {
        return false;  // M106 is a fan there, and S on a move may be the laser's power
    }
    // The command: G0, G1, M106 or M107, followed by a blank, a comment or the line end; or,
    // for GRBL, none: the words of a move in the modal G0 or G1 ("X20.4S8").
    enum class Command { Rapid, Linear, Modal, FanOn, FanOff } command;
    const std::size_t left = static_cast<std::size_t>(end - p);
    const auto endsAt = [&](std::size_t n) {
        return left == n || p[n] == ' ' || p[n] == '\t' || p[n] == ';' ||
               (p[0] == 'G' && IsLetter(p[n]));
    };
    std::size_t codeLength = 0;
    if (grbl && FastWords::SlotOf(p[0]) >= 0) {
        if (state_.motion > 1) {
            return false;  // an arc's words need I, J or R
        }
        command = Command::Modal;
    } else if (left >= 2 && p[0] == 'G' && (p[1] == '0' || p[1] == '1') && endsAt(2)) {
        command = p[1] == '0' ? Command::Rapid : Command::Linear;
        codeLength = 2;
    } else if (!grbl && left >= 4 && p[0] == 'M' && p[1] == '1' && p[2] == '0' &&
               (p[3] == '6' || p[3] == '7') && endsAt(4)) {
        command = p[3] == '6' ? Command::FanOn : Command::FanOff;
        codeLength = 4;
    } else {
        return false;
    }
    p += codeLength;
    const std::uint32_t allowed =
        command == Command::FanOn    ? FastWords::Bit(FastWords::S)
        : command == Command::FanOff ? 0u
        : grbl                       ? FastWords::kMoveWords
                                     : FastWords::kMoveWords | FastWords::Bit(FastWords::E);
    FastWords words;
    words.kept = codeLength;
    const char* sentEnd = nullptr; // where what a sender sends of the line ends, when known
    // Along a raster line only X changes: the rest of a move after its X word is looked up
    // among the rests read last, and read only when it is new.
    const std::size_t gap = command == Command::Modal ? 0 : 1;  // the blank after G0 or G1
    if (command <= Command::Modal && end - p >= static_cast<std::ptrdiff_t>(gap + 1) &&
        (gap == 0 || p[0] == ' ' || p[0] == '\t') && p[gap] == 'X') {
        p += gap + 1;
        const char* start = p;
        if (!ReadNumber(p, end, words.value[FastWords::X]) || !FastWords::EndsWord(p, end)) {
            return false;
        }
        words.given = FastWords::Bit(FastWords::X);
        words.kept += 1 + static_cast<std::size_t>(p - start);
        const std::string_view rest(p, static_cast<std::size_t>(end - p));
        const FastWords* known = nullptr;
        for (const TailEntry& entry : *tails_) {
            if (entry.size == rest.size() && std::memcmp(entry.text, rest.data(), rest.size()) == 0) {
                known = &entry.words;
                sentEnd = rest.data() + entry.sent;
                break;
            }
        }
        if (known == nullptr) {
            FastWords tail;
            if (!tail.read(p, end, allowed & ~FastWords::Bit(FastWords::X))) {
                return false;
            }
            if (rest.size() <= sizeof(TailEntry::text)) {
                TailEntry& entry = (*tails_)[nextTail_];
                nextTail_ = (nextTail_ + 1) % tails_->size();
                entry.size = rest.size();
                std::memcpy(entry.text, rest.data(), rest.size());
                entry.words = tail;
                known = &entry.words;
                entry.sent = rest.find(';');
                if (entry.sent == std::string_view::npos) {
                    entry.sent = rest.size();
                }
                while (entry.sent > 0 &&
                       (rest[entry.sent - 1] == ' ' || rest[entry.sent - 1] == '\t')) {
                    --entry.sent; // a move's X number ends in no blank: the line's end of it
                }
                sentEnd = rest.data() + entry.sent;
            } else {
                words.merge(tail);
            }
        }
        if (known != nullptr) {
            words.merge(*known);
        }
    } else if (!words.read(p, end, allowed)) {
        return false;
    }
    if (grbl && words.kept > kGrblLineCharacters) {
        return false;
    }
    if (options_.lineEvents) {
        // What a sender sends of this line: up to a comment, without blanks around it (the
        // line holds no parenthesis and no line end, so that is all lineEvent() would take);
        // for a rest after X read before, as it was found then.
        const char* last = sentEnd;
        if (last == nullptr) {
            const void* comment =
                std::memchr(commandStart, ';', static_cast<std::size_t>(end - commandStart));
            last = comment != nullptr ? static_cast<const char*>(comment) : end;
            while (last[-1] == ' ' || last[-1] == '\t') {
                --last; // stops at the command, which is no blank
            }
        }
        const std::string_view sent(commandStart, static_cast<std::size_t>(last - commandStart));
        // Its words: the command's letter and one for each word read.
        sentLine(sent, (codeLength > 0 ? 1u : 0u) + kWordCount[words.given], words.kept);
    }
    const auto has = [&](int slot) { return (words.given & FastWords::Bit(slot)) != 0; };
    const auto get = [&](int slot) { return words.value[static_cast<std::size_t>(slot)]; };
    constexpr int S = FastWords::S;
    constexpr int F = FastWords::F;

    if (command == Command::FanOn) {
        state_.power = has(S) ? get(S) : 255.0;
        state_.spindle = state_.power > 0.0 ? 106 : 107;
        return true;
    }
    if (command == Command::FanOff) {
        state_.power = 0.0;
        state_.spindle = 107;
        return true;
    }
    // A move: execute() for one motion code and no M code.
    const double unit = state_.inches ? kMillimetresPerInch : 1.0;
    if (has(F)) {
        state_.feed = get(F) * unit;
    }
    const int motion = command == Command::Modal ? state_.motion
                       : command == Command::Rapid ? 0
                                                   : 1;
    const bool axisWords =
        (words.given & (FastWords::Bit(FastWords::X) | FastWords::Bit(FastWords::Y) |
                        FastWords::Bit(FastWords::Z))) != 0;
    if (grbl) {
        const bool cutting = motion >= 1;
        const bool wasCutting = state_.motion >= 1;
        bool syncPower = options_.laserMode && !axisWords && state_.spindle == 3 &&
                         cutting != wasCutting;
        if (has(S) && get(S) != state_.power) {
            syncPower = true;
        }
        if (has(S)) {
            state_.power = get(S);
        }
        if (syncPower && state_.spindle != 5 && !(options_.laserMode && axisWords)) {
            stop();
        }
    }
    Point target = state_.position;
    const auto axis = [&](int slot, double& coordinate) {
        if (has(slot)) {
            const double v = get(slot) * unit;
            coordinate = state_.relative ? coordinate + v : v;
        }
    };
    axis(FastWords::X, target.x);
    axis(FastWords::Y, target.y);
    axis(FastWords::Z, target.z);
    state_.motion = motion;
    if (!axisWords) {
        return true;
    }
    if (grbl && motion != 0 && state_.feed <= 0.0) {
        problem("G" + std::to_string(motion) + " without a feed rate (error:22)");
    }
    move(target, motion == 0 ? Motion::Rapid : Motion::Linear);
    return true;
}

void GcodeReader::generalLine(std::string_view text)
{
    const bool grbl = options_.flavor == GcodeFlavor::Grbl;

    // Blanks and comments out, letters up. An E written straight after a digit ("1E5") is
    // how an exponent looks.
    if (strippedBuffer_.size() < text.size()) {
        strippedBuffer_.resize(text.size());
    }
    char* out = strippedBuffer_.data();
    std::size_t checksumAt = std::string_view::npos;
    bool exponentLike = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        const CharClass kind = kClasses.kind[static_cast<unsigned char>(c)];
        if (kind == CharClass::Keep) {
            *out++ = kClasses.upper[static_cast<unsigned char>(c)];
            continue;
        }
        if (kind == CharClass::Blank) {
            continue;
        }
        if (kind == CharClass::LetterE) {
            if (i > 0 && (IsDigit(text[i - 1]) || text[i - 1] == '.') && i + 1 < text.size() &&
                (IsDigit(text[i + 1]) || text[i + 1] == '-' || text[i + 1] == '+')) {
                exponentLike = true;
            }
            *out++ = 'E';
            continue;
        }
        if (c == '(') {
            const std::size_t close = text.find(')', i + 1);
            if (close == std::string_view::npos) {
                break;
            }
            i = close;
            continue;
        }
        if (c == ';') {
            break;
        }
        // '*'
        if (!grbl) {
            checksumAt = i;
            break;
        }
        *out++ = c;
    }
    stripped_ = std::string_view(strippedBuffer_.data(),
                                 static_cast<std::size_t>(out - strippedBuffer_.data()));
    if (options_.lineEvents && !stripped_.empty()) {
        lineEvent(text);
    }

    if (checksumAt != std::string_view::npos) {
        unsigned sum = 0;
        for (std::size_t i = 0; i < checksumAt; ++i) {
            sum ^= static_cast<unsigned char>(text[i]);
        }
        std::string_view digits = text.substr(checksumAt + 1);
        while (!digits.empty() && (digits.back() == ' ' || digits.back() == '\t')) {
            digits.remove_suffix(1);
        }
        const std::size_t comment = digits.find(';');
        if (comment != std::string_view::npos) {
            digits = digits.substr(0, comment);
        }
        unsigned given = 0;
        const auto read = std::from_chars(digits.data(), digits.data() + digits.size(), given);
        if (read.ec != std::errc() || read.ptr != digits.data() + digits.size() || given != sum) {
            problem("checksum does not match the line (" + std::to_string(sum) + ")");
        }
    }

    if (stripped_.empty()) {
        sink_.note(lineNumber_, text);
        return;
    }
    if (stripped_.front() == '$' || stripped_.front() == '%') {
        if (stripped_ == "$H") {
            state_.position = Point{};
            Event home;
            home.kind = EventKind::Home;
            home.line = lineNumber_;
            home.power = state_.power;
            deliver(home);
        }
        return;
    }
    if (grbl && stripped_.size() > kGrblLineCharacters) {
        problem("longer than 79 characters without blanks and comments (error:11)");
    }

    Words words;
    bool axisWords = false;
    std::array<int, 16> seenG{};
    std::array<int, 16> seenM{};
    seenG.fill(-1);
    seenM.fill(-1);
    const char* p = stripped_.data();
    const char* const end = p + stripped_.size();
    while (p < end) {
        const char letter = *p++;
        if (!IsLetter(letter)) {
            if (grbl) {
                problem(std::string("'") + letter + "' is not a G-code letter (error:1)");
            }
            continue;
        }
        // The number: an optional sign, digits and one point; never an exponent.
        const char* start = p;
        double value = 0.0;
        const bool hasNumber = ReadNumber(p, end, value);
        if (!hasNumber) {
            p = start;
            words.bare |= 1u << (letter - 'A');
            if (grbl) {
                problem(std::string(1, letter) + " without a number (error:2)");
            }
            continue;
        }
        const std::size_t index = static_cast<std::size_t>(letter - 'A');
        if (letter == 'G' || letter == 'M') {
            const double scaled = value * 10.0;
            const bool inRange = scaled >= 0.0 && scaled < 100000.0;
            const double tenths = inRange ? static_cast<double>(static_cast<int>(scaled + 0.5)) : -1.0;
            const bool whole = inRange && std::abs(scaled - tenths) < 1e-6;
            const int code = whole ? static_cast<int>(tenths) : -1;
            if (grbl) {
                checkGrblCode(letter, code, letter == 'G' ? seenG : seenM);
            }
            if (letter == 'G' && code >= 0) {
                words.gFlags |= Words::Flag(code);
            }
            std::array<int, kMaxCodesPerLine>& codes = letter == 'G' ? words.g : words.m;
            std::size_t& count = letter == 'G' ? words.gCount : words.mCount;
            if (count < kMaxCodesPerLine) {
                codes[count++] = code;
            }
            continue;
        }
        if (grbl && (kGrblLetters & (1u << (letter - 'A'))) == 0) {
            if (letter == 'E' && exponentLike) {
                problem("GRBL reads no exponents (error:20)");
            } else {
                problem(std::string(1, letter) + " words are not GRBL words (error:20)");
            }
        } else if (grbl && words.count[index] != 0) {
            problem(std::string(1, letter) + " twice in one line (error:25)");
        }
        if (words.count[index] < 255) {
            ++words.count[index];
        }
        words.value[index] = value;
        axisWords = axisWords || letter == 'X' || letter == 'Y' || letter == 'Z';
    }

    if (!grbl && options_.printerLaser == PrinterLaser::MarlinInline) {
        for (std::size_t i = 0; i < words.mCount; ++i) {
            if (words.m[i] == 1060 || words.m[i] == 1070) {
                problem(CodeText('M', words.m[i]) +
                        " switches the fan, not Marlin's laser: its laser commands are M3 S and "
                        "M5");
            }
        }
    } else if (!grbl) {
        for (std::size_t i = 0; i < words.mCount; ++i) {
            if (words.m[i] == 30 || words.m[i] == 40 || words.m[i] == 50) {
                problem(CodeText('M', words.m[i]) +
                       " is not a laser command of the 3D Printer flavor (M106 S, M107)");
            }
        }
    }
    execute(words, axisWords);
}

// GRBL refuses an unknown G or M code and a second code of one modal group.
void GcodeReader::checkGrblCode(char letter, int code, std::array<int, 16>& seen)
{
    const int group = code < 0 ? -1 : letter == 'G' ? GrblGroupOfG(code) : GrblGroupOfM(code);
    if (group < 0) {
        problem(code < 0 ? std::string(1, letter) + " with an unknown number (error:20)"
                         : CodeText(letter, code) + " is not a GRBL command (error:20)");
        return;
    }
    int& first = seen[static_cast<std::size_t>(group)];
    // GRBL 1.1 takes M7 and M8 together.
    if (first >= 0 && !(letter == 'M' && group == 8)) {
        problem(CodeText(letter, first) + " and " + CodeText(letter, code) +
                " are in one modal group (error:21)");
    } else {
        first = code;
    }
}

// The line as a sender sends it: without comments and without blanks around it.
void GcodeReader::lineEvent(std::string_view text)
{
    const std::string sent = machine::CleanLine(text, false);
    if (!sent.empty()) {
        sentLine(sent, stripped_);
    }
}

void GcodeReader::sentLine(std::string_view sent, std::string_view code)
{
    // The words and the characters without blanks of the line's code.
    std::size_t words = 0;
    std::size_t chars = 0;
    for (const char c : code) {
        words += c >= 'A' && c <= 'Z' ? 1 : 0;
        chars += c != ' ' && c != '\t' ? 1 : 0;
    }
    sentLine(sent, words, chars);
}

void GcodeReader::sentLine(std::string_view sent, std::size_t words, std::size_t chars)
{
    sendPendingLine();  // the line before made no event
    Event& event = lineEvent_;  // the other fields stay as they are made
    event.line = lineNumber_;
    // A GRBL sender sends no checksum.
    event.sent.set(static_cast<std::uint32_t>(sent.size()),
                   options_.flavor == GcodeFlavor::Grbl ? std::uint8_t{0}
                                                        : machine::LineChecksum(sent),
                   static_cast<std::uint8_t>(std::min<std::size_t>(words, 255)),
                   static_cast<std::uint16_t>(std::min<std::size_t>(chars, 65535)));
    if (options_.carryLines) {
        linePending_ = true;
        return;
    }
    sink_.sent(event);
}

// Marlin's laser: M3 and M4 switch it on (with I into the inline mode, where the moves carry
// the power), M5 off (with I out of the inline mode). Outside the inline mode each of them
// waits for the queued moves; inside, S on a move sets the power without a stop.
bool GcodeReader::marlinLaser(const Words& w)
{
    bool mustStop = false;
    bool laserCommand = false;
    for (std::size_t i = 0; i < w.mCount; ++i) {
        const int code = w.m[i];
        if (code == 30 || code == 40 || code == 50) {
            laserCommand = true;
            mustStop = mustStop || !state_.inlineLaser || (code == 50 && w.flag('I'));
            if (code == 50) {
                state_.power = 0.0;
                state_.spindle = 5;
                state_.inlineLaser = state_.inlineLaser && !w.flag('I');
                continue;
            }
            state_.inlineLaser = state_.inlineLaser || w.flag('I');
            state_.spindle = code / 10;
            state_.power = w.has('S') ? w.get('S') : state_.inlineLaser ? 0.0 : 255.0;
        } else if (code == 4000) {
            mustStop = true;
        }
    }
    if (!laserCommand && state_.inlineLaser && w.has('S')) {
        state_.power = w.get('S');
    }
    return mustStop;
}

bool GcodeReader::burning(Motion motion) const
{
    if (options_.flavor == GcodeFlavor::Printer3D) {
        if (options_.printerLaser == PrinterLaser::MarlinInline) {
            // Inline, only the moves burn, G0 never; otherwise M3 burns until M5.
            return state_.spindle != 5 && state_.power > 0.0 &&
                   (!state_.inlineLaser || motion != Motion::Rapid);
        }
        return state_.spindle == 106 && state_.power > 0.0;
    }
    if (state_.spindle == 5 || state_.power <= 0.0) {
        return false;
    }
    return !options_.laserMode || motion != Motion::Rapid;
}

void GcodeReader::stop()
{
    Event event;
    event.kind = EventKind::Stop;
    event.line = lineNumber_;
    event.to = state_.position;
    event.power = state_.power;
    deliver(event);
}

void GcodeReader::execute(const Words& w, bool axisWords)
{
    const bool grbl = options_.flavor == GcodeFlavor::Grbl;

    // Units and positioning first: they apply to every number of the line.
    const bool wasInches = state_.inches;
    const bool wasRelative = state_.relative;
    if (w.hasG(200)) {
        state_.inches = true;
    } else if (w.hasG(210)) {
        state_.inches = false;
    }
    if (w.hasG(900)) {
        state_.relative = false;
    } else if (w.hasG(910)) {
        state_.relative = true;
    }
    if (state_.inches != wasInches || state_.relative != wasRelative || w.hasG(200) ||
        w.hasG(210) || w.hasG(900) || w.hasG(910)) {
        Event mode;
        mode.kind = EventKind::Mode;
        mode.line = lineNumber_;
        mode.inches = state_.inches;
        mode.relative = state_.relative;
        mode.to = state_.position;
        deliver(mode);
    }
    const double unit = state_.inches ? kMillimetresPerInch : 1.0;

    if (w.has('F')) {
        state_.feed = w.get('F') * unit;
    }

    int motion = state_.motion;
    for (std::size_t i = 0; i < w.gCount; ++i) {
        if (w.g[i] == 0 || w.g[i] == 10 || w.g[i] == 20 || w.g[i] == 30) {
            motion = w.g[i] / 10;
        }
    }
    // Axis words belong to G92, G28 or G10 when those are in the line, not to the motion.
    const bool axisCommand = w.hasG(920) || w.hasG(280) || w.hasG(300) || w.hasG(100);
    const bool motionWithAxes = axisWords && !axisCommand;

    bool mustStop = false;
    if (grbl) {
        int spindle = state_.spindle;
        for (std::size_t i = 0; i < w.mCount; ++i) {
            if (w.m[i] == 30 || w.m[i] == 40 || w.m[i] == 50) {
                spindle = w.m[i] / 10;
            }
        }
        const bool cutting = motion >= 1;
        const bool wasCutting = state_.motion >= 1;
        bool syncPower = false;
        if (options_.laserMode && !motionWithAxes && state_.spindle == 3 &&
            cutting != wasCutting) {
            syncPower = true;  // constant power follows a change between G0 and G1 at rest
        }
        if (w.has('S') && w.get('S') != state_.power) {
            syncPower = true;
        }
        // A new power is taken at a stop unless it rides on a laser-mode move.
        if (syncPower && state_.spindle != 5 && !(options_.laserMode && motionWithAxes)) {
            mustStop = true;
        }
        if (w.has('S')) {
            state_.power = w.get('S');
        }
        if (spindle != state_.spindle) {
            mustStop = true;  // every change among M3, M4 and M5 drains the planner
            state_.spindle = spindle;
        }
        for (std::size_t i = 0; i < w.mCount; ++i) {
            if (w.m[i] == 0 || w.m[i] == 10 || w.m[i] == 20 || w.m[i] == 300) {
                mustStop = true;
            }
        }
    } else if (options_.printerLaser == PrinterLaser::MarlinInline) {
        mustStop = marlinLaser(w);
    } else {
        for (std::size_t i = 0; i < w.mCount; ++i) {
            if (w.m[i] == 1060) {
                state_.power = w.has('S') ? w.get('S') : 255.0;
                state_.spindle = state_.power > 0.0 ? 106 : 107;
            } else if (w.m[i] == 1070) {
                state_.power = 0.0;
                state_.spindle = 107;
            } else if (w.m[i] == 4000) {
                mustStop = true;
            }
        }
    }
    if (mustStop && !w.hasG(40)) {
        stop();
    }

    if (w.hasG(40)) {
        double seconds = 0.0;
        if (w.has('P')) {
            seconds = grbl ? w.get('P') : w.get('P') / 1000.0;
        } else if (!grbl && w.has('S')) {
            seconds = w.get('S');
        }
        Event dwell;
        dwell.kind = EventKind::Dwell;
        dwell.line = lineNumber_;
        dwell.to = state_.position;
        dwell.seconds = std::max(0.0, seconds);
        dwell.power = state_.power;
        if (grbl) {
            // At rest constant power (M3) stays lit in a cutting mode; dynamic power is off.
            dwell.laserOn = state_.spindle != 5 && state_.power > 0.0 &&
                            (!options_.laserMode || (state_.spindle == 3 && motion >= 1));
        } else {
            // Marlin's inline laser burns only while moving.
            dwell.laserOn = !state_.inlineLaser && burning(Motion::Linear);
        }
        deliver(dwell);
    }

    // The target of the axis words.
    Point target = state_.position;
    auto axis = [&](char letter, double& coordinate) {
        if (w.has(letter)) {
            const double v = w.get(letter) * unit;
            coordinate = state_.relative && !w.hasG(920) ? coordinate + v : v;
        }
    };
    axis('X', target.x);
    axis('Y', target.y);
    axis('Z', target.z);

    if (w.hasG(920)) {
        // Only the coordinates change; with no axis words every axis becomes 0 on printers.
        if (!axisWords && !grbl) {
            target = Point{};
        }
        state_.position = target;
        return;
    }
    if (w.hasG(280)) {
        Point home = state_.position;
        if (grbl) {
            if (axisWords) {
                move(target, Motion::Rapid);
            }
            home = Point{};
        } else {
            // A printer homes the named axes, or all of them.
            const bool all = !axisWords;
            if (all || w.has('X')) {
                home.x = 0.0;
            }
            if (all || w.has('Y')) {
                home.y = 0.0;
            }
            if (all || w.has('Z')) {
                home.z = 0.0;
            }
        }
        state_.position = home;
        Event event;
        event.kind = EventKind::Home;
        event.line = lineNumber_;
        event.to = home;
        event.power = state_.power;
        deliver(event);
        return;
    }
    state_.motion = motion;
    if (!motionWithAxes) {
        return;
    }
    if (grbl && motion != 0 && state_.feed <= 0.0) {
        problem("G" + std::to_string(motion) + " without a feed rate (error:22)");
    }
    if (motion == 0 || motion == 1) {
        move(target, motion == 0 ? Motion::Rapid : Motion::Linear);
    } else {
        arc(target, w, motion == 2);
    }
}

void GcodeReader::move(const Point& target, Motion motion)
{
    if (target == state_.position) {
        // A move that goes nowhere does not reach GRBL's planner; with constant power in
        // laser mode GRBL then sets the laser at a full stop instead.
        if (options_.flavor == GcodeFlavor::Grbl && options_.laserMode && state_.spindle == 3) {
            stop();
        }
        return;
    }
    Event event;
    event.kind = EventKind::Move;
    event.motion = motion;
    event.line = lineNumber_;
    event.from = state_.position;
    event.to = target;
    event.feed = motion == Motion::Rapid ? 0.0 : state_.feed;
    event.power = state_.power;
    event.spindle = static_cast<std::uint8_t>(state_.spindle <= 5 ? state_.spindle : 0);
    event.laserOn = burning(motion);
    deliver(event);
    state_.position = target;
}

// Chords as GRBL cuts them: as many as keep each within the arc tolerance of the arc.
void GcodeReader::arc(const Point& target, const Words& w, bool clockwise)
{
    const double unit = state_.inches ? kMillimetresPerInch : 1.0;
    const Point start = state_.position;
    const double dx = target.x - start.x;
    const double dy = target.y - start.y;
    double i = w.has('I') ? w.get('I') * unit : 0.0;
    double j = w.has('J') ? w.get('J') * unit : 0.0;
    if (w.has('R')) {
        double r = w.get('R') * unit;
        const double chord = std::hypot(dx, dy);
        double h2 = 4.0 * r * r - dx * dx - dy * dy;
        if (chord == 0.0 || h2 < 0.0) {
            problem("the arc's radius does not reach its end (error:33)");
            h2 = std::max(h2, 0.0);
            if (chord == 0.0) {
                return;
            }
        }
        double h = -std::sqrt(h2) / chord;
        if (!clockwise) {
            h = -h;
        }
        if (r < 0.0) {
            h = -h;
        }
        i = 0.5 * (dx - dy * h);
        j = 0.5 * (dy + dx * h);
    }
    const double cx = start.x + i;
    const double cy = start.y + j;
    const double radius = std::hypot(i, j);
    const double rx = -i;
    const double ry = -j;
    const double tx = target.x - cx;
    const double ty = target.y - cy;
    double travel = std::atan2(rx * ty - ry * tx, rx * tx + ry * ty);
    constexpr double kEpsilon = 5e-7;
    if (clockwise) {
        if (travel >= -kEpsilon) {
            travel -= 2.0 * std::numbers::pi;
        }
    } else if (travel <= kEpsilon) {
        travel += 2.0 * std::numbers::pi;
    }
    const double tolerance = options_.arcTolerance;
    double segments = 0.0;
    if (radius > 0.0 && 2.0 * radius > tolerance && tolerance > 0.0) {
        segments = std::floor(std::abs(0.5 * travel * radius) /
                              std::sqrt(tolerance * (2.0 * radius - tolerance)));
    }
    // A corrupt arc must not run forever: 100000 chords make a full circle of 400 m radius.
    if (!std::isfinite(segments) || segments < 0.0) {
        segments = 0.0;
    }
    segments = std::min(segments, 1.0e5);
    const auto count = static_cast<std::uint64_t>(segments);
    for (std::uint64_t k = 1; k < count; ++k) {
        const double angle = travel * static_cast<double>(k) / segments;
        const double c = std::cos(angle);
        const double s = std::sin(angle);
        Point chordEnd;
        chordEnd.x = cx + rx * c - ry * s;
        chordEnd.y = cy + rx * s + ry * c;
        chordEnd.z = start.z + (target.z - start.z) * static_cast<double>(k) / segments;
        move(chordEnd, Motion::Arc);
    }
    move(target, Motion::Arc);
}

void ReadGcodeFile(const std::filesystem::path& path, GcodeReader& reader,
                   const std::function<bool(std::uint64_t)>& progress)
{
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        throw Error("Cannot open " + path.string());
    }
    constexpr std::size_t kPiece = std::size_t{1} << 20;
    std::vector<char> buffer(kPiece);
    std::uint64_t total = 0;
    while (file) {
        file.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
        const std::streamsize got = file.gcount();
        if (got <= 0) {
            break;
        }
        total += static_cast<std::uint64_t>(got);
        reader.feed(std::string_view(buffer.data(), static_cast<std::size_t>(got)));
        if (progress && !progress(total)) {
            return;
        }
    }
    if (file.bad()) {
        throw Error("Cannot read " + path.string());
    }
    reader.finish();
}

}  // namespace pyrolith::toolpath
