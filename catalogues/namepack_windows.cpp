#include "catalogues/namepack.h"

#include "platform/process.h"

// Where name packs are looked for on Windows: stats-editor\names in the user's roaming
// application data, %APPDATA%. There are no shared data folders to look in after it.

namespace stats::catalogues {

namespace fs = std::filesystem;

DataFolders DataFolders::fromEnvironment()
{
    return {platform::environmentValue("APPDATA"), {}, {}};
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
