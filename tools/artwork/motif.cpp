#include "tools/artwork/motif.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <vector>

#include <QString>

// The icon is described once, in a unit square with y pointing down, and drawn twice: rasterised
// here from exact distances to each shape (so the pixels depend on nothing but IEEE arithmetic),
// and written out as SVG paths with the same numbers. Most lengths are multiples of 1/16 so the
// straight edges fall on pixel boundaries at every icon size.

namespace stats::tools::artwork {
namespace {

struct Point
{
    double x;
    double y;
};

struct Colour
{
    double red; // 0..255, like the hex codes the SVG carries
    double green;
    double blue;
};

// One piece of the shield's outline, from the end of the previous piece to `to`; a quadratic
// curve bent towards `control` when `curved` is set.
struct OutlinePiece
{
    bool curved;
    Point control;
    Point to;
};

constexpr Point kOutlineStart{0.25, 0.0625};
constexpr std::array kOutline{
    OutlinePiece{false, {}, {0.75, 0.0625}},
    OutlinePiece{true, {0.875, 0.0625}, {0.875, 0.1875}},
    OutlinePiece{false, {}, {0.875, 0.5}},
    OutlinePiece{true, {0.875, 0.75}, {0.5, 0.9375}},
    OutlinePiece{true, {0.125, 0.75}, {0.125, 0.5}},
    OutlinePiece{false, {}, {0.125, 0.1875}},
    OutlinePiece{true, {0.125, 0.0625}, {0.25, 0.0625}},
};
constexpr double kShieldTop = 0.0625;
constexpr double kShieldTip = 0.9375;

// Measured inwards from the outline: a thin dark edge, then the gold rim, then the blue field.
constexpr double kEdgeWidth = 0.018;
constexpr double kRimWidth = 0.0625;

struct Gradient
{
    Colour top;
    Colour bottom;
};

constexpr Colour kEdge{0x7a, 0x4e, 0x0e};
constexpr Gradient kRim{{0xfb, 0xd8, 0x62}, {0xdc, 0x9a, 0x22}};
constexpr Gradient kField{{0x36, 0x56, 0xa0}, {0x1c, 0x2c, 0x5e}};

struct Bar
{
    double left;
    double top;
    double right;
    double bottom;
    Colour colour;
};

// Three rising stats bars standing on a pale axis; the bars reach under the axis so their
// rounded bottom corners stay hidden.
constexpr double kBarCorner = 0.025;
constexpr std::array kBars{
    Bar{0.25, 0.5, 0.375, 0.71875, {0xf2, 0x7a, 0x5e}},
    Bar{0.4375, 0.375, 0.5625, 0.71875, {0x8c, 0xd0, 0x5c}},
    Bar{0.625, 0.25, 0.75, 0.71875, {0x66, 0xc4, 0xf2}},
    Bar{0.25, 0.6875, 0.75, 0.75, {0xff, 0xf3, 0xd2}},
};

// Curves are cut into this many straight pieces for the distance field; at 256 pixels each
// piece is a few pixels long, well below anything visible.
constexpr int kCurveSteps = 48;

[[nodiscard]] Point quadraticPoint(Point from, Point control, Point to, double t)
{
    const double u = 1.0 - t;
    return {u * u * from.x + 2.0 * u * t * control.x + t * t * to.x,
            u * u * from.y + 2.0 * u * t * control.y + t * t * to.y};
}

[[nodiscard]] std::vector<Point> flattenedOutline()
{
    std::vector<Point> points{kOutlineStart};
    Point from = kOutlineStart;
    for (const OutlinePiece &piece : kOutline) {
        if (piece.curved) {
            for (int step = 1; step <= kCurveSteps; ++step) {
                points.push_back(
                    quadraticPoint(from, piece.control, piece.to, double(step) / kCurveSteps));
            }
        } else {
            points.push_back(piece.to);
        }
        from = piece.to;
    }
    points.pop_back(); // the outline ends where it starts
    return points;
}

[[nodiscard]] double distanceToSegment(Point p, Point a, Point b)
{
    const double abX = b.x - a.x;
    const double abY = b.y - a.y;
    const double t =
        std::clamp(((p.x - a.x) * abX + (p.y - a.y) * abY) / (abX * abX + abY * abY), 0.0, 1.0);
    const double dx = p.x - (a.x + t * abX);
    const double dy = p.y - (a.y + t * abY);
    return std::sqrt(dx * dx + dy * dy);
}

// Negative inside the shield, positive outside.
[[nodiscard]] double shieldDistance(const std::vector<Point> &outline, Point p)
{
    double nearest = std::numeric_limits<double>::max();
    bool inside = false;
    for (std::size_t i = 0, j = outline.size() - 1; i < outline.size(); j = i++) {
        const Point a = outline[j];
        const Point b = outline[i];
        nearest = std::min(nearest, distanceToSegment(p, a, b));
        if ((a.y > p.y) != (b.y > p.y) && p.x < a.x + (p.y - a.y) * (b.x - a.x) / (b.y - a.y)) {
            inside = !inside;
        }
    }
    return inside ? -nearest : nearest;
}

[[nodiscard]] double roundedBoxDistance(const Bar &bar, Point p)
{
    const double halfWidth = (bar.right - bar.left) / 2.0 - kBarCorner;
    const double halfHeight = (bar.bottom - bar.top) / 2.0 - kBarCorner;
    const double qx = std::abs(p.x - (bar.left + bar.right) / 2.0) - halfWidth;
    const double qy = std::abs(p.y - (bar.top + bar.bottom) / 2.0) - halfHeight;
    const double outsideX = std::max(qx, 0.0);
    const double outsideY = std::max(qy, 0.0);
    return std::sqrt(outsideX * outsideX + outsideY * outsideY) + std::min(std::max(qx, qy), 0.0) -
           kBarCorner;
}

[[nodiscard]] Colour shade(const Gradient &gradient, double y)
{
    const double t = std::clamp((y - kShieldTop) / (kShieldTip - kShieldTop), 0.0, 1.0);
    return {gradient.top.red + (gradient.bottom.red - gradient.top.red) * t,
            gradient.top.green + (gradient.bottom.green - gradient.top.green) * t,
            gradient.top.blue + (gradient.bottom.blue - gradient.top.blue) * t};
}

// A pixel being built up back to front, premultiplied, channels 0..255 and alpha 0..1.
struct Paint
{
    double red = 0.0;
    double green = 0.0;
    double blue = 0.0;
    double alpha = 0.0;

