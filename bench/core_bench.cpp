// Loading and saving one entry on images of real cartridge sizes, each beside the bare system
// calls it cannot do without: the editor's cost must sit near that floor and must not grow
// with the image.

#include "bench/figurereporter.h"
#include "image/imagefile.h"
#include "image/numbertext.h"
#include "image/statstable.h"
#include "sample-image/sampleimage.h"
#include "support/tempimage.h"

#include <benchmark/benchmark.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
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
class NoFlushFileApi : public image::FileApi
{
public:
    int fdatasync(int) override { return 0; }
};

// The system's calls without the look-up of the path before the open: the type check is left
// to the fstat() after the open, which the core makes anyway. This is what a load and a save
// would cost if the core opened the file first (saves without the flush, as above).
class NoPathStatFileApi : public NoFlushFileApi
{
public:
    int stat(const char *, struct ::stat *info) override
    {
        *info = {};
        info->st_mode = S_IFREG;
        return 0;
    }
};

// The fields as the window hands them over, holding the record's own bytes, so that every
// save writes what the image already holds.
image::EditorInput unchangedInput()
{
    const int record = image::rangeInfo(Range::List1).firstRecord + kRow;
    const auto bytes = tools::sampleFieldBytes(record);
    image::EditorInput input;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        input[i] = {image::numberText(bytes[i]), bytes[i]};
    }
    return input;
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

void loadEntry(benchmark::State &state, const std::string &path, image::FileApi &files)
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

// The floor of a load: open, one read of the record's 27 bytes, close.
void bareLoad(benchmark::State &state, const std::string &path)
{
    const auto offset = static_cast<off_t>(recordOffset());
    std::array<std::uint8_t, image::kRecordSpan> record{};
    for (auto _ : state) {
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        const ssize_t got = ::pread(fd, record.data(), record.size(), offset);
        ::close(fd);
        if (got != static_cast<ssize_t>(record.size())) {
            state.SkipWithError("the bare read failed");
            break;
        }
        benchmark::DoNotOptimize(record);
    }
}

// The very calls a load makes, done bare: what the core adds to them is its own cost.
void bareCheckedLoad(benchmark::State &state, const std::string &path)
{
    const auto offset = static_cast<off_t>(recordOffset());
    std::array<std::uint8_t, 4> code{};
    std::array<std::uint8_t, image::kRecordSpan> record{};
    for (auto _ : state) {
        struct ::stat info
        {
        };
        bool done = ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
        const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        done = done && ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
        done = done && ::pread(fd, code.data(), code.size(), image::kGameCodeOffset) == 4;
        done = done && ::pread(fd, record.data(), record.size(), offset) ==
                           static_cast<ssize_t>(record.size());
        ::close(fd);
        if (!done) {
            state.SkipWithError("the bare checked read failed");
            break;
        }
        benchmark::DoNotOptimize(record);
    }
}

void saveEntry(benchmark::State &state, const std::string &path, image::FileApi &files)
{
    const auto input = unchangedInput();
    for (auto _ : state) {
        const auto saved = image::saveEntry(path, Range::List1, kRow, input, files);
        if (!saved) {
            state.SkipWithError("the save failed");
            break;
        }
    }
}

// The floor of a save: open for writing, the read of the old record that a failed write
// needs to put it back, one write per run of field bytes, the flush if asked, close.
void bareSave(benchmark::State &state, const std::string &path, bool flushed)
{
    const auto offset = static_cast<off_t>(recordOffset());
    const auto runs = fieldRuns();
    std::array<std::uint8_t, image::kRecordSpan> record{};
    for (auto _ : state) {
        const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
        bool done = ::pread(fd, record.data(), record.size(), offset) ==
                    static_cast<ssize_t>(record.size());
        for (const ByteRun &run : runs) {
            done = done &&
                   ::pwrite(fd, record.data() + run.offset, static_cast<std::size_t>(run.length),
                            offset + run.offset) == run.length;
        }
        done = done && (!flushed || ::fdatasync(fd) == 0);
        ::close(fd);
        if (!done) {
            state.SkipWithError("the bare save failed");
            break;
        }
    }
}

void registerBenchmarks(const std::string &path, const char *sizeName)
{
    static NoFlushFileApi noFlush;
    static NoPathStatFileApi noPathStat;
    image::FileApi &system = image::systemFileApi();
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
    // Where the gap to the floor lies, on one size: the same calls done bare, and the core
    // without its look-up of the path.
    if (size == "/128MiB") {
        add("bare-checked-load" + size,
            [path](benchmark::State &state) { bareCheckedLoad(state, path); });
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
            std::fprintf(stderr, "%s: %s\n", path.c_str(), std::strerror(written.error()));
            return 1;
        }
        registerBenchmarks(path, size.name);
    }
    return stats::bench::runBenchmarks(argc, argv);
}
