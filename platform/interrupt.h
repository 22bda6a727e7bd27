#pragma once

/// @file
/// A file that must not outlive an interrupted program: while a guard lives, an interrupt that
/// ends the program (Ctrl+C, a kill, a closed terminal or console window) removes it first.
/// One file per system (interrupt_posix.cpp: signals; interrupt_windows.cpp: console events).

#include "platform/path.h"

namespace stats::platform {

class RemovedOnInterrupt
{
public:
    /// One guard at a time: the program makes one such file at a time.
    explicit RemovedOnInterrupt(const Path &path);
    ~RemovedOnInterrupt();
    RemovedOnInterrupt(const RemovedOnInterrupt &) = delete;
    RemovedOnInterrupt &operator=(const RemovedOnInterrupt &) = delete;
};

} // namespace stats::platform
