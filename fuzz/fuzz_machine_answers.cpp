// Feeds any bytes as the machine's answers to both sessions while a job runs, with the clock
// moving on, and checks that the progress never runs past the job and that a GRBL session
// never has more bytes in the controller's buffer than it holds.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "machine/GrblSession.h"
#include "machine/PrinterSession.h"

namespace {

using namespace pyrolith::machine;

void Check(bool condition)
{
    if (!condition) {
        __builtin_trap();
    }
}

void Drive(MachineSession& session, std::string_view answers, bool grbl)
{
    TimePoint now{};
    session.open(now, false);
    session.receive(grbl ? "Grbl 1.1h ['$' for help]\r\n" : "ok\n", now);
    const std::vector<std::string> job = {"G21", "; comment", "G1 X10 Y5 F1000", "M106 S255",
                                          "", "G1 X0 Y0", "M107", "$H", "G4 P1"};
    session.startJob(job, now);
    std::size_t written = 0;
    while (!answers.empty()) {
        const std::size_t piece = std::min<std::size_t>(answers.size(), 1 + static_cast<unsigned char>(answers[0]) % 23);
        session.receive(answers.substr(0, piece), now);
        answers.remove_prefix(piece);
        now += Milliseconds(answers.empty() ? 0 : static_cast<unsigned char>(answers[0]) % 200);
        session.tick(now);
        if (answers.size() % 7 == 3) {
            session.pause(now);
        } else if (answers.size() % 11 == 5) {
            session.resume(now);
        } else if (answers.size() % 29 == 1) {
            session.stop(now);
        }
        written += session.takeOutput().size();
        Check(session.progress().acknowledged <= session.progress().total);
        for (const SessionMessage& message : session.takeMessages()) {
            Check(message.kind != SessionMessage::Kind::Error || !message.text.empty());
        }
    }
    (void)written;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view answers(reinterpret_cast<const char*>(data), size);
    SessionTimings timings;
    GrblSession grbl(timings);
    Drive(grbl, answers, true);
    PrinterSession printer(timings, "M107");
    Drive(printer, answers, false);
    return 0;
}