    void over(Colour colour, double coverage)
    {
        red = colour.red * coverage + red * (1.0 - coverage);
        green = colour.green * coverage + green * (1.0 - coverage);
        blue = colour.blue * coverage + blue * (1.0 - coverage);
        alpha = coverage + alpha * (1.0 - coverage);
    }

    [[nodiscard]] QRgb toRgba() const
    {
        const int alpha8 = static_cast<int>(std::lround(alpha * 255.0));
        if (alpha8 == 0) {
            return qRgba(0, 0, 0, 0);
        }
        const auto channel = [this](double value) {
            return static_cast<int>(std::lround(std::clamp(value / alpha, 0.0, 255.0)));
        };
        return qRgba(channel(red), channel(green), channel(blue), alpha8);
    }
};

// How much of a pixel a shape covers, from the signed distance at the pixel's centre.
[[nodiscard]] double coverage(double distance, int size)
{
    return std::clamp(0.5 - distance * size, 0.0, 1.0);
}

[[nodiscard]] QString number(double unitLength)
{
    return QString::number(unitLength * 256.0, 'g', 6);
}

[[nodiscard]] QString hex(Colour colour)
{
    const auto byte = [](double value) {
        return QStringLiteral("%1").arg(static_cast<int>(value), 2, 16, QLatin1Char('0'));
    };
    return QLatin1Char('#') + byte(colour.red) + byte(colour.green) + byte(colour.blue);
}

[[nodiscard]] QString pointText(Point point)
{
    return number(point.x) + QLatin1Char(' ') + number(point.y);
}

[[nodiscard]] QString outlinePath()
{
    QString path = QStringLiteral("M") + pointText(kOutlineStart);
    for (const OutlinePiece &piece : kOutline) {
        if (piece.curved) {
            path += QStringLiteral("Q") + pointText(piece.control) + QLatin1Char(' ') +
                    pointText(piece.to);
        } else {
            path += QStringLiteral("L") + pointText(piece.to);
        }
    }
    return path + QStringLiteral("Z");
}

[[nodiscard]] QString gradientElement(const QString &id, const Gradient &gradient)
{
    return QStringLiteral("    <linearGradient id=\"%1\" gradientUnits=\"userSpaceOnUse\" "
                          "x1=\"0\" y1=\"%2\" x2=\"0\" y2=\"%3\">\n"
                          "      <stop offset=\"0\" stop-color=\"%4\"/>\n"
                          "      <stop offset=\"1\" stop-color=\"%5\"/>\n"
                          "    </linearGradient>\n")
        .arg(id, number(kShieldTop), number(kShieldTip), hex(gradient.top), hex(gradient.bottom));
}

} // namespace

QImage renderMotif(int size)
{
    static const std::vector<Point> outline = flattenedOutline();
    QImage image(size, size, QImage::Format_ARGB32);
    for (int y = 0; y < size; ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < size; ++x) {
            const Point p{(x + 0.5) / size, (y + 0.5) / size};
            const double toOutline = shieldDistance(outline, p);
            Paint paint;
            paint.over(kEdge, coverage(toOutline, size));
            paint.over(shade(kRim, p.y), coverage(toOutline + kEdgeWidth, size));
            paint.over(shade(kField, p.y), coverage(toOutline + kRimWidth, size));
            for (const Bar &bar : kBars) {
                paint.over(bar.colour, coverage(roundedBoxDistance(bar, p), size));
            }
            line[x] = paint.toRgba();
        }
    }
    return image;
}

