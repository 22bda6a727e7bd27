#pragma once

/// @file
/// Every artwork file the editor ships, and writing them all into one folder.

#include <QString>

#include <array>
#include <expected>
#include <string_view>

namespace stats::tools::artwork {

enum class ArtworkKind { Background, WindowsIcon, IconPng, IconSvg };

struct ArtworkFile
{
    std::string_view path; ///< relative to the output folder
    ArtworkKind kind;
    int size; ///< edge length in pixels for IconPng, unused otherwise
};

/// @brief The files make-artwork writes, in the order it writes them.
inline constexpr std::array kArtworkFiles{
    ArtworkFile{"background.jpg", ArtworkKind::Background, 0},
    ArtworkFile{"stats-editor.ico", ArtworkKind::WindowsIcon, 0},
    ArtworkFile{"icons/hicolor/16x16/apps/stats-editor.png", ArtworkKind::IconPng, 16},
    ArtworkFile{"icons/hicolor/32x32/apps/stats-editor.png", ArtworkKind::IconPng, 32},
    ArtworkFile{"icons/hicolor/48x48/apps/stats-editor.png", ArtworkKind::IconPng, 48},
    ArtworkFile{"icons/hicolor/64x64/apps/stats-editor.png", ArtworkKind::IconPng, 64},
    ArtworkFile{"icons/hicolor/128x128/apps/stats-editor.png", ArtworkKind::IconPng, 128},
    ArtworkFile{"icons/hicolor/256x256/apps/stats-editor.png", ArtworkKind::IconPng, 256},
    ArtworkFile{"icons/hicolor/scalable/apps/stats-editor.svg", ArtworkKind::IconSvg, 0},
};

struct ArtworkError
{
    QString path; ///< the file that could not be made, as given to the writer
    QString reason;
};

/// @brief Renders, encodes and writes every file of kArtworkFiles under @p outputFolder,
/// creating subfolders as needed. Stops at the first failure.
[[nodiscard]] std::expected<void, ArtworkError> writeArtwork(const QString &outputFolder);

} // namespace stats::tools::artwork
