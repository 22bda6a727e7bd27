// Loading and saving one entry on images of real cartridge sizes, and the export, import and
// diff of the whole table by stats-table, each beside the bare system calls it cannot do
// without: the cost must sit near that floor and must not grow with the image. And what a name
// pack costs a program at start, beside taking the built-in names.

#include "bench/figurereporter.h"
#include "catalogues/catalogues.h"
#include "catalogues/namepack.h"
#include "image/imagefile.h"
#include "image/statstable.h"
#include "sample-image/sampleimage.h"
#include "support/tempimage.h"
#include "table/tablecsv.h"
#include "table/tabletool.h"

#include <benchmark/benchmark.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <filesystem>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

using namespace stats;
using image::Range;

struct ImageSize
{
    const char *name;
    std::int64_t bytes;
};

constexpr std::array<ImageSize, 2> kSizes{{
    {"128MiB", std::int64_t{128} << 20},
    {"512MiB", std::int64_t{512} << 20},
}};

// A List 1 row in the middle of the table, so the record lies far from the header.
constexpr std::int16_t kRow = 300;

std::int64_t recordOffset()
{
    return *image::recordPosition(Range::List1, kRow);
}

// The system's calls, except that the flush returns at once, so that a save is measured
// apart from the disk's own time.
class NoFlushFileApi : public platform::FileApi
{
public:
    platform::SystemResult<void> flush(platform::NativeFile /*file*/) override { return {}; }
};

// The system's calls without the look-up of the path before the open: the type check is left
// to the fstat() after the open, which the core makes anyway. This is what a load and a save
// would cost if the core opened the file first (saves without the flush, as above).
// The look-up of the path that a save makes right before its writes, with the file open, to
// see that the path still leads to it, stays.
class NoPathStatFileApi : public NoFlushFileApi
{
public:
    using NoFlushFileApi::status;
    platform::SystemResult<platform::FileStatus> status(const platform::Path &path) override
    {
        if (m_open > 0) {
            return NoFlushFileApi::status(path);
        }
        return platform::FileStatus{platform::FileType::Regular, 0, {}};
    }
    platform::SystemResult<platform::NativeFile> open(const platform::Path &path,
                                                      platform::Access access) override
    {
        auto file = NoFlushFileApi::open(path, access);
        m_open += file ? 1 : 0;
        return file;
    }
    platform::SystemResult<void> close(platform::NativeFile file) override
    {
        --m_open;
        return NoFlushFileApi::close(file);
    }

private:
    int m_open = 0;
};

// The record's own bytes, so that every save writes what the image already holds.
image::FieldBytes unchangedBytes()
{
    return tools::sampleFieldBytes(image::rangeInfo(Range::List1).firstRecord + kRow);
}

// The runs of adjacent field bytes: the fewest writes that change the fifteen bytes and no
// other.
struct ByteRun
{
    int offset;
    int length;
};

std::vector<ByteRun> fieldRuns()
{
    std::vector<ByteRun> runs;
    for (const auto &field : image::kFields) {
        if (!runs.empty() && runs.back().offset + runs.back().length == field.offset) {
            ++runs.back().length;
        } else {
            runs.push_back({field.offset, 1});
        }
    }
    return runs;
}

// The calls with which a program of ours opens an image: the type of what is at the path
// (so that a FIFO or device is never opened), the open, the type and identity of what was
// opened, our lock, and the game code. The descriptor, or -1.
int openChecked(const std::string &path, int access, short lock)
{
    struct ::stat info
    {
    };
    if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return -1;
    }
    const int fd = ::open(path.c_str(), access | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    struct ::flock range
    {
    };
    range.l_type = lock;
    range.l_whence = SEEK_SET;
    std::array<std::uint8_t, 4> code{};
    if (fd < 0 || ::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) ||
        ::fcntl(fd, F_OFD_SETLK, &range) != 0 ||
        ::pread(fd, code.data(), code.size(), image::kGameCodeOffset) != 4) {
        if (fd >= 0) {
            ::close(fd);
        }
        return -1;
    }
    return fd;
}

