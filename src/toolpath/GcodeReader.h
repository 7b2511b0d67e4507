#pragma once

// The G-code reader: any G-code text, ours or a user's, becomes a stream of toolpath events
// (moves, dwells, homing, stops, mode changes) and a list of the lines the chosen firmware
// would refuse or misread.
//
// Use:
//     struct Sink : pyrolith::toolpath::EventSink {
//         void event(const Event& e) override { ... }
//         void problem(const Problem& p) override { ... }   // optional
//     } sink;
//     GcodeReader reader({GcodeFlavor::Grbl}, sink);
//     reader.feed(chunk); ... reader.finish();      // or reader.line(text) per line
//
// Lengths in events are millimetres and feeds millimetres per minute whatever the job's
// unit (G20 is converted as it is read); positions are the job's own coordinates (after
// G92), absolute even when the job moves relatively (G91). Events of one line carry its
// number (1-based, counting every line of the text) and come in the order the firmware
// carries the line out: stops first, then dwells, then motion. Lines a firmware would refuse
// are still carried out as far as they can be read, so a preview shows what was meant.

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "settings/JobSettings.h"

namespace pyrolith::toolpath {

struct Point {
    double x = 0.0;
    double y = 0.0;
    double z = 0.0;
    bool operator==(const Point&) const = default;
};

enum class EventKind : std::uint8_t {
    Move,  // a straight move from `from` to `to` (one chord of an arc for G2/G3)
    Dwell, // standing still for `seconds` at `to`; the machine stops first
    Home,  // homing ($H, printer G28): the position jumps to `to`; its time is unknown
    Stop,  // the machine comes to a full stop here (M400, a GRBL spindle change, ...)
    Mode,  // the unit (G20/G21) or the positioning mode (G90/G91) was set
    Line,  // a line a sender sends (ReaderOptions::lineEvents): `sent`
};

enum class Motion : std::uint8_t { Rapid, Linear, Arc };

// What a sender sends of a line. Eight bytes, set as one: a reader of the four fields right
// after they were set one by one waits for the writes.
struct LineFields {
    std::uint32_t bytes = 0;   // the command without comments and outer blanks
    std::uint8_t checksum = 0; // the exclusive-or of those bytes
    std::uint8_t words = 0;    // its words (at most 255)
    std::uint16_t chars = 0;   // its bytes without any blank (at most 65535)

    void set(std::uint32_t toBytes, std::uint8_t toChecksum, std::uint8_t toWords,
             std::uint16_t toChars)
    {
        if constexpr (std::endian::native == std::endian::little) {
            const std::uint64_t packed = toBytes | std::uint64_t{toChecksum} << 32 |
                                         std::uint64_t{toWords} << 40 |
                                         std::uint64_t{toChars} << 48;
            std::memcpy(this, &packed, sizeof packed);
        } else {
            *this = {toBytes, toChecksum, toWords, toChars};
        }
    }
};
static_assert(sizeof(LineFields) == 8 && offsetof(LineFields, checksum) == 4 &&
              offsetof(LineFields, words) == 5 && offsetof(LineFields, chars) == 6);

struct Event {
    EventKind kind = EventKind::Move;
    Motion motion = Motion::Linear;  // Move only: G0, G1, or a chord of G2/G3
    bool laserOn = false;            // Move: burns along it; Dwell: burns on the spot
    bool inches = false;             // Mode: G20 in effect
    bool relative = false;           // Mode: G91 in effect
    std::uint8_t spindle = 0;        // Move: GRBL's M3, M4 or M5 in force (3, 4 or 5)
    // Not Line: the event carries its line's Line event too (`sent`), which comes first; a
    // sink may pack the two so (EventSink::sent).
    bool carriesLine = false;
    std::uint64_t line = 0;          // 1-based line number
    Point from;                      // Move: start (mm)
    Point to;                        // Move: end; Dwell, Home, Stop: the position (mm)
    double feed = 0.0;               // Move: mm/min; 0 for rapids (the machine's own rate)
    double power = 0.0;              // the S value in effect (GRBL spindle, printer fan 0-255)
    double seconds = 0.0;            // Dwell
    LineFields sent;                 // Line
};

// A line the chosen firmware refuses or misreads. `reason` is the user's text, such as
// "M106 is not a GRBL command (error:20)".
struct Problem {
    std::uint64_t line = 0;
    std::string reason;
};

class EventSink {
public:
    virtual ~EventSink() = default;
    virtual void event(const Event& event) = 0;
    // A Line event (ReaderOptions::lineEvents), before the events of its line.
    virtual void sent(const Event& line) { event(line); }
    virtual void problem(const Problem& problem) { (void)problem; }
    // A line without commands (a comment, or nothing), as it stands.
    virtual void note(std::uint64_t line, std::string_view text)
    {
        (void)line;
        (void)text;
    }
};

struct ReaderOptions {
    GcodeFlavor flavor = GcodeFlavor::Grbl;
    bool laserMode = true;        // GRBL $32: the laser is off on G0 and lit only while moving
    double arcTolerance = 0.002;  // mm, GRBL $12: largest distance of a chord from its arc
    // 3D printers: MarlinInline reads M3/M4/M5 as the laser (M3 I, S on the moves) and M106
    // as a fan; every other choice reads the fan commands as the laser.
    PrinterLaser printerLaser = PrinterLaser::FanCommands;
    // A Line event before the events of every line that holds a command, for a model of the
    // serial line.
    bool lineEvents = false;
    // With lineEvents: the Line event rides on the first event of its line (carriesLine, its
    // `sent` set) instead of coming on its own; a line that makes no event comes on its own
    // (EventSink::sent) before the next line's events.
    bool carryLines = false;
    // The lines of a raster job's few shapes are read the short way, any other line word by
    // word; false reads every line word by word (the same events, only slower).
    bool shortcuts = true;
};

// What the reader knows after the lines read so far.
struct ReaderState {
    Point position;                  // mm, the job's coordinates
    bool inches = false;             // G20
    bool relative = false;           // G91
    int motion = 0;                  // 0, 1, 2 or 3: the modal motion command
    double feed = 0.0;               // mm/min, the last F
    double power = 0.0;              // last S (GRBL) or fan S (printer)
    int spindle = 5;                 // GRBL: 3, 4 or 5; printer: 106 when the fan is on, else 107
                                     // (Marlin's laser: 3, 4 or 5)
    bool inlineLaser = false;        // Marlin's laser in its inline mode (M3 I to M5 I)
};

class GcodeReader {
public:
    GcodeReader(const ReaderOptions& options, EventSink& sink);
    ~GcodeReader();
    GcodeReader(const GcodeReader&) = delete;
    GcodeReader& operator=(const GcodeReader&) = delete;

