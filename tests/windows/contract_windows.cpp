#include "platform/contract.h"

#include "platform/text.h"

#include <windows.h>

#include <cstdlib>

namespace stats::testing {

void interruptThisProgram()
{
    // A console of its own, so that the event reaches this program and no other: the one it
    // may share is the test runner's.
    ::FreeConsole();
    ::AllocConsole();
    ::SetConsoleCtrlHandler(nullptr, FALSE);
    ::GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0);
    // The handlers run on a thread of their own, and the last one ends the process.
    ::Sleep(10000);
    std::abort();
}

void killThisProgram()
{
    ::TerminateProcess(::GetCurrentProcess(), 9);
    std::abort();
}

void setEnvironmentValue(const char *name, const std::string &value)
{
    const std::wstring wideName = platform::toUtf16(name).value_or(std::wstring());
    const std::wstring wideValue = platform::toUtf16(value).value_or(std::wstring());
    // An empty value removes the variable.
    ::_wputenv_s(wideName.c_str(), wideValue.c_str());
}

bool makeLink(const std::string &target, const std::string &link)
{
    const auto wideTarget = platform::toUtf16(target);
    const auto wideLink = platform::toUtf16(link);
    if (!wideTarget || !wideLink ||
        ::CreateSymbolicLinkW(wideLink->c_str(), wideTarget->c_str(),
                              SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE) == 0) {
        return false;
    }
    // Wine answers the call without making a link.
    const DWORD attributes = ::GetFileAttributesW(wideLink->c_str());
    return attributes != INVALID_FILE_ATTRIBUTES &&
           (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

std::string runningProgramFile()
{
    std::wstring name(MAX_PATH, L'\0');
    const DWORD length =
        ::GetModuleFileNameW(nullptr, name.data(), static_cast<DWORD>(name.size()));
    name.resize(length);
    return platform::toUtf8(name).value_or(std::string());
}

} // namespace stats::testing