// Writes the field runs of the records of `bytes` (whole records from `offset`), each write
// into a file seen to still reach its end, as every write of ours is; then, with the length
// seen unchanged and the flush if asked, reads them all back.
bool writeRecords(int fd, const std::string &path, std::span<std::uint8_t> bytes, off_t offset,
                  bool flushed)
{
    struct ::stat info
    {
    };
    bool done = ::stat(path.c_str(), &info) == 0;
    const auto runs = fieldRuns();
    for (std::size_t record = 0; record < bytes.size() && done; record += image::kRecordSize) {
        for (const ByteRun &run : runs) {
            // Each write is seen to stay within the file first, as no write may make it longer.
            done = done && ::fstat(fd, &info) == 0 &&
                   ::pwrite(fd, bytes.data() + record + static_cast<std::size_t>(run.offset),
                            static_cast<std::size_t>(run.length),
                            offset + static_cast<off_t>(record) + run.offset) == run.length;
        }
    }
    done = done && ::fstat(fd, &info) == 0 && (!flushed || ::fdatasync(fd) == 0);
    return done &&
           ::pread(fd, bytes.data(), bytes.size(), offset) == static_cast<ssize_t>(bytes.size());
}

void loadEntry(benchmark::State &state, const std::string &path, platform::FileApi &files)
{
    for (auto _ : state) {
        auto bytes = image::loadEntry(path, Range::List1, kRow, files);
        if (!bytes) {
            state.SkipWithError("the load failed");
            break;
        }
        benchmark::DoNotOptimize(bytes);
    }
}

// The floor of a load: what any load of ours must do, bare: the checked open (see
// openChecked), one read of the record's 27 bytes, close.
void bareLoad(benchmark::State &state, const std::string &path)
{
    const auto offset = static_cast<off_t>(recordOffset());
    std::array<std::uint8_t, image::kRecordSpan> record{};
    for (auto _ : state) {
        const int fd = openChecked(path, O_RDONLY, F_RDLCK);
        const bool done = fd >= 0 && ::pread(fd, record.data(), record.size(), offset) ==
                                         static_cast<ssize_t>(record.size());
        ::close(fd);
        if (!done) {
            state.SkipWithError("the bare read failed");
            break;
        }
        benchmark::DoNotOptimize(record);
    }
}

void saveEntry(benchmark::State &state, const std::string &path, platform::FileApi &files)
{
    const auto bytes = unchangedBytes();
    for (auto _ : state) {
        const auto saved = image::saveEntry(path, Range::List1, kRow, bytes, files);
        if (!saved) {
            state.SkipWithError("the save failed");
            break;
        }
    }
}

// The floor of a save: what any save of ours must do, bare: the checked open under the
// exclusive lock, the read of the old record (to put it back after a failed write and to
// compare the read-back with), the look at the path, one write per run of field bytes, each
// into a file seen to reach its end, the look at the length, the flush if asked, the read-back,
// close.
void bareSave(benchmark::State &state, const std::string &path, bool flushed)
{
    const auto offset = static_cast<off_t>(recordOffset());
    std::array<std::uint8_t, image::kRecordSize> record{};
    for (auto _ : state) {
        const int fd = openChecked(path, O_RDWR, F_WRLCK);
        const bool done = fd >= 0 &&
                          ::pread(fd, record.data(), record.size(), offset) ==
                              static_cast<ssize_t>(record.size()) &&
                          writeRecords(fd, path, record, offset, flushed);
        ::close(fd);
        if (!done) {
            state.SkipWithError("the bare save failed");
            break;
        }
    }
}

// --- stats-table --------------------------------------------------------------------------

constexpr auto kTableBytes = static_cast<std::size_t>(image::kTableEnd - image::kTableOffset);

// The sample's table, or with every record's values those of the next record, so that an
// import of the one over the other changes all 667 entries.
std::string sampleTableCsv(int shift)
{
    image::TableBytes table(image::kRecordCount);
    for (int r = 0; r < image::kRecordCount; ++r) {
        table[static_cast<std::size_t>(r)] = tools::sampleFieldBytes(r + shift);
    }
    return table::tableCsv(table, catalogues::builtInCatalogues(), false);
}

// The program's messages and reports go where its CSV does in the floor: nowhere.
std::FILE *nullStream()
{
    static std::FILE *const stream = std::fopen("/dev/null", "w");
    return stream;
}

bool runTable(std::vector<std::string_view> args, platform::FileApi &files)
{
    return table::runTableTool(args, {nullStream(), nullStream()}, files) == table::kExitDone;
}

void exportTable(benchmark::State &state, const std::string &path, bool names)
{
    for (auto _ : state) {
        if (!runTable({"export", path, names ? "--names" : "--"}, platform::systemFileApi())) {
            state.SkipWithError("the export failed");
            break;
        }
    }
}