    // Reads one line given without its line end.
    void line(std::string_view text);
    // Reads a piece of text: lines end at LF, a CR before it is dropped. An unfinished last
    // line waits for the next piece or for finish().
    void feed(std::string_view text);
    void finish();

    std::uint64_t linesRead() const { return lineNumber_; }
    const ReaderState& state() const { return state_; }

    static constexpr int kFastSlots = 6;  // the words of the short way: X, Y, Z, F, S, E

private:
    struct Words;
    struct FastWords;
    bool fastLine(std::string_view text);
    void generalLine(std::string_view text);
    void problem(std::string reason);
    void checkGrblCode(char letter, int code, std::array<int, 16>& seen);
    void execute(const Words& words, bool hasAxisWords);
    void move(const Point& target, Motion motion);
    void arc(const Point& target, const Words& words, bool clockwise);
    void stop();
    void lineEvent(std::string_view text);
    // `code`: the line's code without comments, upper-case, for its words and characters.
    void sentLine(std::string_view sent, std::string_view code);
    void sentLine(std::string_view sent, std::size_t words, std::size_t chars);
    // Hands an event on, with the line it carries when one waits.
    void deliver(Event& event)
    {
        event.carriesLine = linePending_;
        if (linePending_) {
            linePending_ = false;
            event.sent = lineEvent_.sent;
        }
        sink_.event(event);
    }
    void sendPendingLine();
    bool marlinLaser(const Words& words);
    bool burning(Motion motion) const;

    ReaderOptions options_;
    EventSink& sink_;
    ReaderState state_;
    std::uint64_t lineNumber_ = 0;
    bool lineReported_ = false;
    std::string pending_;   // unfinished last line of feed()
    std::vector<char> strippedBuffer_;
    // What fastLine() read last of the moves after their X word.
    struct TailEntry;
    std::unique_ptr<std::array<TailEntry, 4>> tails_;
    std::size_t nextTail_ = 0;
    std::string_view stripped_;  // the line without blanks and comments, upper case
    Event lineEvent_;            // the Line event, its fields set anew for each line
    bool linePending_ = false;   // carryLines: lineEvent_ waits for its line's first event
};

// Reads a whole file through `reader` in large pieces. `progress` (may be empty) is called
// now and then with the bytes read so far and returns false to cancel, which ends the read
// early without an error. Throws pyrolith::Error when the file cannot be read.
void ReadGcodeFile(const std::filesystem::path& path, GcodeReader& reader,
                   const std::function<bool(std::uint64_t bytesRead)>& progress = {});

}  // namespace pyrolith::toolpath
