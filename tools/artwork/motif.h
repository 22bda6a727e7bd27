#pragma once

/// @file
/// The application's icon: a gold-rimmed shield carrying a small rising bar chart.

#include <QByteArray>
#include <QImage>

namespace stats::tools::artwork {

/// @brief Draws the icon at @p size x @p size pixels, full colour with alpha (ARGB32).
[[nodiscard]] QImage renderMotif(int size);

/// @brief The same icon as a self-contained SVG 1.1 document.
[[nodiscard]] QByteArray motifSvg();

} // namespace stats::tools::artwork
