#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace pyrolith {

struct JobSettings;

// How the picture becomes black and white.
enum class ImageMode {
    Palette,        // the nearest of the 16 colours; only black stays black
    Threshold,      // grey level below the threshold: black
    FloydSteinberg, // error diffusion on the grey level, serpentine rows
    Atkinson,
    Jarvis,
    Stucki,
    Bayer, // ordered, 8 x 8 matrix
    // Power levels of the grey level: each pixel burns at the power of its level (the job
    // writer's grey pass); the views show the picture in 16 greys.
    Grayscale,
};

// The settings file's word for a mode ("Palette", "FloydSteinberg", ...), and back; the
// reading ignores letter case and gives nothing for an unknown word.
std::string_view ImageModeText(ImageMode mode);
std::optional<ImageMode> ParseImageMode(std::string_view text);

// Changes of the grey level before a mode other than Palette decides black and white. The
// defaults change nothing.
struct GrayAdjustments {
    int brightness = 0;  // -100 to 100: adds brightness * 255 / 100
    int contrast = 0;    // -100 (flat grey) to 100 (a hard step at mid-grey)
    double gamma = 1;    // above 1 lightens the mid-greys, below 1 darkens them
    bool invert = false; // g becomes 255 - g
    // After the others: the material's tone curve as the grey each grey becomes (ToneTable);
    // empty: no curve.
    std::optional<std::array<std::uint8_t, 256>> tone = std::nullopt;

    bool isIdentity() const
    {
        return brightness == 0 && contrast == 0 && gamma == 1 && !invert && !tone;
    }
};

struct ConversionOptions {
    ImageMode mode = ImageMode::Palette;
    int threshold = 128; // Threshold mode: a grey level below it is black
    GrayAdjustments adjustments;
};

// The conversion settings read from the job settings. Numbers are read as typed with "." or
// ","; an unknown mode is Palette; a value out of its range takes the nearest end; a gamma
// that is not above 0 counts as 1; a ToneCurve that does not read is no curve (the job's
// checks refuse it).
ConversionOptions ConversionOptionsOf(const JobSettings& settings);

// The number of columns ResizeWidth asks for: round(ResizeWidth / DistPerPixel); empty when
// the text is empty or gives less than one column (the picture keeps its pixels).
std::optional<std::int64_t> ResizeColumns(const JobSettings& settings);

} // namespace pyrolith
