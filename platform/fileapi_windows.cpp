#include "platform/fileapi.h"

#include "platform/text.h"

#include <windows.h>

#include <algorithm>
#include <string>
#include <utility>

namespace stats::platform {

namespace {

// Our programs' lock is a byte range far past the end of any image, as a Windows lock is
// mandatory: a range over the data would make other programs' reads of those bytes fail. No
// program reads there, so only our own opens see the lock.
constexpr std::int64_t kLockOffset = std::int64_t{1} << 62;

// ReadFile and WriteFile take a 32-bit count; the rest of a larger request is a short read or
// write, which the callers go on after.
constexpr std::size_t kLargestTransfer = std::size_t{1} << 30;

std::unexpected<SystemError> failure(DWORD code)
{
    const Fault fault = code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND
                            ? Fault::NotFound
                        : code == ERROR_LOCK_VIOLATION ? Fault::LockHeld
                                                       : Fault::Other;
    return std::unexpected(SystemError{fault, static_cast<OsError>(code)});
}

std::unexpected<SystemError> lastError()
{
    return failure(::GetLastError());
}

HANDLE handleOf(NativeFile file)
{
    return reinterpret_cast<HANDLE>(file);
}

OVERLAPPED at(std::int64_t offset)
{
    OVERLAPPED place{};
    const auto position = static_cast<std::uint64_t>(offset);
    place.Offset = static_cast<DWORD>(position & 0xFFFFFFFFU);
    place.OffsetHigh = static_cast<DWORD>(position >> 32U);
    return place;
}

// The system takes paths in UTF-16; ours are UTF-8 everywhere else, so a name in any script
// opens. Bytes that are not UTF-8 are refused rather than guessed at.
SystemResult<std::wstring> widePath(const std::string &path)
{
    if (path.empty()) {
        return failure(ERROR_PATH_NOT_FOUND);
    }
    auto wide = toUtf16(path);
    if (!wide) {
        return failure(ERROR_NO_UNICODE_TRANSLATION);
    }
    return std::move(*wide);
}

SystemResult<HANDLE> openExisting(const std::string &path, DWORD access, DWORD flags)
{
    const auto wide = widePath(path);
    if (!wide) {
        return std::unexpected(wide.error());
    }
    // Every kind of sharing, so that the editor holding an image open keeps no other program
    // from reading, writing, renaming or deleting it, as on POSIX; a file replaced meanwhile
    // is caught by its identity. OPEN_EXISTING never creates one.
    const HANDLE handle =
        ::CreateFileW(wide->c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                      nullptr, OPEN_EXISTING, flags, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return lastError();
    }
    return handle;
}

SystemResult<FileStatus> statusOf(HANDLE handle)
{
    BY_HANDLE_FILE_INFORMATION info{};
    const DWORD kind = ::GetFileType(handle);
    if (kind != FILE_TYPE_DISK) {
        // A console, a pipe or a device: no file on a volume, so no identity and no size.
        if (kind == FILE_TYPE_UNKNOWN && ::GetLastError() != NO_ERROR) {
            return lastError();
        }
        return FileStatus{FileType::Other, 0, {}};
    }
    if (::GetFileInformationByHandle(handle, &info) == 0) {
        return lastError();
    }
    const FileType type = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0
                              ? FileType::Folder
                              : FileType::Regular;
    const std::int64_t size = (static_cast<std::int64_t>(info.nFileSizeHigh) << 32) |
                              static_cast<std::int64_t>(info.nFileSizeLow);
    const std::uint64_t index = (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32U) |
                                static_cast<std::uint64_t>(info.nFileIndexLow);
    return FileStatus{type, size, FileIdentity{info.dwVolumeSerialNumber, index}};
}

} // namespace

SystemResult<FileStatus> FileApi::status(const std::string &path)
{
    // No access asked for, so a program that shares nothing cannot make this fail; backup
    // semantics let a folder be opened too, to be told apart from a file.
    const auto handle = openExisting(path, 0, FILE_FLAG_BACKUP_SEMANTICS);
    if (!handle) {
        return std::unexpected(handle.error());
    }
    // A file deleted while another program holds it open keeps its name until the last
    // handle goes, but it is no longer there for anyone who looks: a save must not go into it.
    FILE_STANDARD_INFO standard{};
    const bool deleted = ::GetFileInformationByHandleEx(*handle, FileStandardInfo, &standard,
                                                        sizeof(standard)) != 0 &&
                         standard.DeletePending != 0;
    auto info = deleted ? failure(ERROR_FILE_NOT_FOUND) : statusOf(*handle);
    ::CloseHandle(*handle);
    return info;
}

SystemResult<NativeFile> FileApi::open(const std::string &path, Access access)
{
    DWORD rights = 0;
    switch (access) {
    case Access::Read:
        rights = GENERIC_READ;
        break;
    case Access::ReadWrite:
        rights = GENERIC_READ | GENERIC_WRITE;
        break;
    }
    // Handles are not inherited unless asked for, so no child process keeps the image open.
    const auto handle = openExisting(path, rights, FILE_ATTRIBUTE_NORMAL);
    if (!handle) {
        return std::unexpected(handle.error());
    }
    return reinterpret_cast<NativeFile>(*handle);
}

SystemResult<FileStatus> FileApi::status(NativeFile file)
{
    return statusOf(handleOf(file));
}

SystemResult<std::size_t> FileApi::read(NativeFile file, void *buffer, std::size_t count,
                                        std::int64_t offset)
{
    OVERLAPPED place = at(offset);
    DWORD got = 0;
    const auto wanted = static_cast<DWORD>(std::min(count, kLargestTransfer));
    if (::ReadFile(handleOf(file), buffer, wanted, &got, &place) == 0) {
        // A read at an offset past the end is the end of the file, not a fault.
        if (::GetLastError() == ERROR_HANDLE_EOF) {
            return 0;
        }
        return lastError();
    }
    return static_cast<std::size_t>(got);
}

SystemResult<std::size_t> FileApi::write(NativeFile file, const void *buffer, std::size_t count,
                                         std::int64_t offset)
{
    // A write past the end would extend the file; no save means to, so it is refused here
    // as well as in the logic that asks for it.
    LARGE_INTEGER size{};
    if (::GetFileSizeEx(handleOf(file), &size) == 0) {
        return lastError();
    }
    if (offset < 0 || offset > size.QuadPart ||
        static_cast<std::int64_t>(count) > size.QuadPart - offset) {
        return failure(ERROR_HANDLE_EOF);
    }
    OVERLAPPED place = at(offset);
    DWORD put = 0;
    const auto wanted = static_cast<DWORD>(std::min(count, kLargestTransfer));
    if (::WriteFile(handleOf(file), buffer, wanted, &put, &place) == 0) {
        return lastError();
    }
    if (put == 0 && count != 0) {
        // A write that puts nothing makes no progress; retrying would spin.
        return failure(ERROR_WRITE_FAULT);
    }
    return static_cast<std::size_t>(put);
}

SystemResult<void> FileApi::flush(NativeFile file)
{
    if (::FlushFileBuffers(handleOf(file)) == 0) {
        return lastError();
    }
    return {};
}

SystemResult<void> FileApi::tryLock(NativeFile file, LockKind kind)
{
    DWORD flags = LOCKFILE_FAIL_IMMEDIATELY;
    switch (kind) {
    case LockKind::Shared:
        break;
    case LockKind::Exclusive:
        flags |= LOCKFILE_EXCLUSIVE_LOCK;
        break;
    }
    OVERLAPPED place = at(kLockOffset);
    if (::LockFileEx(handleOf(file), flags, 0, 1, 0, &place) == 0) {
        const DWORD code = ::GetLastError();
        // A lock that another open holds; a synchronous handle never leaves it pending.
        if (code == ERROR_LOCK_VIOLATION || code == ERROR_IO_PENDING) {
            return std::unexpected(SystemError{Fault::LockHeld, static_cast<OsError>(code)});
        }
        return failure(code);
    }
    return {};
}

SystemResult<void> FileApi::close(NativeFile file)
{
    // The system lets go of the handle's lock with the handle.
    if (::CloseHandle(handleOf(file)) == 0) {
        return lastError();
    }
    return {};
}

std::string osReason(OsError code)
{
    // The system's own text says only "used by another process"; what to do about it is ours.
    if (code == ERROR_SHARING_VIOLATION) {
        return "another program has the file open and lets no other program use it; close it "
               "there and try again";
    }
    wchar_t *text = nullptr;
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<wchar_t *>(&text), 0, nullptr);
    std::string reason =
        toUtf8(std::wstring_view(text, length == 0 ? 0 : length)).value_or(std::string());
    ::LocalFree(text);
    // The system ends its texts with a full stop and a line end; ours go on after the reason.
    while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r' ||
                               reason.back() == '.' || reason.back() == ' ')) {
        reason.pop_back();
    }
    if (reason.empty()) {
        return "system error " + std::to_string(code);
    }
    return reason;
}

} // namespace stats::platform
