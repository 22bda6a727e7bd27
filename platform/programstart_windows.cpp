#include "platform/programstart.h"

#include "platform/text.h"

#include <windows.h>

#include <cstdio>
#include <fcntl.h>
#include <io.h>
#include <shellapi.h>
#include <utility>

namespace stats::platform {

std::expected<std::vector<std::string>, std::size_t> startProgram(int argc, char **argv)
{
    // Text mode would turn every line feed of a CSV into CR LF on the way out, and drop CRs
    // and stop at a Ctrl+Z on the way in; the CSV is the same bytes as on any other system.
    ::_setmode(::_fileno(stdin), _O_BINARY);
    ::_setmode(::_fileno(stdout), _O_BINARY);
    // The names in messages and reports are UTF-8, and so is what a console shows.
    ::SetConsoleOutputCP(CP_UTF8);
    // The wide command line holds every character of every argument whatever the code page
    // of the process; argv holds them only where the manifest's UTF-8 code page took effect.
    int count = 0;
    wchar_t **wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    if (wide == nullptr) {
        return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
    }
    std::vector<std::string> arguments;
    for (int i = 1; i < count; ++i) {
        auto argument = toUtf8(wide[i]);
        if (!argument) {
            ::LocalFree(wide);
            return std::unexpected(static_cast<std::size_t>(i));
        }
        arguments.push_back(std::move(*argument));
    }
    ::LocalFree(wide);
    return arguments;
}

} // namespace stats::platform
