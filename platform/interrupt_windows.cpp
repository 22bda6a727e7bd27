#include "platform/interrupt.h"

#include "platform/text.h"

#include <windows.h>

#include <atomic>
#include <string>

namespace stats::platform {

namespace {

// The file that a console event which ends the process removes first. The handler runs on a
// thread of its own while the program goes on, so the text is set before it is published.
std::wstring g_removedText;
std::atomic<bool> g_removing{false};

BOOL WINAPI removeAndEnd(DWORD event)
{
    static_cast<void>(event);
    if (g_removing.load()) {
        // The file is shared for deletion: it goes once the program's own handle closes, as
        // the process ends.
        ::DeleteFileW(g_removedText.c_str());
    }
    // Not handled: the system's own handler ends the process.
    return FALSE;
}

} // namespace

RemovedOnInterrupt::RemovedOnInterrupt(const Path &path)
{
    g_removedText = toUtf16(path.text()).value_or(std::wstring());
    g_removing = !g_removedText.empty();
    ::SetConsoleCtrlHandler(removeAndEnd, TRUE);
}

RemovedOnInterrupt::~RemovedOnInterrupt()
{
    ::SetConsoleCtrlHandler(removeAndEnd, FALSE);
    g_removing = false;
}

} // namespace stats::platform
