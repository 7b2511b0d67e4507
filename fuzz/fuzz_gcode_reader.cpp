// Reads any bytes as G-code in both flavors, the text split at an arbitrary point, and checks
// that every event and problem names a line that was read; then times and draws the job. The
// flavor named in a job's header is looked for in the same bytes.
#include <cstddef>
#include <cstdint>
#include <string_view>

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

struct Sink : pyrolith::toolpath::EventSink {
    const pyrolith::toolpath::GcodeReader* reader = nullptr;
    void event(const pyrolith::toolpath::Event& e) override
    {
        Check(e.line >= 1 && e.line <= reader->linesRead());
    }
    void problem(const pyrolith::toolpath::Problem& p) override
    {
        Check(p.line >= 1 && p.line <= reader->linesRead() && !p.reason.empty());
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
        Sink sink;
        const auto laser = static_cast<pyrolith::PrinterLaser>(size % 4);
        GcodeReader reader(ReaderOptions{flavor, size % 2 == 0, 0.002, laser, size % 3 == 0},
                           sink);
        sink.reader = &reader;
        reader.feed(text.substr(0, split));
        reader.feed(text.substr(split));
        reader.finish();

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
