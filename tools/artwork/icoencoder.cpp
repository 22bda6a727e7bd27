#include "tools/artwork/icoencoder.h"

#include <limits>

namespace stats::tools::artwork {
namespace {

constexpr int kIconDirSize = 6;
constexpr int kIconDirEntrySize = 16;
constexpr int kBitmapInfoHeaderSize = 40;
constexpr int kPaletteEntrySize = 4;

// Bitmap rows are padded to a whole number of 32-bit words.
[[nodiscard]] int rowBytes(int width, int bitsPerPixel)
{
    return (width * bitsPerPixel + 31) / 32 * 4;
}

[[nodiscard]] int imageBytes(const IndexedIcon &icon)
{
    const int colourBits = rowBytes(icon.size, icon.bitsPerPixel) * icon.size;
    const int maskBits = rowBytes(icon.size, 1) * icon.size;
    return kBitmapInfoHeaderSize + kPaletteEntrySize * int(icon.palette.size()) + colourBits +
           maskBits;
}

void appendU8(QByteArray &out, int value)
{
    out.append(static_cast<char>(value & 0xff));
}

void appendU16(QByteArray &out, int value)
{
    appendU8(out, value);
    appendU8(out, value >> 8);
}

void appendU32(QByteArray &out, int value)
{
    appendU16(out, value);
    appendU16(out, value >> 16);
}

// Packs one row of values, most significant bits first, each `bits` wide.
template <typename ValueOf>
void appendPackedRow(QByteArray &out, int width, int bits, ValueOf valueOf)
{
    QByteArray row(rowBytes(width, bits), '\0');
    for (int x = 0; x < width; ++x) {
        const int bitPosition = x * bits;
        const int shift = 8 - bits - bitPosition % 8;
        row[bitPosition / 8] = static_cast<char>(row[bitPosition / 8] | (valueOf(x) << shift));
    }
    out.append(row);
}

void appendBitmapInfoHeader(QByteArray &out, const IndexedIcon &icon)
{
    appendU32(out, kBitmapInfoHeaderSize);
    appendU32(out, icon.size);
    // The height counts the colour bitmap and the mask that follows it.
    appendU32(out, 2 * icon.size);
    appendU16(out, 1); // planes
    appendU16(out, icon.bitsPerPixel);
    appendU32(out, 0); // no compression
    appendU32(out, imageBytes(icon) - kBitmapInfoHeaderSize -
                       kPaletteEntrySize * int(icon.palette.size()));
    appendU32(out, 0); // no preferred resolution
    appendU32(out, 0);
    appendU32(out, int(icon.palette.size()));
    appendU32(out, 0); // every colour matters
}

void appendImage(QByteArray &out, const IndexedIcon &icon)
{
    appendBitmapInfoHeader(out, icon);
    for (const QRgb colour : icon.palette) {
        appendU8(out, qBlue(colour));
        appendU8(out, qGreen(colour));
        appendU8(out, qRed(colour));
        appendU8(out, 0);
    }
    const auto size = static_cast<std::size_t>(icon.size);
    // Both bitmaps are stored bottom row first.
    for (int y = icon.size - 1; y >= 0; --y) {
        const std::size_t rowStart = static_cast<std::size_t>(y) * size;
        appendPackedRow(out, icon.size, icon.bitsPerPixel, [&](int x) {
            return int{icon.indices[rowStart + static_cast<std::size_t>(x)]};
        });
    }
    for (int y = icon.size - 1; y >= 0; --y) {
        const std::size_t rowStart = static_cast<std::size_t>(y) * size;
        appendPackedRow(out, icon.size, 1, [&](int x) {
            return icon.transparent[rowStart + static_cast<std::size_t>(x)] ? 1 : 0;
        });
    }
}

// Weighted towards green, where the eye tells shades apart best.
[[nodiscard]] int colourDistance(QRgb a, QRgb b)
{
    const int red = qRed(a) - qRed(b);
    const int green = qGreen(a) - qGreen(b);
    const int blue = qBlue(a) - qBlue(b);
    return 2 * red * red + 4 * green * green + 3 * blue * blue;
}

[[nodiscard]] std::uint8_t nearestIndex(QRgb colour, std::span<const QRgb> palette)
{
    std::size_t best = 0;
    int bestDistance = std::numeric_limits<int>::max();
    for (std::size_t i = 0; i < palette.size(); ++i) {
        const int distance = colourDistance(colour, palette[i]);
        if (distance < bestDistance) {
            best = i;
            bestDistance = distance;
        }
    }
    return static_cast<std::uint8_t>(best);
}

} // namespace

IndexedIcon quantize(const QImage &image, int bitsPerPixel, std::span<const QRgb> palette)
{
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    IndexedIcon icon;
    icon.size = argb.width();
    icon.bitsPerPixel = bitsPerPixel;
    icon.palette.assign(palette.begin(), palette.end());
    for (int y = 0; y < argb.height(); ++y) {
        const auto *line = reinterpret_cast<const QRgb *>(argb.constScanLine(y));
        for (int x = 0; x < argb.width(); ++x) {
            const bool transparent = qAlpha(line[x]) < 128;
            icon.transparent.push_back(transparent);
            icon.indices.push_back(transparent ? std::uint8_t{0} : nearestIndex(line[x], palette));
        }
    }
    return icon;
}

QByteArray encodeIco(std::span<const IndexedIcon> icons)
{
    const int count = int(icons.size());
    QByteArray out;
    appendU16(out, 0); // reserved
    appendU16(out, 1); // an icon, not a cursor
    appendU16(out, count);
    int offset = kIconDirSize + kIconDirEntrySize * count;
    for (const IndexedIcon &icon : icons) {
        // A width or height of 256 is written as 0; so is the colour count of 8-bit images.
        appendU8(out, icon.size);
        appendU8(out, icon.size);
        appendU8(out, icon.bitsPerPixel < 8 ? 1 << icon.bitsPerPixel : 0);
        appendU8(out, 0);  // reserved
        appendU16(out, 1); // planes
        appendU16(out, icon.bitsPerPixel);
        appendU32(out, imageBytes(icon));
        appendU32(out, offset);
        offset += imageBytes(icon);
    }
    for (const IndexedIcon &icon : icons) {
        appendImage(out, icon);
    }
    return out;
}

} // namespace stats::tools::artwork
