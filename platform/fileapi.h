#pragma once

/// @file
/// The system calls the programs make on files, behind one seam so that tests can make any of
/// them fail the way a real disk, mount or permission does, and so that each system supplies
/// them in a file of its own (fileapi_linux.cpp, as its locks are Linux's own
/// open-file-description locks and its terminals Linux's device numbers, and
/// fileapi_windows.cpp). The logic that uses them sees only the system-neutral types below.

#include "platform/path.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <expected>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace stats::platform {

/// The system's own code for a failure: errno on POSIX, GetLastError() on Windows; 0 for none.
using OsError = int;

/// What a failed call means to the core, so that its logic reads no platform's codes.
enum class Fault : std::uint8_t {
    NotFound, ///< nothing at the path, or a folder on the way is missing
    LockHeld, ///< tryLock: another open holds a lock that conflicts
    InUse,    ///< another program holds the file so that it cannot be opened this way
    Exists,   ///< create, putInPlace: a file is at the path already
    Other,    ///< anything else; the code says what
};

struct SystemError
{
    Fault fault = Fault::Other;
    OsError code = 0;
};

template <typename T> using SystemResult = std::expected<T, SystemError>;

/// What a path leads to. A stream is a pipe, a terminal or the null device: written as it
/// is, as nothing there can be replaced; every other device is Other, never opened.
enum class FileType : std::uint8_t { Regular, Folder, Stream, Other };

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
    /// Who may read and write it, as the system keeps it (POSIX's mode bits; 0 on Windows,
    /// where a new file takes its folder's).
    std::uint32_t permissions = 0;
};

enum class Access : std::uint8_t { Read, ReadWrite };

/// Which way a stream, or a file read to its end, is used.
enum class Direction : std::uint8_t { Read, Write };

/// A new file that is the finished file, or a temporary one that becomes it once it is put in
/// place: Windows hides that one and lets no other program open it meanwhile.
enum class NewFile : std::uint8_t { Finished, Temporary };

/// Whether putInPlace may replace a file that is at the target.
enum class Placing : std::uint8_t { ReplacingFile, NoFileThere };

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
    TemporaryMade,    ///< the output file's temporary file is made and held; written next
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

    /// What is at @p path, following links, without opening it.
    [[nodiscard]] virtual SystemResult<FileStatus> status(const Path &path);
    /// Opens the existing file at @p path: never creates one, never waits on a FIFO or device,
    /// never makes a terminal the controlling one, and is not inherited by child processes.
    [[nodiscard]] virtual SystemResult<NativeFile> open(const Path &path, Access access);
    [[nodiscard]] virtual SystemResult<FileStatus> status(NativeFile file);
    /// Reads up to @p count bytes at @p offset; 0 at the end of the file. Interrupted calls
    /// are retried inside.
    [[nodiscard]] virtual SystemResult<std::size_t> read(NativeFile file, void *buffer,
                                                         std::size_t count, std::int64_t offset);
    /// Writes up to @p count bytes at @p offset; a short write is no failure. Never past the
    /// end: a write that would make the file longer is refused.
    [[nodiscard]] virtual SystemResult<std::size_t> write(NativeFile file, const void *buffer,
                                                          std::size_t count, std::int64_t offset);
    /// Waits until the written bytes are on the disk.
    [[nodiscard]] virtual SystemResult<void> flush(NativeFile file);
    /// Takes our programs' lock without waiting: Fault::LockHeld while another open holds a
    /// conflicting one. The lock belongs to this open and goes with its close.
    [[nodiscard]] virtual SystemResult<void> tryLock(NativeFile file, LockKind kind);
    virtual SystemResult<void> close(NativeFile file);

    /// Makes a new, empty file at @p path for writing: never opens one that is there
    /// (Fault::Exists), nor follows a link there. Its permissions are what the system gives
    /// every new file.
    [[nodiscard]] virtual SystemResult<NativeFile> create(const Path &path, NewFile kind);
    /// Opens what is at @p path to read it to its end or to write to it from the start: a
    /// pipe is waited for, as a shell would.
    [[nodiscard]] virtual SystemResult<NativeFile> openStream(const Path &path,
                                                              Direction direction);
    /// Reads up to @p count bytes from where the last read ended; 0 at the end.
    [[nodiscard]] virtual SystemResult<std::size_t> readNext(NativeFile file, void *buffer,
                                                             std::size_t count);
    /// Writes up to @p count bytes after what was written before; a short write is no failure.
    [[nodiscard]] virtual SystemResult<std::size_t> writeNext(NativeFile file, const void *buffer,
                                                              std::size_t count);
    /// Sets the length of a file this program made: what no write covers reads as zeros.
    [[nodiscard]] virtual SystemResult<void> setSize(NativeFile file, std::int64_t size);
    /// Gives the new @p file the permissions of the file @p replaced, where the system keeps
    /// them per file.
    [[nodiscard]] virtual SystemResult<void> keepPermissions(NativeFile file,
                                                             const FileStatus &replaced);
    /// Whether this user may write the file at @p path, as the system would decide on opening
    /// it to write.
    [[nodiscard]] virtual SystemResult<void> mayWrite(const Path &path);
    /// The path of the file that @p path leads to, every link on the way followed.
    [[nodiscard]] virtual SystemResult<Path> finalPath(const Path &path);
    /// Gives the file at @p made the name @p target in the same folder, at once: a reader of
    /// @p target sees the old file or the new, never a part. With Placing::NoFileThere a file
    /// that is at @p target is left alone (Fault::Exists).
    [[nodiscard]] virtual SystemResult<void> putInPlace(const Path &made, const Path &target,
                                                        Placing placing);
    /// Removes the name @p path.
    virtual SystemResult<void> remove(const Path &path);

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

