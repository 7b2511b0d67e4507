// The estimate against times measured on GRBL 1.1h itself (tests/data/firmware-times): every
// job of a table is estimated with the firmware settings of its row.
#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "toolpath/MotionPlanner.h"

namespace {

using namespace pyrolith;
using namespace pyrolith::toolpath;

struct TimedJob {
    std::string job;
    MachineProfile machine;
    double seconds = 0.0;
};

double Number(std::string_view text)
{
    double value = 0.0;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return value;
}

// "$110=10000 $111=10000 $120=3000 ...": the firmware's settings; every other is GRBL's default.
MachineProfile FirmwareMachine(const std::string& settings)
{
    MachineProfile machine;
    machine.plannerBlocks = 15;
    machine.baudRate = 0;  // the whole job at once; the stream's table sets its line
    std::istringstream words(settings);
    for (std::string word; words >> word;) {
        const auto equals = word.find('=');
        const std::string key = word.substr(0, equals);
        const double value = Number(std::string_view(word).substr(equals + 1));
        if (key == "$110") {
            machine.maxRate[0] = value;
        } else if (key == "$111") {
            machine.maxRate[1] = value;
        } else if (key == "$120") {
            machine.acceleration[0] = value;
        } else if (key == "$121") {
            machine.acceleration[1] = value;
        } else if (key == "$11") {
            machine.junctionDeviation = value;
        } else if (key == "$32") {
            machine.laserMode = value != 0.0;
        } else if (key == "$1") {
            machine.stepperIdleLock = value;
        }
    }
    return machine;
}

// A table's rows; $1 is 25 (GRBL's default) where the row does not set it.
std::vector<TimedJob> ReadTable(const std::string& folder)
{
    std::ifstream in(std::string(PYROLITH_TEST_DATA) + "/firmware-times/" + folder + "/times.tsv");
    std::vector<TimedJob> rows;
    std::string line;
    std::getline(in, line);  // the column names
    while (std::getline(in, line)) {
        std::vector<std::string> columns;
        std::istringstream cells(line);
        for (std::string cell; std::getline(cells, cell, '\t');) {
            columns.push_back(cell);
        }
        TimedJob row;
        row.job = columns.at(0);
        row.machine = FirmwareMachine("$1=25 " + columns.at(1));
        row.seconds = Number(columns.at(2));
        rows.push_back(std::move(row));
    }
    return rows;
}

std::string JobPath(const std::string& folder, const std::string& job)
{
    return std::string(PYROLITH_TEST_DATA) + "/firmware-times/" + folder + "/" + job;
}

// Estimates every job of the table and holds each within `tolerance` of the firmware's time;
// the worst and the mean error go to the test's record.
void ExpectWithin(const std::string& folder, const std::vector<TimedJob>& rows, double tolerance)
{
    double worst = 0.0;
    double sum = 0.0;
    for (const TimedJob& row : rows) {
        const double estimate = EstimateFile(JobPath(folder, row.job), row.machine).times.seconds;
        const double error = estimate / row.seconds - 1.0;
        EXPECT_LT(std::abs(error), tolerance)
            << row.job << ": " << estimate << " s, GRBL " << row.seconds;
        worst = std::max(worst, std::abs(error));
        sum += std::abs(error);
    }
    ::testing::Test::RecordProperty("worst", std::to_string(worst));
    ::testing::Test::RecordProperty("mean", std::to_string(sum / static_cast<double>(rows.size())));
}

// The planner on its own, the job given to the firmware whole: within 2% of every job, those
// that stop thousands of times included.
TEST(FirmwareTimes, PlannerWithinTwoPercentOfGrbl)
{
    const auto rows = ReadTable("grbl-1.1h");
    ASSERT_EQ(rows.size(), 24u);
    ExpectWithin("grbl-1.1h", rows, 0.02);
}

// The job streamed at 115200 baud by a character-counting sender to GRBL on a simulated 8-bit
// board: within 3% of every job, those the controller's line rate slows down included.
TEST(FirmwareTimes, StreamWithinThreePercentOfAnEightBitBoard)
{
    auto rows = ReadTable("grbl-1.1h-uno-115200");
    ASSERT_EQ(rows.size(), 12u);
    for (TimedJob& row : rows) {
        row.machine.baudRate = 115200;
        row.machine.senderKeepsBlanks = true;  // as the simulation's sender
    }
    ExpectWithin("grbl-1.1h-uno-115200", rows, 0.03);
}

}  // namespace