// What the quickest plain export copies its CSV from, made beforehand: the header, each
// entry's first three cells and each byte's decimal text after its comma, held in four bytes
// (",255" is the longest) so that it is copied by one fixed-size move, not a call.
struct CsvPieces
{
    std::string header = "list,row,name,hp,atk,def,spd,spatk,spdef,ty1,ty2,cr,wh1,wh2,gr,ab1,"
                         "ab2,dw\r\n";
    std::vector<std::string> entries;
    std::array<std::array<char, 4>, 256> values{};
    std::array<std::size_t, 256> lengths{};

    CsvPieces()
    {
        for (const image::RangeInfo &info : image::kRanges) {
            for (int row = 0; row < info.rowCount; ++row) {
                entries.push_back(
                    std::string(info.name) + ',' + std::to_string(row) + ',' +
                    std::string(catalogues::builtInCatalogues().entryName(info.range, row)));
            }
        }
        for (std::size_t b = 0; b < values.size(); ++b) {
            const std::string text = ',' + std::to_string(b);
            std::memcpy(values[b].data(), text.data(), text.size());
            lengths[b] = text.size();
        }
    }
};

// The CSV of `table` (the image's bytes from kTableOffset) made the quickest plain way: every
// cell copied from its piece, no checks, no quoting.
std::size_t plainTableCsv(const CsvPieces &pieces, const std::vector<std::uint8_t> &table,
                          std::vector<char> &out)
{
    char *at = out.data();
    const auto put = [&at](std::string_view text) {
        std::memcpy(at, text.data(), text.size());
        at += text.size();
    };
    put(pieces.header);
    for (std::size_t r = 0; r < pieces.entries.size(); ++r) {
        put(pieces.entries[r]);
        for (const auto &field : image::kFields) {
            const std::uint8_t byte = table[r * image::kRecordSize + field.offset];
            std::memcpy(at, pieces.values[byte].data(), 4);
            at += pieces.lengths[byte];
        }
        put("\r\n");
    }
    return static_cast<std::size_t>(at - out.data());
}

// The floor of an export: open, one read of the whole table, close, the CSV made the quickest
// plain way and written to /dev/null in one write. With `ready`, the CSV is made beforehand
// and the floor is the three calls and the write alone.
void bareExport(benchmark::State &state, const std::string &path, bool ready)
{
    const std::string csv = sampleTableCsv(0);
    const CsvPieces pieces;
    std::vector<char> made(csv.size() * 2);
    std::vector<std::uint8_t> table(kTableBytes);
    const int null = ::fileno(nullStream());
    for (auto _ : state) {
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        const ssize_t got = ::pread(fd, table.data(), table.size(), image::kTableOffset);
        ::close(fd);
        const std::size_t size = ready ? csv.size() : plainTableCsv(pieces, table, made);
        const char *text = ready ? csv.data() : made.data();
        if (got != static_cast<ssize_t>(table.size()) ||
            ::write(null, text, size) != static_cast<ssize_t>(size)) {
            state.SkipWithError("the bare export failed");
            break;
        }
    }
    // The imports leave the image holding one of two tables; the floor must make the CSV of
    // whichever it read, byte for byte.
    const std::string_view plain(made.data(), plainTableCsv(pieces, table, made));
    if (!ready && plain != table::tableCsv(image::loadTable(path)->entries,
                                           catalogues::builtInCatalogues(), false)) {
        state.SkipWithError("the bare export made another CSV than the program");
    }
}

// Imports two tables by turns, each changing all 667 entries of the image.
void importTable(benchmark::State &state, const std::string &path,
                 const std::array<std::string, 2> &csvs, platform::FileApi &files)
{
    static std::map<std::string, std::size_t> next;
    for (auto _ : state) {
        std::size_t &turn = next[path];
        turn = 1 - turn;
        if (!runTable({"import", path, csvs[turn]}, files)) {
            state.SkipWithError("the import failed");
            break;
        }
    }
}

// The floor of an import that changes every entry: a save's calls (see bareSave) for all 667
// records, with one read of the table before the writes and one after.
void bareImport(benchmark::State &state, const std::string &path, bool flushed)
{
    std::vector<std::uint8_t> table(kTableBytes);
    for (auto _ : state) {
        const int fd = openChecked(path, O_RDWR, F_WRLCK);
        const bool done = fd >= 0 &&
                          ::pread(fd, table.data(), table.size(), image::kTableOffset) ==
                              static_cast<ssize_t>(table.size()) &&
                          writeRecords(fd, path, table, image::kTableOffset, flushed);
        ::close(fd);
        if (!done) {
            state.SkipWithError("the bare import failed");
            break;
        }
    }
}

