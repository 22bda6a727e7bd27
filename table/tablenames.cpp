#include "table/tablenames.h"

#include "catalogues/files/cataloguefiles.h"
#include "catalogues/files/utf8.h"
#include "image/imagefile.h"
#include "platform/fileapi.h"
#include "platform/newfile.h"

#include <filesystem>
#include <system_error>
#include <vector>

namespace stats::table {

namespace {

namespace fs = std::filesystem;
using catalogues::CatalogueFile;
using catalogues::kCatalogueFiles;

// A list as its data file holds it: one row per line, each ended by a line feed.
std::string dataFileText(const catalogues::Catalogue &list)
{
    std::string text;
    for (const std::string_view row : list.rows()) {
        text.append(row).push_back('\n');
    }
    return text;
}

int refuse(Streams streams, const std::string &file, const std::string &problem)
{
    std::fprintf(streams.err, "stats-table: %s: %s\n", catalogues::shownEscaped(file).c_str(),
                 problem.c_str());
    return kExitRefused;
}

} // namespace

std::optional<catalogues::NamesInUse> namesForTool(const std::optional<std::string> &pack,
                                                   Streams streams)
{
    auto names = catalogues::chooseNames(pack, catalogues::DataFolders::fromEnvironment());
    if (names) {
        return std::move(*names);
    }
    const catalogues::FaultLog &faults = names.error();
    for (const catalogues::Diagnostic &fault : faults.kept()) {
        std::fprintf(streams.err, "%s\n", catalogues::formatDiagnostic(fault).c_str());
    }
    if (const std::size_t more = faults.count() - faults.kept().size(); more > 0) {
        std::fprintf(streams.err, "and %zu more\n", more);
    }
    std::fprintf(streams.err,
                 "stats-table: the name pack is refused (%zu %s), so nothing was done; mend "
                 "it, or name another folder with --name-pack DIR\n",
                 faults.count(), faults.count() == 1 ? "fault" : "faults");
    return std::nullopt;
}

std::string namesInUseText(const catalogues::NamesInUse &names)
{
    return names.pack ? "the names of the pack " + catalogues::shownEscaped(names.pack->text())
                      : std::string("the built-in names");
}

int writeNamePack(const std::string &folder, const catalogues::NamesInUse &names, Streams streams,
                  platform::FileApi &files)
{
    const platform::Path dir(folder);
    std::error_code error;
    fs::create_directories(dir.filesystem(), error);
    if (error) {
        return refuse(streams, folder, "the folder cannot be made: " + error.message());
    }
    // Every file is checked before any is written, so that a folder is never left with a
    // mix of old and new files.
    bool taken = false;
    for (const CatalogueFile &file : kCatalogueFiles) {
        const platform::Path path = dir / file.fileName;
        if (fs::exists(fs::symlink_status(path.filesystem(), error))) {
            taken = true;
            refuse(streams, path.text(), "it exists already");
        }
    }
    if (taken) {
        return refuse(streams, folder,
                      "nothing was written; names never overwrites a file. Name a new or an "
                      "empty folder");
    }
    std::vector<platform::Path> written;
    std::string report;
    for (const CatalogueFile &file : kCatalogueFiles) {
        const platform::Path path = dir / file.fileName;
        const catalogues::Catalogue &list = catalogues::listOfFile(names.names, file);
        if (const auto done = platform::writeNewFile(files, path, dataFileText(list)); !done) {
            // A part of a pack would later load as if it were the whole of it.
            for (const platform::Path &partial : written) {
                static_cast<void>(files.remove(partial));
            }
            return refuse(streams, path.text(),
                          "writing failed: " + platform::osReason(done.error().code) +
                              "; the files written so far were removed again");
        }
        written.push_back(path);
        report += catalogues::shownEscaped(path.text()) + ": " + std::to_string(list.rowCount()) +
                  " rows\n";
    }
    const auto found = catalogues::namePackFolders(catalogues::DataFolders::fromEnvironment());
    const std::string home = found.empty() ? std::string("a stats-editor/names folder of your "
                                                         "data folders")
                                           : catalogues::shownEscaped(found.front().text());
    const std::string shownFolder = catalogues::shownEscaped(folder);
    std::fprintf(streams.out,
                 "%sWrote %s into %s. Edit the texts in place, one row per line, then use them "
                 "with --name-pack %s, or put the folder at %s for both programs to find.\n",
                 report.c_str(), namesInUseText(names).c_str(), shownFolder.c_str(),
                 shownFolder.c_str(), home.c_str());
    return kExitDone;
}

} // namespace stats::table
