#include "platform/process.h"

#include "platform/text.h"

#include <windows.h>

#include <cstdlib>

namespace stats::platform {

std::string environmentValue(std::string_view name)
{
    // The wide environment holds every character whatever the process's code page.
    const auto wideName = toUtf16(name);
    const wchar_t *value = wideName ? ::_wgetenv(wideName->c_str()) : nullptr;
    if (value == nullptr || *value == L'\0') {
        return {};
    }
    return toUtf8(value).value_or(std::string());
}

bool standardErrorIsSeen()
{
    // A file or a pipe someone redirected it to, or the console of this process. A program with
    // a window that is started from a Command Prompt gets no console of its own, and one
    // started from the desktop gets no handle at all.
    const HANDLE error = ::GetStdHandle(STD_ERROR_HANDLE);
    if (error == nullptr || error == INVALID_HANDLE_VALUE) {
        return false;
    }
    const DWORD type = ::GetFileType(error);
    if (type == FILE_TYPE_DISK || type == FILE_TYPE_PIPE) {
        return true;
    }
    return type == FILE_TYPE_CHAR && ::GetConsoleWindow() != nullptr;
}

} // namespace stats::platform