void registerTableBenchmarks(const testing::TempDir &folder, const std::string &path,
                             const std::string &size)
{
    static NoFlushFileApi noFlush;
    // A deque, so that the benchmarks of one size keep their files when another size is added.
    static std::deque<std::array<std::string, 2>> imports;
    std::array<std::string, 2> &csvs = imports.emplace_back();
    for (int shift = 0; shift < 2; ++shift) {
        csvs[static_cast<std::size_t>(shift)] =
            folder.file("table" + std::to_string(shift) + size.substr(1) + ".csv");
        std::FILE *file = std::fopen(csvs[static_cast<std::size_t>(shift)].c_str(), "w");
        const std::string text = sampleTableCsv(shift);
        std::fwrite(text.data(), 1, text.size(), file);
        std::fclose(file);
    }
    const auto add = [&](const std::string &name, auto function) {
        benchmark::RegisterBenchmark(name.c_str(), function)->Unit(benchmark::kMicrosecond);
    };
    add("export" + size, [path](benchmark::State &state) { exportTable(state, path, false); });
    add("bare-export" + size, [path](benchmark::State &state) { bareExport(state, path, false); });
    add("import" + size,
        [path, &csvs](benchmark::State &state) { importTable(state, path, csvs, noFlush); });
    add("bare-import" + size, [path](benchmark::State &state) { bareImport(state, path, false); });
    add("import-flush" + size, [path, &csvs](benchmark::State &state) {
        importTable(state, path, csvs, platform::systemFileApi());
    });
    add("bare-import-flush" + size,
        [path](benchmark::State &state) { bareImport(state, path, true); });
    if (size == "/128MiB") {
        add("export-names" + size,
            [path](benchmark::State &state) { exportTable(state, path, true); });
        add("bare-export-ready" + size,
            [path](benchmark::State &state) { bareExport(state, path, true); });
    }
}

// --- diff and name packs ---------------------------------------------------------------------

// One entry in this many differs between the two images of a diff: 21 entries, about what a
// release of a user's version changes.
constexpr int kDiffEvery = 32;

// Makes `path` a sample image in which every kDiffEvery-th entry has one more hp.
bool writeChangedSample(const std::string &path, std::int64_t size)
{
    if (!tools::writeSampleImage(path, size)) {
        return false;
    }
    std::vector<image::EntryUpdate> updates;
    for (const image::RangeInfo &info : image::kRanges) {
        for (int row = 0; row < info.rowCount; ++row) {
            const int record = info.firstRecord + row;
            if (record % kDiffEvery == 0) {
                image::FieldBytes bytes = tools::sampleFieldBytes(record);
                ++bytes[static_cast<std::size_t>(image::Field::hp)];
                updates.push_back({info.range, static_cast<std::int16_t>(row), bytes});
            }
        }
    }
    return image::saveEntries(path, updates).has_value();
}

void diffImages(benchmark::State &state, const std::string &old, const std::string &now)
{
    for (auto _ : state) {
        const std::vector<std::string_view> args{"diff", old, now};
        if (table::runTableTool(args, {nullStream(), nullStream()}) != table::kExitDiffer) {
            state.SkipWithError("the diff failed");
            break;
        }
    }
}

// The floor of a diff: for each image the checked open under the shared lock, one read of the
// table and close, and a look into each folder a name pack may be in.
void bareDiff(benchmark::State &state, const std::string &old, const std::string &now)
{
    const auto folders = catalogues::namePackFolders(catalogues::DataFolders::fromEnvironment());
    std::array<std::vector<std::uint8_t>, 2> tables{std::vector<std::uint8_t>(kTableBytes),
                                                    std::vector<std::uint8_t>(kTableBytes)};
    for (auto _ : state) {
        struct ::stat info
        {
        };
        bool done = true;
        for (const platform::Path &folder : folders) {
            done = done && ::stat(folder.text().c_str(), &info) != 0;
        }
        for (std::size_t i = 0; i < tables.size(); ++i) {
            const int fd = openChecked(i == 0 ? old : now, O_RDONLY, F_RDLCK);
            done = done && fd >= 0 &&
                   ::pread(fd, tables[i].data(), kTableBytes, image::kTableOffset) ==
                       static_cast<ssize_t>(kTableBytes);
            ::close(fd);
        }
        if (!done || tables[0] == tables[1]) {
            state.SkipWithError("the bare diff failed");
            break;
        }
    }
}

// The names a program takes at start: those of the pack given, or with none given, a look
// into the data folders that finds no pack and takes the built-in names.
void chooseNames(benchmark::State &state, const std::optional<platform::Path> &pack,
                 const catalogues::DataFolders &folders)
{
    for (auto _ : state) {
        auto names = catalogues::chooseNames(pack, folders);
        if (!names || names->pack != pack) {
            state.SkipWithError("the names were not the ones expected");
            break;
        }
        benchmark::DoNotOptimize(names);
    }
}