/// osReason(), or that the system gave no reason where @p code is 0.
[[nodiscard]] std::string systemReason(OsError code);

/// Writes all of @p bytes at @p offset, going on after short writes.
[[nodiscard]] SystemResult<void> writeAll(FileApi &api, NativeFile file,
                                          std::span<const std::uint8_t> bytes, std::int64_t offset);

/// Writes all of @p bytes after what was written before, going on after short writes.
[[nodiscard]] SystemResult<void> writeAllNext(FileApi &api, NativeFile file,
                                              std::string_view bytes);

/// Why readAllNext stopped: the system's failure, or nothing when the text grew past its limit.
struct ReadFailure
{
    std::optional<SystemError> error;
};

/// Reads an open file or pipe to its end, refusing one larger than @p limit bytes.
[[nodiscard]] std::expected<std::string, ReadFailure> readAllNext(FileApi &api, NativeFile file,
                                                                  std::size_t limit);

/// Takes our programs' lock of @p kind, waiting up to @p wait while another open of ours
/// holds one that conflicts; Fault::LockHeld once the wait is over.
[[nodiscard]] SystemResult<void> lockWaiting(FileApi &api, NativeFile file, LockKind kind,
                                             std::chrono::milliseconds wait);

/// The open file behind a C stream (standard input, say), for the calls above. The stream
/// keeps it: it is not to be closed through the seam.
[[nodiscard]] NativeFile nativeFileOf(std::FILE *stream);

/// Where the next data of @p file starts at or after @p from, and where the hole after it
/// starts: the parts of a sparse file worth reading. {size, size} past the last data.
struct DataRun
{
    std::int64_t begin = 0;
    std::int64_t end = 0;
};
[[nodiscard]] SystemResult<DataRun> nextDataRun(NativeFile file, std::int64_t from);

/// The streams output may go to, as this system's users know them: "a pipe, a terminal or
/// /dev/null", say.
[[nodiscard]] std::string_view streamPlaces();

/// How many files, pipes and other handles this process holds open: a count that a test reads
/// before and after, to find one left open.
[[nodiscard]] int openHandleCount();

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
