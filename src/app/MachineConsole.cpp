#include "app/MachineConsole.h"

#include <QRegularExpression>
#include <array>
#include <utility>

namespace {

// The bytes up to each line end, taken out of `pending`; CR and LF end a line, blank lines
// are left out.
QStringList TakeLines(std::string& pending, std::string_view bytes, const char* prefix,
                      bool sent)
{
    QStringList lines;
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (sent && pending.empty() && (byte == '?' || byte == '!' || byte == '~' ||
                                        byte == 0x18 || byte >= 0x80)) {
            // GRBL's real-time bytes: never part of a line.
            if (byte == '!') {
                lines << QStringLiteral("> ! (feed hold)");
            } else if (byte == '~') {
                lines << QStringLiteral("> ~ (resume)");
            } else if (byte == 0x18) {
                lines << QStringLiteral("> Ctrl-X (soft reset)");
            } else if (byte == 0x85) {
                lines << QStringLiteral("> jog cancel");
            } else if (byte != '?') {
                lines << QStringLiteral("> real-time byte 0x%1").arg(byte, 2, 16, QLatin1Char('0'));
            }
            continue;
        }
        if (c == '\r' || c == '\n') {
            if (!pending.empty()) {
                const bool status = !sent && pending.front() == '<' && pending.back() == '>';
                if (!status) {
                    lines << QString::fromLatin1(prefix) + QString::fromLatin1(pending.data(),
                                                       static_cast<qsizetype>(pending.size()));
                }
                pending.clear();
            }
            continue;
        }
        if (pending.size() < 512) {
            pending += c;
        }
    }
    return lines;
}

} // namespace

QStringList ConsoleTraffic::sent(std::string_view bytes)
{
    return TakeLines(sent_, bytes, "> ", true);
}

QStringList ConsoleTraffic::received(std::string_view bytes)
{
    return TakeLines(received_, bytes, "< ", false);
}

bool ParseGrblSetting(const QString& line, int& number, QString& value)
{
    static const QRegularExpression form(QStringLiteral("^\\$(\\d{1,3})=(\\S+)$"));
    const QRegularExpressionMatch match = form.match(line.trimmed());
    if (!match.hasMatch()) {
        return false;
    }
    number = match.captured(1).toInt();
    value = match.captured(2);
    return true;
}

QString GrblSettingMeaning(int number)
{
    static const std::array<std::pair<int, const char*>, 34> kMeanings = {{
        {0, "Step pulse time, microseconds"},
        {1, "Step idle delay, milliseconds (255: motors stay locked)"},
        {2, "Step pulse invert, mask"},
        {3, "Step direction invert, mask"},
        {4, "Invert step enable pin, boolean"},
        {5, "Invert limit pins, boolean"},
        {6, "Invert probe pin, boolean"},
        {10, "Status report options, mask"},
        {11, "Junction deviation, mm"},
        {12, "Arc tolerance, mm"},
        {13, "Report in inches, boolean"},
        {20, "Soft limits, boolean"},
        {21, "Hard limits, boolean"},
        {22, "Homing cycle, boolean"},
        {23, "Homing direction invert, mask"},
        {24, "Homing locate feed rate, mm/min"},
        {25, "Homing search seek rate, mm/min"},
        {26, "Homing switch debounce delay, milliseconds"},
        {27, "Homing switch pull-off distance, mm"},
        {30, "Maximum spindle speed: the S of full laser power"},
        {31, "Minimum spindle speed"},
        {32, "Laser mode, boolean"},
        {100, "X steps per mm"},
        {101, "Y steps per mm"},
        {102, "Z steps per mm"},
        {110, "X maximum rate, mm/min"},
        {111, "Y maximum rate, mm/min"},
        {112, "Z maximum rate, mm/min"},
        {120, "X acceleration, mm/s\u00B2"},
        {121, "Y acceleration, mm/s\u00B2"},
        {122, "Z acceleration, mm/s\u00B2"},
        {130, "X maximum travel, mm"},
        {131, "Y maximum travel, mm"},
        {132, "Z maximum travel, mm"},
    }};
    for (const auto& [key, meaning] : kMeanings) {
        if (key == number) {
            return QString::fromUtf8(meaning);
        }
    }
    return {};
}
