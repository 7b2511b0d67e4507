// Where the check of a job spends its time, part by part, each on one thread, against `wc -l`
// of the same cached file: the reader alone, the planner alone
// (GRBL's look-ahead and trapezoids, on moves already read), the planner with the model of the
// serial line, and the whole check as `pyrolith-cli check` runs it (reader and planner on two
// threads). The parts after the reader must run one block after another: each block's plan
// starts from the one before it.
//
//   bench_check_parts FILE.gcode   (the job in memory takes 100 bytes a line besides the text)
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "BenchProcess.h"
#include "settings/JobSettings.h"
#include "toolpath/MachineProfile.h"
#include "toolpath/MotionPlanner.h"
#include "toolpath/StreamModel.h"

namespace {

using bench::Clock;
using bench::Seconds;
using namespace pyrolith::toolpath;

struct Keep : EventSink {
    std::vector<Event> events;
    void event(const Event& e) override { events.push_back(e); }
};

struct Drop : EventSink {
    std::uint64_t count = 0;
    void event(const Event& e) override { count += e.line; }
};

// The fastest of three runs: a shared machine only slows a run down.
template <typename Run>
double Fastest(Run run)
{
    double best = 1e300;
    for (int i = 0; i < 3; ++i) {
        const auto start = Clock::now();
        run();
        best = std::min(best, Seconds(start));
    }
    return best;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_check_parts FILE.gcode\n");
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};

    pyrolith::JobSettings settings;
    settings.GRBL = true;
    const MachineProfile machine = MachineProfileOf(settings);
    ReaderOptions options = machine.readerOptions();
    options.carryLines = true;

    const auto lines = static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
    // wc's own output goes to /dev/null.
    std::fflush(stdout);
    const int output = ::dup(1);
    const int nowhere = ::open("/dev/null", O_WRONLY);
    ::dup2(nowhere, 1);
    const double countSeconds = Fastest([&] { bench::TimedRun({"wc", "-l", argv[1]}); });
    ::dup2(output, 1);
    ::close(nowhere);
    ::close(output);
    Drop drop;
    const double readSeconds = Fastest([&] {
        GcodeReader reader(options, drop);
        reader.feed(text);
        reader.finish();
    });
    Keep kept;
    {
        GcodeReader reader(options, kept);
        reader.feed(text);
        reader.finish();
    }
    double plannerTime = 0.0;
    const double planSeconds = Fastest([&] {
        MotionPlanner planner(machine);
        for (const Event& e : kept.events) {
            planner.add(e);
        }
        planner.finish();
        plannerTime = planner.times().seconds;
    });
    FileEstimate streamed;
    const double streamSeconds = Fastest([&] {
        JobTimer timer(machine);
        for (const Event& e : kept.events) {
            if (e.carriesLine) {
                timer.addLineOf(e);
            }
            timer.add(e);
        }
        streamed = {};
        timer.finish(streamed);
    });
    FileEstimate whole;
    const double checkSeconds = Fastest([&] { whole = EstimateText(text, machine); });

    const double megabytes = static_cast<double>(text.size()) / 1048576.0;
    const double perLine = 1e9 / static_cast<double>(lines);
    std::printf("%.0f MB, %zu lines, %zu events; estimate %s (planner alone %s)\n", megabytes,
                lines, kept.events.size(), DurationText(whole.times.seconds).c_str(),
                DurationText(plannerTime).c_str());
    std::printf("                          seconds   ns/line   MB/s  x wc -l\n");
    const auto row = [&](const char* name, double seconds) {
        std::printf("%-24s %8.3f %9.1f %6.0f %8.1f\n", name, seconds, seconds * perLine,
                    megabytes / seconds, seconds / countSeconds);
    };
    row("wc -l", countSeconds);
    row("reader alone", readSeconds);
    row("planner alone", planSeconds);
    row("planner and serial line", streamSeconds);
    row("whole check (2 threads)", checkSeconds);
    std::printf("load average: ");
    std::fflush(stdout);
    return std::system("cut -d' ' -f1-3 /proc/loadavg") == 0 ? 0 : 1;
}
