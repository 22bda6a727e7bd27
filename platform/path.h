#pragma once

/// @file
/// The one path type of the programs: the text the user gave or the system listed, in UTF-8,
/// as every message, CSV and argument holds it. The system calls take it in their own form
/// (bytes on Linux, UTF-16 on Windows); each system's file converts it at its calls.

#include <filesystem>
#include <string>
#include <string_view>
#include <utility>

namespace stats::platform {

class Path
{
public:
    Path() = default;
    // Implicit: every path the programs hold is already this text.
    Path(std::string utf8) : m_text(std::move(utf8)) {} // NOLINT(google-explicit-constructor)
    Path(std::string_view utf8) : m_text(utf8) {}       // NOLINT(google-explicit-constructor)
    Path(const char *utf8) : m_text(utf8) {}            // NOLINT(google-explicit-constructor)

    /// As std::filesystem names the same file, for its folder walks.
    [[nodiscard]] static Path fromFilesystem(const std::filesystem::path &path)
    {
        const std::u8string text = path.u8string();
        return Path(std::string(text.begin(), text.end()));
    }

    /// The UTF-8 text: what a message shows and what the calls are given.
    [[nodiscard]] const std::string &text() const noexcept { return m_text; }
    [[nodiscard]] bool empty() const noexcept { return m_text.empty(); }

    /// The same path for std::filesystem, which takes it in the system's own form.
    [[nodiscard]] std::filesystem::path filesystem() const
    {
        return {std::u8string(m_text.begin(), m_text.end())};
    }

    /// The folder the path names a file in: "." for a bare name. The system's own separators
    /// count, so "C:\x\a.csv" is in "C:\x" on Windows and a name with a backslash stays one
    /// name on Linux.
    [[nodiscard]] Path folder() const
    {
        const std::filesystem::path parent = filesystem().parent_path();
        return parent.empty() ? Path(".") : fromFilesystem(parent);
    }

    /// The file @p name in this folder.
    [[nodiscard]] Path operator/(std::string_view name) const
    {
        return fromFilesystem(filesystem() / std::u8string(name.begin(), name.end()));
    }

    bool operator==(const Path &) const = default;

private:
    std::string m_text;
};

} // namespace stats::platform
