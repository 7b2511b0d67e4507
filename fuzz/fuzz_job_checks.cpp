// Reads any bytes as a profile and checks the job numbers it holds; a job that passes the
// checks must carry only coordinates, feeds and heights a controller reads: after X, Y, Z
// and F of every move line a plain number (digits, at most one ".", "-" in front only for
// a coordinate or height).
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/Error.h"
#include "gcode/JobChecks.h"
#include "gcode/JobContext.h"
#include "gcode/JobSink.h"
#include "gcode/JobWriter.h"
#include "settings/IniDocument.h"
#include "settings/SettingsFiles.h"

namespace {

void Check(bool condition)
{
    if (!condition) {
        __builtin_trap();
    }
}

void CheckMoveLine(std::string_view line)
{
    line = line.substr(0, line.find('\t'));
    std::size_t start = 0;
    while (start < line.size()) {
        std::size_t end = line.find(' ', start);
        if (end == std::string_view::npos) {
            end = line.size();
        }
        const std::string_view word = line.substr(start, end - start);
        if (!word.empty() && (word[0] == 'X' || word[0] == 'Y' || word[0] == 'Z')) {
            Check(pyrolith::IsPlainGcodeNumber(word.substr(1), true));
        } else if (!word.empty() && word[0] == 'F') {
            Check(pyrolith::IsPlainGcodeNumber(word.substr(1), false));
        }
        start = end + 1;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace pyrolith;
    const IniDocument document =
        IniDocument::Parse(std::string(reinterpret_cast<const char*>(data), size));
    JobSettings settings;
    AppSettings app;
    ReadStoredFields(document, SettingsReader::Profile, settings, app);
    // The commands and the lines of the user's own are copied as typed; the numbers are what
    // this target is about.
    settings.LaserOffCommand = "M107";
    settings.LaserOnCommand = "M106 S255";
    settings.LaserLowPower = "M106 S5";
    settings.HomeCommand = "G28";
    settings.StartComment = ";";
    settings.UseStartOfCode = false;
    settings.UseEndOfCode = false;
    const MonoBitmap picture = MonoBitmap::FromBlackMask(3, 2, {1, 0, 1, 0, 1, 1});
    for (const char separator : {'.', ','}) {
        try {
            CheckJobNumbers(settings, picture, separator);
        } catch (const Error& error) {
            Check(std::string_view(error.what()).size() > 0);
            continue;
        }
        StringJobSink sink;
        WriteJob(sink, MakeJobContext(settings, picture, separator), settings, picture,
                 JobEnvironment{});
        const std::string& text = sink.text();
        std::size_t start = 0;
        while (start < text.size()) {
            const std::size_t end = text.find("\r\n", start);
            Check(end != std::string::npos);
            const std::string_view line(text.data() + start, end - start);
            if (line.starts_with("G0 ") || line.starts_with("G1 ")) {
                CheckMoveLine(line);
            }
            start = end + 2;
        }
    }
    return 0;
}
