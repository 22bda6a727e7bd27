#pragma once

/// @file
/// The few system calls the programs make on an existing file, behind one seam so that tests
/// can make any of them fail the way a real disk, mount or permission does, and so that each
/// system supplies them in a file of its own (fileapi_linux.cpp, as its locks are Linux's own
/// open-file-description locks, and fileapi_windows.cpp). The logic that uses them sees only
/// the system-neutral types below.

#include <cstddef>
#include <cstdint>
#include <expected>
#include <span>
#include <string>

namespace stats::platform {

/// The system's own code for a failure: errno on POSIX, GetLastError() on Windows; 0 for none.
using OsError = int;

/// What a failed call means to the core, so that its logic reads no platform's codes.
enum class Fault : std::uint8_t {
    NotFound, ///< nothing at the path, or a folder on the way is missing
    LockHeld, ///< tryLock: another open holds a lock that conflicts
    Other,    ///< anything else; the code says what
};

struct SystemError
{
    Fault fault = Fault::Other;
    OsError code = 0;
};

template <typename T> using SystemResult = std::expected<T, SystemError>;

enum class FileType : std::uint8_t { Regular, Folder, Other };

/// Which file a path led to: device and inode on POSIX, volume serial and file index on
/// Windows. Two paths with the same identity name the same file.
struct FileIdentity
{
    std::uint64_t volume = 0;
    std::uint64_t file = 0;
    bool operator==(const FileIdentity &) const = default;
};

struct FileStatus
{
    FileType type = FileType::Other;
    std::int64_t size = 0;
    FileIdentity identity;
};

enum class Access : std::uint8_t { Read, ReadWrite };

/// Our programs' lock on an image: shared while the whole table is read or an entry loaded,
/// exclusive from the check of the records to the last write.
enum class LockKind : std::uint8_t { Shared, Exclusive };

/// An open file: a descriptor on POSIX, a HANDLE's value on Windows.
using NativeFile = std::intptr_t;
inline constexpr NativeFile kNoFile = -1;

/// The moments of a save, and of the file work of an export or an import, that tests name to
/// act there as another program would.
enum class SaveStep : std::uint8_t {
    RecordsChecked,   ///< the old records were read and compared; the path is checked next
    BeforeWrites,     ///< every check is done; the first entry is written next
    BeforeEntry,      ///< before the check and the writes of entry `entry`
    BetweenWrites,    ///< between two writes of one entry's fields
    AfterWrites,      ///< after the last write, before the size is compared and flushed
    CsvRead,          ///< an import read its CSV whole; the image is read next
    TemporaryWritten, ///< the output file's temporary file is written, flushed and closed; the
                      ///< path is checked and the file put in its place next
};

/// The system calls of the core. Every call that can fail returns the failure as a value.
class FileApi
{
public:
    FileApi() = default;
    FileApi(const FileApi &) = delete;
    FileApi &operator=(const FileApi &) = delete;
    virtual ~FileApi() = default;

    /// What is at @p path (UTF-8), following links, without opening it.
    [[nodiscard]] virtual SystemResult<FileStatus> status(const std::string &path);
    /// Opens the existing file at @p path: never creates one, never waits on a FIFO or device,
    /// never makes a terminal the controlling one, and is not inherited by child processes.
    [[nodiscard]] virtual SystemResult<NativeFile> open(const std::string &path, Access access);
    [[nodiscard]] virtual SystemResult<FileStatus> status(NativeFile file);
    /// Reads up to @p count bytes at @p offset; 0 at the end of the file. Interrupted calls
    /// are retried inside.
    [[nodiscard]] virtual SystemResult<std::size_t> read(NativeFile file, void *buffer,
                                                         std::size_t count, std::int64_t offset);
    /// Writes up to @p count bytes at @p offset; a short write is no failure.
    [[nodiscard]] virtual SystemResult<std::size_t> write(NativeFile file, const void *buffer,
                                                          std::size_t count, std::int64_t offset);
    /// Waits until the written bytes are on the disk.
    [[nodiscard]] virtual SystemResult<void> flush(NativeFile file);
    /// Takes our programs' lock without waiting: Fault::LockHeld while another open holds a
    /// conflicting one. The lock belongs to this open and goes with its close.
    [[nodiscard]] virtual SystemResult<void> tryLock(NativeFile file, LockKind kind);
    virtual SystemResult<void> close(NativeFile file);

    /// The core calls this at each named step of a save; @p entry is the batch position
    /// where the step belongs to one entry. Nothing happens by default.
    virtual void reached(SaveStep step, std::size_t entry)
    {
        static_cast<void>(step);
        static_cast<void>(entry);
    }
};

/// The real system calls.
[[nodiscard]] FileApi &systemFileApi();

/// The system's own words for @p code, in UTF-8.
[[nodiscard]] std::string osReason(OsError code);

/// Writes all of @p bytes at @p offset, going on after short writes.
[[nodiscard]] SystemResult<void> writeAll(FileApi &api, NativeFile file,
                                          std::span<const std::uint8_t> bytes, std::int64_t offset);

/// An open file that is closed on every path out of the scope that owns it.
class FileHandle
{
public:
    FileHandle(FileApi &api, NativeFile file) noexcept : m_api(&api), m_file(file) {}
    FileHandle(FileHandle &&other) noexcept : m_api(other.m_api), m_file(other.m_file)
    {
        other.m_file = kNoFile;
    }
    FileHandle &operator=(FileHandle &&) = delete;
    FileHandle(const FileHandle &) = delete;
    FileHandle &operator=(const FileHandle &) = delete;
    ~FileHandle() { static_cast<void>(closeNow()); }

    [[nodiscard]] NativeFile file() const noexcept { return m_file; }
    [[nodiscard]] FileApi &api() const noexcept { return *m_api; }

    /// Closes at once; the failure of the close, if any. Already closed is success.
    SystemResult<void> closeNow() noexcept;

private:
    FileApi *m_api;
    NativeFile m_file;
};

} // namespace stats::platform
