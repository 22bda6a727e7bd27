#include "table/outputfile.h"

#include "platform/writeall.h"

#include <windows.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <random>
#include <utility>

// The files the user names for a CSV, on Windows: a file is replaced through a new file beside
// it and MoveFileExW, and the other places a CSV may go are the NUL device, the console and
// pipes, known by their names.

namespace stats::table {

namespace {

using Written = std::expected<void, std::string>;

std::filesystem::path pathOf(const std::string &path)
{
    return std::filesystem::path(std::u8string(path.begin(), path.end()));
}

std::string upperCase(std::string text)
{
    std::ranges::transform(text, text.begin(),
                           [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return text;
}

// Where a CSV may be written as a stream: NUL, the console, or a named pipe. Other devices
// are never opened, as opening some of them (a serial line) already does something.
bool isNullConsoleOrPipe(const std::string &path)
{
    std::string name = upperCase(path);
    std::ranges::replace(name, '/', '\\');
    if (name.starts_with("\\\\.\\PIPE\\")) {
        return true;
    }
    name = name.substr(std::min(name.find_last_of("\\:") + 1, name.size()));
    return name == "NUL" || name == "CON" || name == "CONOUT$";
}

class Handle
{
public:
    explicit Handle(HANDLE handle) : m_handle(handle) {}
    Handle(const Handle &) = delete;
    Handle &operator=(const Handle &) = delete;
    ~Handle() { static_cast<void>(closeNow()); }
    [[nodiscard]] HANDLE get() const { return m_handle; }
    [[nodiscard]] bool closeNow()
    {
        return m_handle == INVALID_HANDLE_VALUE ||
               ::CloseHandle(std::exchange(m_handle, INVALID_HANDLE_VALUE)) != 0;
    }

private:
    HANDLE m_handle;
};

bool writeAll(HANDLE handle, std::string_view bytes)
{
    const auto writeSome = [handle](std::span<const char> rest,
                                    std::size_t /*done*/) -> std::expected<std::size_t, DWORD> {
        DWORD put = 0;
        const auto wanted = static_cast<DWORD>(std::min<std::size_t>(rest.size(), 1U << 30));
        if (::WriteFile(handle, rest.data(), wanted, &put, nullptr) == 0) {
            return std::unexpected(::GetLastError());
        }
        return std::size_t{put};
    };
    const auto written = platform::writeAll(std::span(bytes), writeSome, DWORD{ERROR_WRITE_FAULT});
    if (!written) {
        ::SetLastError(written.error());
    }
    return written.has_value();
}

int lastError()
{
    return static_cast<int>(::GetLastError());
}

// A new file with an unused name beside `target`, hidden as the dot names are on POSIX.
std::expected<std::pair<HANDLE, std::filesystem::path>, int>
makeTemporary(const std::filesystem::path &target)
{
    constexpr std::string_view kLetters = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::random_device random;
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name = ".stats-table.";
        std::size_t bits = (std::size_t{random()} << 32U) | random();
        for (int i = 0; i < 6; ++i, bits /= kLetters.size()) {
            name += kLetters[bits % kLetters.size()];
        }
        std::filesystem::path path = target.parent_path() / name;
        const HANDLE handle = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                            FILE_ATTRIBUTE_HIDDEN, nullptr);
        if (handle != INVALID_HANDLE_VALUE) {
            return std::pair{handle, std::move(path)};
        }
        if (::GetLastError() != ERROR_FILE_EXISTS) {
            return std::unexpected(lastError());
        }
    }
    return std::unexpected(static_cast<int>(ERROR_FILE_EXISTS));
}

} // namespace

// A running export holds its temporary file open without sharing it, so the system refuses to
// delete it; the handle of a killed one is gone, and so the file goes.
void removeIfAbandoned(const std::filesystem::path &path)
{
    ::DeleteFileW(path.c_str());
}

namespace {

// Writes the CSV into a new file beside the target and moves it over the target only once
// it is whole and on the disk, so that a failed export leaves the old file as it was.
Written writeByRename(const std::string &path, std::string_view csv,
                      std::optional<platform::FileIdentity> existing, platform::FileApi &files)
{
    const std::filesystem::path target = std::filesystem::absolute(pathOf(path));
    removeAbandonedTemporaries(target.parent_path());
    auto made = makeTemporary(target);
    if (!made) {
        return std::unexpected("a new file cannot be made in its folder: " +
                               systemReason(made.error()));
    }
    Handle file(made->first);
    const std::filesystem::path &temporary = made->second;
    const auto fail = [&](const std::string &problem) {
        static_cast<void>(file.closeNow());
        ::DeleteFileW(temporary.c_str());
        return std::unexpected(problem +
                               (existing ? "; the file is as it was" : "; no file was made"));
    };
    if (!writeAll(file.get(), csv) || ::FlushFileBuffers(file.get()) == 0 || !file.closeNow()) {
        return fail("writing the CSV failed: " + systemReason(lastError()));
    }
    files.reached(platform::SaveStep::TemporaryWritten, 0);
    // The hidden mark was for the time the file was incomplete.
    ::SetFileAttributesW(temporary.c_str(), FILE_ATTRIBUTE_NORMAL);
    DWORD flags = MOVEFILE_WRITE_THROUGH;
    if (existing) {
        const auto now = files.status(path);
        if (!now || now->identity != *existing) {
            return fail("it was replaced by another file while the CSV was written");
        }
        flags |= MOVEFILE_REPLACE_EXISTING;
    }
    // Without MOVEFILE_REPLACE_EXISTING, a file that appeared at the path meanwhile is not
    // replaced unseen.
    if (::MoveFileExW(temporary.c_str(), target.c_str(), flags) == 0) {
        return fail("the CSV cannot be put in place: " + systemReason(lastError()));
    }
    return {};
}

// NUL, the console or a pipe: written as it is, as nothing can be replaced there.
Written writeStream(const std::string &path, std::string_view csv)
{
    Handle file(::CreateFileW(pathOf(path).c_str(), GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file.get() == INVALID_HANDLE_VALUE) {
        return std::unexpected("it cannot be opened for writing: " + systemReason(lastError()));
    }
    if (!writeAll(file.get(), csv) || !file.closeNow()) {
        return std::unexpected("writing the CSV failed: " + systemReason(lastError()));
    }
    return {};
}

} // namespace

Written writeOutputFile(const std::string &path, std::string_view csv,
                        platform::FileIdentity imageFile, platform::FileApi &files)
{
    if (isNullConsoleOrPipe(path)) {
        return writeStream(path, csv);
    }
    const auto info = files.status(path);
    if (!info) {
        if (info.error().fault != platform::Fault::NotFound) {
            return std::unexpected("it cannot be looked at: " + systemReason(info.error().code));
        }
        return writeByRename(path, csv, std::nullopt, files);
    }
    if (info->identity == imageFile) {
        return std::unexpected("it is the image itself; the CSV is never written over the image");
    }
    switch (info->type) {
    case platform::FileType::Regular:
        if (auto problem = imageRisk(path, files); !problem.empty()) {
            return std::unexpected(problem);
        }
        // A read-only file is refused by the move itself, as the system refuses to write it.
        return writeByRename(path, csv, info->identity, files);
    case platform::FileType::Folder:
    case platform::FileType::Other:
        break;
    }
    return std::unexpected("it is a folder, a disk or another device; the CSV goes only to a "
                           "file, a pipe, the console or NUL");
}

} // namespace stats::table
