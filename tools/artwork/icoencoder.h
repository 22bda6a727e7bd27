#pragma once

/// @file
/// A writer for Windows icon files with palette images (1, 4 or 8 bits per pixel).

#include <QByteArray>
#include <QImage>
#include <QRgb>

#include <cstdint>
#include <span>
#include <vector>

namespace stats::tools::artwork {

/// @brief One picture of an icon file: a palette, an index per pixel and a transparency mask.
struct IndexedIcon
{
    int size = 0;         ///< width and height in pixels, 1 to 256
    int bitsPerPixel = 0; ///< 1, 4 or 8; the palette has 2^bitsPerPixel entries
    std::vector<QRgb> palette;
    std::vector<std::uint8_t> indices; ///< row by row from the top
    std::vector<bool> transparent;     ///< same order as indices
};

/// @brief Maps a square ARGB image onto @p palette: pixels less than half opaque become
/// transparent, every other pixel takes its nearest palette colour.
/// @p palette must hold exactly 2^bitsPerPixel colours; index 0 should be black, which is
/// what transparent pixels carry.
[[nodiscard]] IndexedIcon quantize(const QImage &image, int bitsPerPixel,
                                   std::span<const QRgb> palette);

/// @brief The bytes of an icon file holding @p icons in the given order.
[[nodiscard]] QByteArray encodeIco(std::span<const IndexedIcon> icons);

} // namespace stats::tools::artwork
