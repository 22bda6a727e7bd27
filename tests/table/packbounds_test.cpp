// A name pack is read in bounded memory whatever it holds: the real program in a process of its
// own, under a memory limit, as a user's start would meet a hostile pack.

#include "catalogues/files/cataloguefiles.h"
#include "support/tempimage.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

std::string fileText(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(NamePackBounds, EveryFaultyPackIsRefusedInBoundedMemory)
{
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the sanitizers reserve more address space than the limit";
#endif
    const stats::testing::TempDir dir;
    // Every fault names its file, so a long folder path multiplies what each one costs.
    fs::path pack = dir.path();
    while (pack.native().size() < 3500) {
        pack /= std::string(200, 'd');
    }
    fs::create_directories(pack);
    const struct
    {
        std::size_t size;
        const char *message;
    } cases[] = {
        {std::size_t{1} << 20, "bytes long, larger than the"},      // past every list's longest
        {std::size_t{1} << 16, "is empty; every row needs a text"}, // a fault on every line
    };
    for (const auto &[size, message] : cases) {
        for (const auto &file : stats::catalogues::kCatalogueFiles) {
            std::ofstream(pack / file.fileName, std::ios::binary) << std::string(size, '\n');
        }
        const std::string err = dir.file("err.txt");
        const pid_t child = ::fork();
        if (child == 0) {
            const rlimit limit{rlim_t{512} << 20, rlim_t{512} << 20};
            ::setrlimit(RLIMIT_AS, &limit);
            ::freopen(err.c_str(), "w", stderr);
            ::execl(STATS_TABLE_PATH, "stats-table", "names", dir.file("out").c_str(),
                    "--name-pack", pack.c_str(), nullptr);
            ::_exit(127);
        }
        int status = 0;
        rusage usage{};
        ASSERT_EQ(::wait4(child, &status, 0, &usage), child);
        const std::string report = fileText(err);
        ASSERT_TRUE(WIFEXITED(status)) << message;
        EXPECT_EQ(WEXITSTATUS(status), 1) << message;
        EXPECT_LT(usage.ru_maxrss, 64 * 1024) << message;
        EXPECT_NE(report.find(message), std::string::npos) << report.substr(0, 500);
        EXPECT_LE(std::count(report.begin(), report.end(), '\n'), 102) << message;
    }
}

} // namespace
