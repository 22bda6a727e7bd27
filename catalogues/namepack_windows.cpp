#include "catalogues/namepack.h"

#include "platform/text.h"

#include <windows.h>

#include <cstdlib>

// Where name packs are looked for on Windows: stats-editor\names in the user's roaming
// application data, %APPDATA%. There are no shared data folders to look in after it.

namespace stats::catalogues {

namespace {

namespace fs = std::filesystem;

// The variable as UTF-8, whatever the process's code page; empty when it is not set.
std::string environmentValue(const wchar_t *name)
{
    const wchar_t *value = ::_wgetenv(name);
    if (value == nullptr || *value == L'\0') {
        return {};
    }
    // A value that is no valid text names no folder we could open.
    return platform::toUtf8(value).value_or(std::string());
}

} // namespace

DataFolders DataFolders::fromEnvironment()
{
    return {environmentValue(L"APPDATA"), {}, {}};
}

std::vector<fs::path> namePackFolders(const DataFolders &folders)
{
    const fs::path appData(std::u8string(folders.dataHome.begin(), folders.dataHome.end()));
    if (folders.dataHome.empty() || !appData.is_absolute()) {
        return {};
    }
    return {appData / "stats-editor" / "names"};
}

} // namespace stats::catalogues
