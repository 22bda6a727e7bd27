#include "catalogues/namepack.h"

#include "platform/process.h"

// Where name packs are looked for on POSIX systems: the XDG data folders.

namespace stats::catalogues {

namespace {

// The pack folder inside a folder named in an XDG variable, or nothing for an empty or
// relative one. Made as one text, so that the path is taken apart once.
std::optional<platform::Path> packFolderIn(std::string_view folder, std::string_view below = {})
{
    if (folder.empty() || folder.front() != '/') {
        return std::nullopt;
    }
    std::string path(folder);
    while (!path.empty() && path.back() == '/') {
        path.pop_back();
    }
    path += below;
    path += "/stats-editor/names";
    return platform::Path(std::move(path));
}

} // namespace

DataFolders DataFolders::fromEnvironment()
{
    return {platform::environmentValue("XDG_DATA_HOME"), platform::environmentValue("HOME"),
            platform::environmentValue("XDG_DATA_DIRS")};
}

std::vector<platform::Path> namePackFolders(const DataFolders &folders)
{
    std::vector<platform::Path> found;
    if (auto home = packFolderIn(folders.dataHome)) {
        found.push_back(std::move(*home));
    } else if (auto user = packFolderIn(folders.home, "/.local/share")) {
        found.push_back(std::move(*user));
    }
    const std::string_view dirs = folders.dataDirs.empty()
                                      ? std::string_view("/usr/local/share:/usr/share")
                                      : folders.dataDirs;
    for (std::size_t start = 0; start <= dirs.size();) {
        const std::size_t end = std::min(dirs.find(':', start), dirs.size());
        if (auto dir = packFolderIn(dirs.substr(start, end - start))) {
            found.push_back(std::move(*dir));
        }
        start = end + 1;
    }
    return found;
}

} // namespace stats::catalogues
