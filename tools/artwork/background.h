#pragma once

/// @file
/// The window's background picture: golden yellow with soft pale bands stacked as chevrons.

#include <QImage>

namespace stats::tools::artwork {

inline constexpr int kBackgroundWidth = 1280;
inline constexpr int kBackgroundHeight = 1024;

/// @brief Draws the background, pixel by pixel, the same on every machine.
[[nodiscard]] QImage renderBackground();

} // namespace stats::tools::artwork