void registerDiffBenchmarks(const std::string &old, const std::string &now, const std::string &size)
{
    const auto add = [&](const std::string &name, auto function) {
        benchmark::RegisterBenchmark(name.c_str(), function)->Unit(benchmark::kMicrosecond);
    };
    add("diff" + size, [old, now](benchmark::State &state) { diffImages(state, old, now); });
    add("bare-diff" + size, [old, now](benchmark::State &state) { bareDiff(state, old, now); });
}

// A pack of all six files, written by stats-table names from the built-in names.
bool registerNamePackBenchmarks(const testing::TempDir &folder)
{
    const std::string pack = folder.file("pack");
    const std::vector<std::string_view> args{"names", pack};
    if (table::runTableTool(args, {nullStream(), nullStream()}) != table::kExitDone) {
        return false;
    }
    // Data folders as a desktop has them, holding no pack.
    const catalogues::DataFolders none{folder.file("data-home"), "",
                                       folder.file("data") + ":/usr/local/share:/usr/share"};
    benchmark::RegisterBenchmark("names/pack", [pack, none](benchmark::State &state) {
        chooseNames(state, platform::Path(pack), none);
    })->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("names/built-in", [none](benchmark::State &state) {
        chooseNames(state, std::nullopt, none);
    })->Unit(benchmark::kMicrosecond);
    return true;
}

void registerBenchmarks(const std::string &path, const char *sizeName)
{
    static NoFlushFileApi noFlush;
    static NoPathStatFileApi noPathStat;
    platform::FileApi &system = platform::systemFileApi();
    const std::string size = std::string("/") + sizeName;
    const auto add = [&](const std::string &name, auto function) {
        benchmark::RegisterBenchmark(name.c_str(), function)->Unit(benchmark::kMicrosecond);
    };
    add("load" + size,
        [path, &system](benchmark::State &state) { loadEntry(state, path, system); });
    add("bare-load" + size, [path](benchmark::State &state) { bareLoad(state, path); });
    add("save" + size, [path](benchmark::State &state) { saveEntry(state, path, noFlush); });
    add("bare-save" + size, [path](benchmark::State &state) { bareSave(state, path, false); });
    add("save-flush" + size,
        [path, &system](benchmark::State &state) { saveEntry(state, path, system); });
    add("bare-save-flush" + size, [path](benchmark::State &state) { bareSave(state, path, true); });
    // Where the gap to the floor lies, on one size: the core without its look-up of the path.
    if (size == "/128MiB") {
        add("load-no-path-stat" + size,
            [path](benchmark::State &state) { loadEntry(state, path, noPathStat); });
        add("save-no-path-stat" + size,
            [path](benchmark::State &state) { saveEntry(state, path, noPathStat); });
    }
}

} // namespace

int main(int argc, char **argv)
{
    // Sparse images in a temporary folder on the disk the user's images would be on; the
    // folder goes when the run ends.
    const testing::TempDir folder;
    for (const auto &size : kSizes) {
        const std::string path = folder.file(std::string("image-") + size.name + ".nds");
        if (const auto written = tools::writeSampleImage(path, size.bytes); !written) {
            std::fprintf(stderr, "%s: %s\n", path.c_str(), written.error().c_str());
            return 1;
        }
        registerBenchmarks(path, size.name);
        // stats-table gets an image of its own, since its imports change every entry.
        const std::string tablePath = folder.file(std::string("table-image-") + size.name + ".nds");
        if (const auto written = tools::writeSampleImage(tablePath, size.bytes); !written) {
            std::fprintf(stderr, "%s: %s\n", tablePath.c_str(), written.error().c_str());
            return 1;
        }
        registerTableBenchmarks(folder, tablePath, std::string("/") + size.name);
        const std::string old = folder.file(std::string("diff-old-") + size.name + ".nds");
        const std::string now = folder.file(std::string("diff-new-") + size.name + ".nds");
        if (!tools::writeSampleImage(old, size.bytes) || !writeChangedSample(now, size.bytes)) {
            std::fprintf(stderr, "%s: the images to compare cannot be written\n", now.c_str());
            return 1;
        }
        registerDiffBenchmarks(old, now, std::string("/") + size.name);
    }
    if (!registerNamePackBenchmarks(folder)) {
        std::fprintf(stderr, "%s: the name pack cannot be written\n", folder.path().c_str());
        return 1;
    }
    return stats::bench::runBenchmarks(argc, argv);
}
