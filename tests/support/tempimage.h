#pragma once

// Fixtures for the tests: a temporary folder that cleans up after itself, sample images in
// it, and snapshots that compare whole files without reading their holes byte by byte.

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace stats::testing {

class TempDir
{
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;

    [[nodiscard]] const std::string &path() const { return m_path; }
    [[nodiscard]] std::string file(const std::string &name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

/// Writes a sample image at @p path of the smallest size that holds the table, or the given
/// size; false (and a line on stderr) when it cannot.
[[nodiscard]] bool makeSampleImage(const std::string &path, std::int64_t size = 0);

/// Writes @p bytes as a new file.
[[nodiscard]] bool writeFile(const std::string &path, const std::vector<std::uint8_t> &bytes);

/// The whole content of a file: its size and every byte that is not zero (size -1 when the
/// file cannot be read).
struct Snapshot
{
    std::int64_t size = -1;
    std::map<std::int64_t, std::uint8_t> nonZero;
    bool operator==(const Snapshot &) const = default;
};

[[nodiscard]] Snapshot snapshotOf(const std::string &path);

/// The offsets at which two snapshots of the same size differ.
[[nodiscard]] std::vector<std::int64_t> differingOffsets(const Snapshot &before,
                                                         const Snapshot &after);

/// Reads @p count bytes at @p offset; empty when it cannot.
[[nodiscard]] std::vector<std::uint8_t> readBytes(const std::string &path, std::int64_t offset,
                                                  std::size_t count);

/// Number of descriptors this process has open.
[[nodiscard]] int openDescriptorCount();

} // namespace stats::testing
