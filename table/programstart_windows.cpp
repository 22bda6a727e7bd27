#include "table/programstart.h"

#include <windows.h>

#include <cstdio>
#include <fcntl.h>
#include <io.h>
#include <shellapi.h>

namespace stats::table {

namespace {

std::string utf8(const wchar_t *text)
{
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 1) {
        return {};
    }
    std::string bytes(static_cast<std::size_t>(size), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text, -1, bytes.data(), size, nullptr, nullptr);
    bytes.pop_back(); // the terminating zero
    return bytes;
}

} // namespace

std::vector<std::string> startProgram(int argc, char **argv)
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
        return {argv + (argc > 0 ? 1 : 0), argv + argc};
    }
    std::vector<std::string> arguments;
    for (int i = 1; i < count; ++i) {
        arguments.push_back(utf8(wide[i]));
    }
    ::LocalFree(wide);
    return arguments;
}

} // namespace stats::table