QByteArray motifSvg()
{
    // The rim and the edge are strokes twice their width, clipped to the shield, so that only
    // their inner halves show: the same bands, measured inwards, that the raster draws.
    const QString path = outlinePath();
    QString svg = QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                                 "<svg xmlns=\"http://www.w3.org/2000/svg\" version=\"1.1\" "
                                 "width=\"256\" height=\"256\" viewBox=\"0 0 256 256\">\n"
                                 "  <defs>\n");
    svg += gradientElement(QStringLiteral("field"), kField);
    svg += gradientElement(QStringLiteral("rim"), kRim);
    svg += QStringLiteral("    <clipPath id=\"shield\">\n      <path d=\"%1\"/>\n    </clipPath>\n"
                          "  </defs>\n")
               .arg(path);
    svg += QStringLiteral("  <path d=\"%1\" fill=\"url(#field)\"/>\n").arg(path);
    svg += QStringLiteral("  <g clip-path=\"url(#shield)\" fill=\"none\">\n"
                          "    <path d=\"%1\" stroke=\"url(#rim)\" stroke-width=\"%2\"/>\n"
                          "    <path d=\"%1\" stroke=\"%3\" stroke-width=\"%4\"/>\n"
                          "  </g>\n")
               .arg(path, number(2.0 * kRimWidth), hex(kEdge), number(2.0 * kEdgeWidth));
    for (const Bar &bar : kBars) {
        svg += QStringLiteral("  <rect x=\"%1\" y=\"%2\" width=\"%3\" height=\"%4\" rx=\"%5\" "
                              "fill=\"%6\"/>\n")
                   .arg(number(bar.left), number(bar.top), number(bar.right - bar.left),
                        number(bar.bottom - bar.top), number(kBarCorner), hex(bar.colour));
    }
    svg += QStringLiteral("</svg>\n");
    return svg.toUtf8();
}

} // namespace stats::tools::artwork
