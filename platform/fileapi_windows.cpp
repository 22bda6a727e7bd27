#include "platform/fileapi.h"

#include "platform/text.h"

#include <windows.h>

#include <io.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
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
                        : code == ERROR_LOCK_VIOLATION    ? Fault::LockHeld
                        : code == ERROR_SHARING_VIOLATION ? Fault::InUse
                        : code == ERROR_FILE_EXISTS || code == ERROR_ALREADY_EXISTS ? Fault::Exists
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
SystemResult<std::wstring> widePath(const Path &path)
{
    if (path.empty()) {
        return failure(ERROR_PATH_NOT_FOUND);
    }
    auto wide = toUtf16(path.text());
    if (!wide) {
        return failure(ERROR_NO_UNICODE_TRANSLATION);
    }
    return std::move(*wide);
}

SystemResult<HANDLE> openExisting(const Path &path, DWORD access, DWORD flags)
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
        return FileStatus{kind == FILE_TYPE_CHAR || kind == FILE_TYPE_PIPE ? FileType::Stream
                                                                           : FileType::Other,
                          0,
                          {}};
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

std::string upperCase(std::string text)
{
    std::ranges::transform(text, text.begin(),
                           [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return text;
}

// NUL, the console or a named pipe, known by name: opening a pipe only to look at it would
// take one of its instances, and the console's names reach no file.
bool isNullConsoleOrPipe(const Path &path)
{
    std::string name = upperCase(path.text());
    std::ranges::replace(name, '/', '\\');
    if (name.starts_with("\\\\.\\PIPE\\")) {
        return true;
    }
    name = name.substr(std::min(name.find_last_of("\\:") + 1, name.size()));
    return name == "NUL" || name == "CON" || name == "CONOUT$" || name == "CONIN$";
}

SystemResult<std::size_t> transferred(BOOL done, DWORD count)
{
    if (done == 0) {
        // The writer of a pipe has closed it: the end of what it sends.
        if (::GetLastError() == ERROR_BROKEN_PIPE || ::GetLastError() == ERROR_HANDLE_EOF) {
            return 0;
        }
        return lastError();
    }
    return static_cast<std::size_t>(count);
}

} // namespace

SystemResult<FileStatus> FileApi::status(const Path &path)
{
    if (isNullConsoleOrPipe(path)) {
        return FileStatus{FileType::Stream, 0, {}};
    }
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

SystemResult<NativeFile> FileApi::open(const Path &path, Access access)
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

SystemResult<NativeFile> FileApi::create(const Path &path, NewFile kind)
{
    const auto wide = widePath(path);
    if (!wide) {
        return std::unexpected(wide.error());
    }
    // A temporary file is hidden while it is incomplete, and shared with no other open but
    // a delete: another export finds it held (a sharing violation), and an interrupt can
    // still remove it.
    DWORD share = 0;
    DWORD attributes = FILE_ATTRIBUTE_NORMAL;
    switch (kind) {
    case NewFile::Finished:
        break;
    case NewFile::Temporary:
        share = FILE_SHARE_DELETE;
        attributes = FILE_ATTRIBUTE_HIDDEN;
        break;
    }
    const HANDLE handle = ::CreateFileW(wide->c_str(), GENERIC_WRITE, share, nullptr, CREATE_NEW,
                                        attributes, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return lastError();
    }
    return reinterpret_cast<NativeFile>(handle);
}

SystemResult<NativeFile> FileApi::openStream(const Path &path, Direction direction)
{
    const auto wide = widePath(path);
    if (!wide) {
        return std::unexpected(wide.error());
    }
    const DWORD rights = direction == Direction::Read ? GENERIC_READ : GENERIC_WRITE;
    const HANDLE handle = ::CreateFileW(wide->c_str(), rights, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return lastError();
    }
    return reinterpret_cast<NativeFile>(handle);
}

SystemResult<std::size_t> FileApi::readNext(NativeFile file, void *buffer, std::size_t count)
{
    DWORD got = 0;
    const auto wanted = static_cast<DWORD>(std::min(count, kLargestTransfer));
    const BOOL done = ::ReadFile(handleOf(file), buffer, wanted, &got, nullptr);
    return transferred(done, got);
}

SystemResult<std::size_t> FileApi::writeNext(NativeFile file, const void *buffer, std::size_t count)
{
    DWORD put = 0;
    const auto wanted = static_cast<DWORD>(std::min(count, kLargestTransfer));
    if (::WriteFile(handleOf(file), buffer, wanted, &put, nullptr) == 0) {
        return lastError();
    }
    if (put == 0 && count != 0) {
        return failure(ERROR_WRITE_FAULT);
    }
    return static_cast<std::size_t>(put);
}

SystemResult<void> FileApi::setSize(NativeFile file, std::int64_t size)
{
    FILE_END_OF_FILE_INFO end{};
    end.EndOfFile.QuadPart = size;
    if (::SetFileInformationByHandle(handleOf(file), FileEndOfFileInfo, &end, sizeof(end)) == 0) {
        return lastError();
    }
    return {};
}

SystemResult<void> FileApi::keepPermissions(NativeFile file, const FileStatus &replaced)
{
    // A new file takes the permissions of its folder, as the one it replaces did.
    static_cast<void>(file);
    static_cast<void>(replaced);
    return {};
}

SystemResult<void> FileApi::mayWrite(const Path &path)
{
    const auto wide = widePath(path);
    if (!wide) {
        return std::unexpected(wide.error());
    }
    const DWORD attributes = ::GetFileAttributesW(wide->c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        return lastError();
    }
    // The read-only mark is what the system refuses a write for before any permission.
    if ((attributes & FILE_ATTRIBUTE_READONLY) != 0) {
        return failure(ERROR_ACCESS_DENIED);
    }
    return {};
}

SystemResult<Path> FileApi::finalPath(const Path &path)
{
    const auto handle = openExisting(path, 0, FILE_FLAG_BACKUP_SEMANTICS);
    if (!handle) {
        return std::unexpected(handle.error());
    }
    std::wstring final(MAX_PATH, L'\0');
    DWORD length = 0;
    for (;;) {
        length = ::GetFinalPathNameByHandleW(
            *handle, final.data(), static_cast<DWORD>(final.size()), FILE_NAME_NORMALIZED);
        if (length < final.size()) {
            break;
        }
        final.resize(length);
    }
    const DWORD code = ::GetLastError();
    ::CloseHandle(*handle);
    if (length == 0) {
        return failure(code);
    }
    final.resize(length);
    // The system's long-path form, \\?\C:\..., for a path on a drive: the drive form is
    // what the user knows.
    if (final.starts_with(L"\\\\?\\") && final.size() > 6 && final[5] == L':') {
        final.erase(0, 4);
    }
    auto text = toUtf8(final);
    if (!text) {
        return failure(ERROR_NO_UNICODE_TRANSLATION);
    }
    return Path(std::move(*text));
}

SystemResult<void> FileApi::putInPlace(const Path &made, const Path &target, Placing placing)
{
    const auto from = widePath(made);
    const auto to = widePath(target);
    if (!from || !to) {
        return std::unexpected(from ? to.error() : from.error());
    }
    // The hidden mark was for the time the file was incomplete.
    ::SetFileAttributesW(from->c_str(), FILE_ATTRIBUTE_NORMAL);
    DWORD flags = MOVEFILE_WRITE_THROUGH;
    switch (placing) {
    case Placing::ReplacingFile:
        flags |= MOVEFILE_REPLACE_EXISTING;
        break;
    case Placing::NoFileThere:
        break;
    }
    if (::MoveFileExW(from->c_str(), to->c_str(), flags) == 0) {
        return lastError();
    }
    return {};
}

SystemResult<void> FileApi::remove(const Path &path)
{
    const auto wide = widePath(path);
    if (!wide) {
        return std::unexpected(wide.error());
    }
    if (::DeleteFileW(wide->c_str()) == 0) {
        return lastError();
    }
    return {};
}

NativeFile nativeFileOf(std::FILE *stream)
{
    return static_cast<NativeFile>(::_get_osfhandle(::_fileno(stream)));
}

SystemResult<DataRun> nextDataRun(NativeFile file, std::int64_t from)
{
    // Read as all data: what a sparse file holds is not worth asking the system here.
    LARGE_INTEGER size{};
    if (::GetFileSizeEx(handleOf(file), &size) == 0) {
        return lastError();
    }
    return DataRun{std::min(from, size.QuadPart), size.QuadPart};
}

std::string_view streamPlaces()
{
    return "a pipe, the console or NUL";
}

int openHandleCount()
{
    DWORD count = 0;
    ::GetProcessHandleCount(::GetCurrentProcess(), &count);
    return static_cast<int>(count);
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
