// The tone ramp measurement on any picture: a refusal with a message, never a crash. The
// first two bytes give the width, the rest are the grey levels row by row.
#include <array>
#include <cstddef>
#include <cstdint>

#include "common/Error.h"
#include "material/RampMeasure.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 2) {
        return 0;
    }
    const std::int32_t width = 1 + ((data[0] | (data[1] << 8)) % 1024);
    const std::size_t pixels = size - 2;
    pyrolith::GrayRaster picture;
    picture.width = width;
    picture.height = static_cast<std::int32_t>(pixels / static_cast<std::size_t>(width));
    picture.pixels = pyrolith::PixelBuffer(static_cast<std::size_t>(picture.width) *
                                           static_cast<std::size_t>(picture.height));
    for (std::size_t i = 0; i < picture.pixels.size(); ++i) {
        picture.pixels[i] = data[2 + i];
    }
    std::array<double, pyrolith::ramp::kPatches> powers{};
    for (std::size_t k = 0; k < powers.size(); ++k) {
        powers[k] = static_cast<double>(k) / 15;
    }
    try {
        const pyrolith::RampReading reading = pyrolith::MeasureRamp(picture, powers);
        if (reading.curve.size() < 2 || reading.curve.back().grey != 255) {
            __builtin_trap();
        }
    } catch (const pyrolith::Error&) {
    }
    return 0;
}
