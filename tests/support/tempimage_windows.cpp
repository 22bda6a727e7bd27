#include "tempimage.h"

// The Windows side of the fixtures. Paths are UTF-8 and go to the system as UTF-16.

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>

namespace stats::testing {

namespace {

std::filesystem::path pathOf(const std::string &path)
{
    return std::filesystem::path(std::u8string(path.begin(), path.end()));
}

} // namespace

TempDir::TempDir()
{
    const std::filesystem::path base = std::filesystem::temp_directory_path();
    std::random_device seed;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::filesystem::path candidate = base / ("stats-test-" + std::to_string(seed()));
        std::error_code error;
        if (std::filesystem::create_directory(candidate, error)) {
            const std::u8string text = candidate.generic_u8string();
            m_path.assign(text.begin(), text.end());
            return;
        }
    }
    std::fprintf(stderr, "no temporary folder could be made in %s\n", base.string().c_str());
    std::abort();
}

bool writeFile(const std::string &path, const std::vector<std::uint8_t> &bytes)
{
    if (std::filesystem::exists(pathOf(path))) {
        std::fprintf(stderr, "%s: exists\n", path.c_str());
        return false;
    }
    std::ofstream file(pathOf(path), std::ios::binary);
    file.write(reinterpret_cast<const char *>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    file.close();
    return !file.fail();
}

Snapshot snapshotOf(const std::string &path)
{
    Snapshot snapshot;
    std::ifstream file(pathOf(path), std::ios::binary);
    if (!file) {
        return snapshot;
    }
    std::vector<char> buffer(std::size_t{1} << 16);
    std::int64_t offset = 0;
    while (file) {
        file.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
        const auto got = static_cast<std::size_t>(file.gcount());
        for (std::size_t i = 0; i < got; ++i) {
            if (buffer[i] != 0) {
                snapshot.nonZero[offset + static_cast<std::int64_t>(i)] =
                    static_cast<std::uint8_t>(buffer[i]);
            }
        }
        offset += static_cast<std::int64_t>(got);
    }
    snapshot.size = offset;
    return snapshot;
}

std::vector<std::uint8_t> readBytes(const std::string &path, std::int64_t offset, std::size_t count)
{
    std::vector<std::uint8_t> bytes(count);
    std::ifstream file(pathOf(path), std::ios::binary);
    file.seekg(offset);
    file.read(reinterpret_cast<char *>(bytes.data()), static_cast<std::streamsize>(count));
    if (!file || static_cast<std::size_t>(file.gcount()) != count) {
        bytes.clear();
    }
    return bytes;
}

int openDescriptorCount()
{
    DWORD count = 0;
    ::GetProcessHandleCount(::GetCurrentProcess(), &count);
    return static_cast<int>(count);
}

} // namespace stats::testing
