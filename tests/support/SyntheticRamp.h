#pragma once

// Photos of a burned tone ramp made from a known tone response: the card drawn through a
// rotation and a perspective onto a table, with noise, as a phone would see it.

#include <array>
#include <cmath>
#include <cstdint>
#include <functional>
#include <random>

#include "image/GrayLevels.h"
#include "material/ToneRamp.h"

namespace pyrolith::test {

struct RampPhoto {
    std::int32_t width = 1600;
    std::int32_t height = 1000;
    double pixelsPerMm = 10;
    double degrees = 7;          // the card's turn on the photo
    double tiltX = 0.00015;      // perspective: 1 + tiltX * x + tiltY * y divides the position
    double tiltY = -0.0001;
    double noise = 6;            // standard deviation of the noise, in grey levels
    double paper = 205;          // the unburned wood
    double charred = 35;         // the wood burned black (tone 0)
    double table = 70;           // around the card
    unsigned seed = 1;
    // The tone a share of power burns: 1 unburned, 0 black.
    std::function<double(double)> response = [](double u) { return 1 - u; };
    std::array<double, ramp::kPatches> powers{};

    double level(double tone) const { return charred + (paper - charred) * tone; }

    // What the photo shows at a point of the card, in millimetres.
    double cardLevel(double x, double y) const
    {
        using namespace ramp;
        if (x < -8 || y < -8 || x > kWidth + 8 || y > kHeight + 8) {
            return table;
        }
        const bool frame = x >= 0 && y >= 0 && x < kWidth && y < kHeight &&
                           (x < kFrame || y < kFrame || x >= kWidth - kFrame ||
                            y >= kHeight - kFrame);
        const bool marker = x >= kFrame && y >= kFrame && x < kFrame + kMarker &&
                            y < kFrame + kMarker;
        if (frame || marker) {
            return level(response(1));
        }
        if (y >= kPatchTop && y < kPatchTop + kPatchHeight && x >= kPatchLeft &&
            x < kPatchLeft + kPatches * kPatchWidth) {
            const auto k = static_cast<std::size_t>((x - kPatchLeft) / kPatchWidth);
            return level(response(powers[k]));
        }
        return paper;
    }

    // The tones the patches truly have, normalised as the measurement normalises them.
    std::array<double, ramp::kPatches> trueTones() const
    {
        std::array<double, ramp::kPatches> levels{};
        for (std::size_t k = 0; k < levels.size(); ++k) {
            levels[k] = level(response(powers[k]));
        }
        double darkest = levels[0];
        for (const double l : levels) {
            darkest = std::min(darkest, l);
        }
        std::array<double, ramp::kPatches> tones{};
        for (std::size_t k = 0; k < levels.size(); ++k) {
            tones[k] = 255 * (levels[k] - darkest) / (levels[0] - darkest);
        }
        return tones;
    }

    GrayRaster render() const
    {
        // Photo point -> card point: undo the perspective, the turn and the scale about the
        // photo's centre, where the card's centre lies.
        const double turn = degrees * 3.14159265358979323846 / 180;
        const double cx = width / 2.0;
        const double cy = height / 2.0;
        GrayRaster photo;
        photo.width = width;
        photo.height = height;
        photo.pixels = PixelBuffer(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
        std::mt19937 random(seed);
        const auto uniform = [](std::mt19937& engine) { return (engine() + 0.5) / 4294967296.0; };
        const auto toCard = [&](double px, double py) {
            // Forward: q = p / (1 + tiltX p.x + tiltY p.y) for p the turned, scaled point.
            const double qx = px - cx;
            const double qy = py - cy;
            const double w = 1 - tiltX * qx - tiltY * qy;
            const double x = qx / w;
            const double y = qy / w;
            const double ux = (std::cos(turn) * x + std::sin(turn) * y) / pixelsPerMm;
            const double uy = (-std::sin(turn) * x + std::cos(turn) * y) / pixelsPerMm;
            return std::array<double, 2>{ux + ramp::kWidth / 2, uy + ramp::kHeight / 2};
        };
        for (std::int32_t py = 0; py < height; ++py) {
            for (std::int32_t px = 0; px < width; ++px) {
                double sum = 0;
                for (int s = 0; s < 4; ++s) {
                    const auto card = toCard(px + 0.25 + 0.5 * (s % 2), py + 0.25 + 0.5 * (s / 2));
                    sum += cardLevel(card[0], card[1]);
                }
                // Box-Muller, the same numbers on every system.
                const double a = std::max(uniform(random), 1e-12);
                const double b = uniform(random);
                const double gauss = std::sqrt(-2 * std::log(a)) * std::cos(2 * 3.14159265358979 * b);
                const double value = std::clamp(sum / 4 + noise * gauss, 0.0, 255.0);
                photo.pixels[static_cast<std::size_t>(py) * static_cast<std::size_t>(width) +
                             static_cast<std::size_t>(px)] =
                    static_cast<std::uint8_t>(std::lround(value));
            }
        }
        return photo;
    }
};

} // namespace pyrolith::test
