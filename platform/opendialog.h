#pragma once

/// @file
/// The system's own dialog for choosing a file to open, for a window whose toolkit's dialog
/// would keep settings where no path can redirect them. Windows only (opendialog_windows.cpp);
/// elsewhere the toolkit's dialog is used.
///
/// The folder and the answer are the UTF-16 units the shell and the toolkit both hold, not
/// UTF-8: a Windows name may hold a lone surrogate, which no UTF-8 carries, and such a file is
/// then named to the user as the toolkit names it.

#include "platform/text.h"

#include <cstdint>
#include <optional>

namespace stats::platform {

/// What the dialog shows.
struct OpenDialogRequest
{
    std::uintptr_t owner = 0; ///< the native handle of the window it is modal over; 0 for none
    Utf16 title;
    Utf16 filterName; ///< what the one filter is called
    Utf16 pattern;    ///< the files it lists, as "*.ext"
    Utf16 folder;     ///< where it opens, with native separators; empty to let the system choose
};

/// Shows the modal dialog; the chosen file's path with native separators, or nothing when it
/// was cancelled or could not be shown. Files only; the process's folder, the user's recent
/// files and the registry are left alone.
[[nodiscard]] std::optional<Utf16> askForFileToOpen(const OpenDialogRequest &request);

} // namespace stats::platform
