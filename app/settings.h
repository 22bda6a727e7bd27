#pragma once

// The editor keeps no settings. What stops the toolkit from keeping its own differs per
// system, each in a file of its own (settings_posix.cpp, settings_windows.cpp).

#include <QFileDialog>

#include <memory>

namespace stats::app {

/// Points the toolkit's own settings at a place where nothing can be written. Qt's file
/// dialog would otherwise remember its folder in the user's configuration, and the editor
/// keeps no state of its own. Call once, after the application object exists.
void keepNoSettings();

/// Ends @p dialog once its answer was read, without letting it write its settings: Qt's file
/// dialog writes them as it is destroyed, to a place keepNoSettings() cannot always redirect.
void dismissDialog(std::unique_ptr<QFileDialog> dialog);

} // namespace stats::app
