#pragma once

/// @file
/// Opening the files the user names to read or make, as descriptors that read(2) and write(2)
/// take, and reading or writing them whole. The opens are one file per system
/// (userfiles_posix.cpp, userfiles_windows.cpp); the whole reads and writes, on calls that
/// every system's C library has, are shared (userfiles.cpp).

#include <cstddef>
#include <expected>
#include <filesystem>
#include <string>
#include <string_view>

namespace stats::platform {

/// Opens the file at @p path (UTF-8) to read it to its end; a FIFO is waited for, as a shell
/// would. A descriptor, or the system's code for platform::osReason().
[[nodiscard]] std::expected<int, int> openToRead(const std::string &path);

/// Makes a new file at @p path to write; an existing file is never opened. A descriptor, or
/// the system's code for platform::osReason().
[[nodiscard]] std::expected<int, int> createNewFile(const std::filesystem::path &path);

/// Removes the file at @p path that createNewFile() made, as far as the system lets it.
void removeNewFile(const std::filesystem::path &path);

/// Writes all of @p bytes to @p fd; false with errno set when it cannot.
[[nodiscard]] bool writeAll(int fd, std::string_view bytes);

/// Why a whole read stopped: the system's code, or 0 when the text grew past its limit.
struct ReadFailure
{
    int code = 0;
};

/// Reads the whole of an open file or pipe, refusing one larger than @p limit bytes.
[[nodiscard]] std::expected<std::string, ReadFailure> readAll(int fd, std::size_t limit);

/// A descriptor of the two calls above, closed on every path out of the scope that owns it.
class Descriptor
{
public:
    explicit Descriptor(int fd) noexcept : m_fd(fd) {}
    Descriptor(const Descriptor &) = delete;
    Descriptor &operator=(const Descriptor &) = delete;
    ~Descriptor() { static_cast<void>(closeNow()); }

    /// Closes at once: false, with errno set, when the close failed.
    [[nodiscard]] bool closeNow() noexcept;

private:
    int m_fd;
};

} // namespace stats::platform
