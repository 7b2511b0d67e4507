#pragma once

#include <QString>
#include <QStringList>
#include <string>
#include <string_view>

// What the Machine panel's console shows of the traffic with the machine: the lines sent
// ("> G28") and received ("< ok"), one entry a line, gathered across the pieces the port
// hands over. GRBL's status queries and status reports are left out (the state line shows
// them); its other real-time bytes are named.
class ConsoleTraffic {
public:
    QStringList sent(std::string_view bytes);
    QStringList received(std::string_view bytes);

private:
    std::string sent_;
    std::string received_;
};

// A line of GRBL's "$$" answer: "$110=6000.000" gives 110 and "6000.000". False for any other
// line.
bool ParseGrblSetting(const QString& line, int& number, QString& value);
// What a GRBL 1.1 setting means, with its unit; empty for a number GRBL 1.1 does not have.
QString GrblSettingMeaning(int number);
