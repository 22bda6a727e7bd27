#include "catalogues/namepack.h"

#include <filesystem>
#include <system_error>

namespace stats::catalogues {

namespace {

namespace fs = std::filesystem;

bool isFolder(const platform::Path &path)
{
    std::error_code error;
    return fs::is_directory(path.filesystem(), error);
}

// The rows of `file` in `folder`, or nothing when the pack does not have that file.
std::optional<std::vector<std::string>> packRows(const platform::Path &folder,
                                                 const CatalogueFile &file, FaultLog &faults)
{
    std::error_code error;
    const platform::Path path = folder / file.fileName;
    if (!fs::exists(fs::symlink_status(path.filesystem(), error))) {
        if (!error || error == std::errc::no_such_file_or_directory) {
            return std::nullopt;
        }
        // A folder that cannot be searched hides whether the pack has the file.
        faults.add({path.text(), 0, "cannot be looked at: " + error.message()});
        return std::vector<std::string>();
    }
    auto data = readDataFile(folder, file.fileName, largestFileSize(file), faults);
    if (!data) {
        faults.add(data.error());
        return std::vector<std::string>();
    }
    checkStructure(file, *data, faults);
    return std::move(data->rows);
}

std::string fileNames()
{
    std::string names;
    for (const CatalogueFile &file : kCatalogueFiles) {
        names += (names.empty() ? "" : ", ") + std::string(file.fileName);
    }
    return names;
}

} // namespace

const Catalogue &listOfFile(const CatalogueSet &names, const CatalogueFile &file)
{
    return file.entries ? names.entries(*file.entries) : names.values(*file.values);
}

std::expected<CatalogueSet, FaultLog> loadNamePack(const platform::Path &folder,
                                                   const CatalogueSet &base)
{
    if (std::error_code error; !fs::is_directory(folder.filesystem(), error)) {
        FaultLog faults;
        faults.add({folder.text(), 0,
                    error && error != std::errc::no_such_file_or_directory
                        ? "cannot be looked at: " + error.message()
                        : std::string("is not a folder")});
        return std::unexpected(std::move(faults));
    }
    FaultLog faults(kPackFaultsKept);
    std::array<Catalogue, kCatalogueFiles.size()> lists;
    bool anyFile = false;
    for (const CatalogueFile &file : kCatalogueFiles) {
        auto rows = packRows(folder, file, faults);
        anyFile = anyFile || rows.has_value();
        lists[static_cast<std::size_t>(file.id)] =
            rows ? Catalogue(std::move(*rows)) : listOfFile(base, file);
    }
    if (!anyFile) {
        faults.add({folder.text(), 0, "the folder holds none of the name files: " + fileNames()});
    }
    if (!faults.empty()) {
        return std::unexpected(std::move(faults));
    }
    return CatalogueSet(std::move(lists[0]), std::move(lists[1]), std::move(lists[2]),
                        std::move(lists[3]), std::move(lists[4]), std::move(lists[5]));
}

std::expected<NamesInUse, FaultLog> chooseNames(const std::optional<platform::Path> &given,
                                                const DataFolders &folders)
{
    std::optional<platform::Path> pack = given;
    if (!pack) {
        for (const platform::Path &candidate : namePackFolders(folders)) {
            if (isFolder(candidate)) {
                pack = candidate;
                break;
            }
        }
    }
    if (!pack) {
        return NamesInUse{builtInCatalogues(), std::nullopt};
    }
    auto names = loadNamePack(*pack, builtInCatalogues());
    if (!names) {
        return std::unexpected(std::move(names.error()));
    }
    return NamesInUse{std::move(*names), pack};
}

} // namespace stats::catalogues
