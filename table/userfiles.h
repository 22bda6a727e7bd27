#pragma once

/// @file
/// Opening the files the user names for stats-table to read or make, as descriptors that
/// read(2) and write(2) take; one file per system (userfiles_posix.cpp, userfiles_windows.cpp).

#include <expected>
#include <filesystem>
#include <string>

namespace stats::table {

/// Opens the file at @p path (UTF-8) to read it to its end; a FIFO is waited for, as a shell
/// would. A descriptor, or the system's code for image::osReason().
[[nodiscard]] std::expected<int, int> openToRead(const std::string &path);

/// Makes a new file at @p path to write; an existing file is never opened. A descriptor, or
/// the system's code for image::osReason().
[[nodiscard]] std::expected<int, int> createNewFile(const std::filesystem::path &path);

/// Removes the file at @p path that createNewFile() made, as far as the system lets it.
void removeNewFile(const std::filesystem::path &path);

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

} // namespace stats::table
