#pragma once

// The editor keeps no settings. What stops the toolkit and the open dialog from keeping their
// own differs per system, each in a file of its own (settings_posix.cpp, settings_windows.cpp).

#include <QString>

class QWidget;

namespace stats::app {

/// Points the toolkit's own settings at a place where nothing can be written. Qt's file
/// dialog would otherwise remember its folder in the user's configuration, and the editor
/// keeps no state of its own. Call once, after the application object exists.
void keepNoSettings();

/// Shows the modal open dialog "Open Rom" over @p parent, listing the images (*.nds), in
/// @p folder unless it is empty, and returns the chosen file's path; an empty path when it was
/// cancelled. The dialog writes no settings of its own.
[[nodiscard]] QString askForImage(QWidget *parent, const QString &folder);

} // namespace stats::app
