#include "tools/artwork/background.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace stats::tools::artwork {
namespace {

struct Colour
{
    double red;
    double green;
    double blue;
};

// The ground darkens a little towards the bottom so the picture does not look flat.
constexpr Colour kGoldTop{246.0, 202.0, 82.0};
constexpr Colour kGoldBottom{236.0, 181.0, 54.0};
constexpr Colour kCream{255.0, 246.0, 218.0};

// Bands are laid out along the "chevron coordinate" v = y + slope * |x - centre|, so every
// line of constant v is a V whose point is at the bottom. The absolute value is rounded off
// near the centre (a hyperbola) so the points are soft instead of creased.
constexpr double kSlope = 0.55;
constexpr double kApexRounding = 110.0;
constexpr double kPeriod = 264.0;
constexpr double kPhase = 60.0;

struct Band
{
    double centre;    // within one period, in v units
    double halfWidth; // distance from the centre to the middle of the soft edge
    double softness;  // half the width of the edge's fade
    double strength;  // how far the band goes from gold to cream
};

// A broad soft band followed by a faint narrow one in every period.
constexpr std::array kBands{
    Band{0.0, 44.0, 46.0, 0.56},
    Band{132.0, 6.0, 18.0, 0.22},
};

[[nodiscard]] double smootherStep(double edge0, double edge1, double value)
{
    const double t = std::clamp((value - edge0) / (edge1 - edge0), 0.0, 1.0);
    return t * t * t * (t * (t * 6.0 - 15.0) + 10.0);
}

[[nodiscard]] double chevronCoordinate(double x, double y)
{
    const double fromCentre = x - kBackgroundWidth / 2.0;
    const double roundedDistance =
        std::sqrt(fromCentre * fromCentre + kApexRounding * kApexRounding) - kApexRounding;
    return y + kSlope * roundedDistance;
}

// Distance from v to the nearest repeat of a band centre, in [0, period / 2].
[[nodiscard]] double periodicDistance(double v, double centre)
{
    const double shifted = v - kPhase - centre;
    const double wrapped = shifted - kPeriod * std::floor(shifted / kPeriod);
    return std::min(wrapped, kPeriod - wrapped);
}

[[nodiscard]] double creamAmount(double v)
{
    double amount = 0.0;
    for (const Band &band : kBands) {
        const double distance = periodicDistance(v, band.centre);
        const double inside = 1.0 - smootherStep(band.halfWidth - band.softness,
                                                 band.halfWidth + band.softness, distance);
        amount = std::max(amount, band.strength * inside);
    }
    return amount;
}

[[nodiscard]] double mix(double from, double to, double amount)
{
    return from + (to - from) * amount;
}

[[nodiscard]] int toChannel(double value)
{
    return static_cast<int>(std::lround(std::clamp(value, 0.0, 255.0)));
}

} // namespace

QImage renderBackground()
{
    QImage image(kBackgroundWidth, kBackgroundHeight, QImage::Format_RGB32);
    for (int y = 0; y < kBackgroundHeight; ++y) {
        const double centreY = y + 0.5;
        const double depth = centreY / kBackgroundHeight;
        const Colour ground{mix(kGoldTop.red, kGoldBottom.red, depth),
                            mix(kGoldTop.green, kGoldBottom.green, depth),
                            mix(kGoldTop.blue, kGoldBottom.blue, depth)};
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < kBackgroundWidth; ++x) {
            const double amount = creamAmount(chevronCoordinate(x + 0.5, centreY));
            line[x] = qRgb(toChannel(mix(ground.red, kCream.red, amount)),
                           toChannel(mix(ground.green, kCream.green, amount)),
                           toChannel(mix(ground.blue, kCream.blue, amount)));
        }
    }
    return image;
}

} // namespace stats::tools::artwork
