// Reads any bytes as G-code in both flavors, the text split at an arbitrary point, and checks
// that every event and problem names a line that was read and that the short way of reading
// a job's lines gives exactly what the word-by-word way gives; then times and draws the job.
// The flavor named in a job's header is looked for in the same bytes.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "gcode/JobHeader.h"
#include "toolpath/GcodeReader.h"
#include "toolpath/ToolpathPreview.h"

namespace {

void Check(bool condition)
{
    if (!condition) {
        __builtin_trap();
    }
}

// Every event and problem as bytes, so that two readings compare bit for bit.
struct Sink : pyrolith::toolpath::EventSink {
    const pyrolith::toolpath::GcodeReader* reader = nullptr;
    std::string record;
    void event(const pyrolith::toolpath::Event& e) override
    {
        Check(e.line >= 1 && e.line <= reader->linesRead());
        const double numbers[] = {e.from.x, e.from.y, e.from.z, e.to.x, e.to.y,
                                  e.to.z,   e.feed,   e.power,  e.seconds};
        const std::uint64_t flags[] = {static_cast<std::uint64_t>(e.kind),
                                       static_cast<std::uint64_t>(e.motion), e.laserOn,
                                       e.inches, e.relative, e.line, e.sent.bytes, e.sent.checksum,
                                       e.sent.words, e.sent.chars};
        record.append(reinterpret_cast<const char*>(numbers), sizeof numbers);
        record.append(reinterpret_cast<const char*>(flags), sizeof flags);
    }
    void problem(const pyrolith::toolpath::Problem& p) override
    {
        Check(p.line >= 1 && p.line <= reader->linesRead() && !p.reason.empty());
        record += std::to_string(p.line) + p.reason + '\n';
    }
    void note(std::uint64_t line, std::string_view text) override
    {
        record += std::to_string(line) + "note" + std::string(text) + '\n';
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace pyrolith::toolpath;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::size_t split = size == 0 ? 0 : data[0] % size;
    if (pyrolith::FlavorNamedInHeader(text)) {
        Check(text.find("Pyrolith v") != std::string_view::npos);
    }
    for (const auto flavor : {pyrolith::GcodeFlavor::Grbl, pyrolith::GcodeFlavor::Printer3D}) {
        const auto laser = static_cast<pyrolith::PrinterLaser>(size % 4);
        std::string records[2];
        for (const bool shortcuts : {true, false}) {
            Sink sink;
            ReaderOptions options{flavor, size % 2 == 0, 0.002, laser, size % 3 == 0};
            options.shortcuts = shortcuts;
            GcodeReader reader(options, sink);
            sink.reader = &reader;
            reader.feed(text.substr(0, split));
            reader.feed(text.substr(split));
            reader.finish();
            records[shortcuts ? 0 : 1] = std::move(sink.record);
        }
        Check(records[0] == records[1]);

        MachineProfile machine;
        machine.flavor = flavor;
        machine.plannerBlocks = 1 + static_cast<int>(size % 20);
        machine.printerLaser = laser;
        const JobPreview preview = ReadJobPreview(text, machine);
        Check(preview.estimate.times.seconds >= 0.0);
        const pyrolith::RgbImage image = RenderPreview(preview, FitView(preview.bounds, 10.0, 64));
        Check(image.width <= 64 && image.height <= 64);
    }
    return 0;
}
