#include "catalogues/namepack.h"

#include "platform/process.h"

// Where name packs are looked for on Windows: stats-editor\names in the user's roaming
// application data, %APPDATA%. There are no shared data folders to look in after it.

namespace stats::catalogues {

DataFolders DataFolders::fromEnvironment()
{
    return {platform::environmentValue("APPDATA"), {}, {}};
}

std::vector<platform::Path> namePackFolders(const DataFolders &folders)
{
    const platform::Path appData(folders.dataHome);
    if (appData.empty() || !appData.filesystem().is_absolute()) {
        return {};
    }
    return {appData / "stats-editor" / "names"};
}

} // namespace stats::catalogues
