#pragma once

/// @file
/// What the editor does at start that differs from one system to another, each in a file of
/// its own (startup_posix.cpp, startup_windows.cpp).

#include <functional>

namespace stats::app {

/// Starts the work that can run while the application connects to the display. Call it
/// before the application object is made; the function it returns waits for that work.
[[nodiscard]] std::function<void()> beginFontStartUp();

/// Called once the application object exists and the settings paths are set: makes the
/// fonts the program brings known and the ones it does not set itself definite.
void adaptToSystem();
} // namespace stats::app
