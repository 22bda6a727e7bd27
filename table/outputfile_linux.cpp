#include "table/outputfile.h"

#include "image/imagefile.h"
#include "platform/userfiles.h"

#include <array>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <optional>
#include <random>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace stats::table {

namespace {

using Written = std::expected<void, std::string>;

// The folder part of a path, for a new file beside it.
std::string folderOf(const std::string &path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash == 0 ? 1 : slash);
}

// Whether a character device is one a CSV may go to: /dev/null, or a terminal. Other devices
// are never opened, as opening some of them already does something.
bool isNullOrTerminal(const struct ::stat &info)
{
    struct ::stat null
    {
    };
    if (::stat("/dev/null", &null) == 0 && S_ISCHR(null.st_mode) && null.st_rdev == info.st_rdev) {
        return true;
    }
    // The terminal majors of Linux: virtual consoles and serial lines, /dev/tty and the
    // console, and pseudo-terminals.
    const unsigned int major = ::major(info.st_rdev);
    return major == 4 || major == 5 || (major >= 136 && major <= 143);
}

// The temporary file that a signal which ends the process removes first; nullptr when
// there is none. Read by the handler, so it is a lock-free atomic.
std::atomic<const char *> g_temporary{nullptr};

extern "C" void removeTemporaryAndEnd(int signal)
{
    if (const char *path = g_temporary.load()) {
        ::unlink(path);
    }
    // The default action ends the process once the handler returns, as if it had none.
    ::signal(signal, SIG_DFL);
    ::raise(signal);
}

// While it lives, a Ctrl-C, a kill or a closed terminal removes the temporary file at
// `path` before the process ends. A signal that the process ignores stays ignored.
class RemovedOnSignal
{
public:
    explicit RemovedOnSignal(const std::string &path)
    {
        g_temporary = path.c_str();
        struct ::sigaction action
        {
        };
        action.sa_handler = removeTemporaryAndEnd;
        ::sigemptyset(&action.sa_mask);
        for (std::size_t i = 0; i < kSignals.size(); ++i) {
            ::sigaction(kSignals[i], nullptr, &m_old[i]);
            if (m_old[i].sa_handler != SIG_IGN) {
                ::sigaction(kSignals[i], &action, nullptr);
            }
        }
    }
    RemovedOnSignal(const RemovedOnSignal &) = delete;
    RemovedOnSignal &operator=(const RemovedOnSignal &) = delete;
    ~RemovedOnSignal()
    {
        for (std::size_t i = 0; i < kSignals.size(); ++i) {
            ::sigaction(kSignals[i], &m_old[i], nullptr);
        }
        g_temporary = nullptr;
    }

private:
    static constexpr std::array<int, 3> kSignals{SIGINT, SIGTERM, SIGHUP};
    std::array<struct ::sigaction, kSignals.size()> m_old{};
};

// Takes the lock by which other exports tell a temporary file that a running export writes
// from one that a killed export left. An open-file-description lock goes with the last close
// of the file, also when the process is killed.
bool holdAsOurs(int fd)
{
    struct ::flock lock
    {
    };
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    return ::fcntl(fd, F_OFD_SETLK, &lock) == 0;
}

// A new file with an unused name in `folder`, made as open(2) makes any new file, so that it
// gets the permissions the umask leaves without the process's umask being changed to find
// them. The descriptor and the path, or the system's error.
std::expected<std::pair<int, std::string>, int> makeTemporary(const std::string &folder)
{
    constexpr std::string_view kLetters =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    std::random_device random;
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string path = folder + "/.stats-table.";
        std::size_t bits = (std::size_t{random()} << 32U) | random();
        for (int i = 0; i < 6; ++i, bits /= kLetters.size()) {
            path += kLetters[bits % kLetters.size()];
        }
        const int fd =
            ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd >= 0 && holdAsOurs(fd)) {
            return std::pair{fd, std::move(path)};
        }
        if (fd >= 0) {
            // Another export took it for abandoned in the moment before it was held, and
            // removes it: a new name is made instead.
            ::close(fd);
            continue;
        }
        if (errno != EEXIST) {
            return std::unexpected(errno);
        }
    }
    return std::unexpected(EEXIST);
}

// Writes the CSV into a new file beside the target and renames it over the target only
// once it is whole and on the disk, so that a failed export leaves the old file as it was.
Written writeByRename(const std::string &target, std::string_view csv,
                      std::optional<struct ::stat> existing, platform::FileApi &files)
{
    removeAbandonedTemporaries(folderOf(target));
    auto made = makeTemporary(folderOf(target));
    if (!made) {
        return std::unexpected("a new file cannot be made in its folder: " +
                               systemReason(made.error()));
    }
    const auto &[fd, temporary] = *made;
    const RemovedOnSignal removedOnSignal(temporary);
    platform::FileHandle file(platform::systemFileApi(), fd);
    const auto fail = [&](const std::string &problem) {
        file.closeNow();
        ::unlink(temporary.c_str());
        return std::unexpected(problem +
                               (existing ? "; the file is as it was" : "; no file was made"));
    };
    // A file it replaces keeps its permissions.
    if (existing && ::fchmod(fd, existing->st_mode & 07777) != 0) {
        return fail("writing the CSV failed: " + systemReason(errno));
    }
    if (!platform::writeAll(fd, csv) || ::fsync(fd) != 0) {
        return fail("writing the CSV failed: " + systemReason(errno));
    }
    if (!file.closeNow()) {
        return fail("writing the CSV failed: " + systemReason(errno));
    }
    files.reached(platform::SaveStep::TemporaryWritten, 0);
    if (!existing) {
        // A file that appeared at the path meanwhile is not replaced unseen.
        if (::renameat2(AT_FDCWD, temporary.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) ==
            0) {
            return {};
        }
        if (errno != EINVAL && errno != ENOSYS) {
            return fail("the CSV cannot be put in place: " + systemReason(errno));
        }
    } else if (struct ::stat now{}; ::stat(target.c_str(), &now) != 0 ||
                                    now.st_dev != existing->st_dev ||
                                    now.st_ino != existing->st_ino) {
        return fail("it was replaced by another file while the CSV was written");
    }
    if (::rename(temporary.c_str(), target.c_str()) != 0) {
        return fail("the CSV cannot be put in place: " + systemReason(errno));
    }
    return {};
}

} // namespace

void removeIfAbandoned(const std::filesystem::path &path)
{
    const int fd = ::open(path.c_str(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        return;
    }
    if (holdAsOurs(fd)) {
        ::unlink(path.c_str());
    }
    ::close(fd);
}

namespace {

// A pipe, a terminal or /dev/null: written as it is, as nothing can be replaced there.
Written writeStream(const std::string &path, std::string_view csv)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        return std::unexpected("it cannot be opened for writing: " + systemReason(errno));
    }
    platform::FileHandle file(platform::systemFileApi(), fd);
    if (!platform::writeAll(fd, csv)) {
        return std::unexpected("writing the CSV failed: " + systemReason(errno));
    }
    if (!file.closeNow()) {
        return std::unexpected("writing the CSV failed: " + systemReason(errno));
    }
    return {};
}

} // namespace

Written writeOutputFile(const std::string &path, std::string_view csv,
                        platform::FileIdentity imageFile, platform::FileApi &files)
{
    struct ::stat info
    {
    };
    if (::stat(path.c_str(), &info) != 0) {
        const int error = errno;
        struct ::stat link
        {
        };
        if (error != ENOENT || ::lstat(path.c_str(), &link) == 0) {
            return std::unexpected("it cannot be looked at: " + systemReason(error));
        }
        return writeByRename(path, csv, std::nullopt, files);
    }
    if (platform::FileIdentity{info.st_dev, info.st_ino} == imageFile) {
        return std::unexpected("it is the image itself; the CSV is never written over the image");
    }
    if (S_ISREG(info.st_mode)) {
        if (auto problem = imageRisk(path, files); !problem.empty()) {
            return std::unexpected(problem);
        }
        // Replaced only where a shell's redirect would write it.
        if (::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) != 0) {
            return std::unexpected("it may not be written: " + systemReason(errno) +
                                   "; the CSV replaces only a file you may write");
        }
        // A link stays a link: the file it leads to is replaced.
        char *resolved = ::realpath(path.c_str(), nullptr);
        if (resolved == nullptr) {
            return std::unexpected("it cannot be looked at: " + systemReason(errno));
        }
        const std::string target(resolved);
        std::free(resolved);
        return writeByRename(target, csv, info, files);
    }
    if (S_ISFIFO(info.st_mode) || (S_ISCHR(info.st_mode) && isNullOrTerminal(info))) {
        return writeStream(path, csv);
    }
    return std::unexpected("it is a folder, a disk or another device; the CSV goes only to a "
                           "file, a pipe, a terminal or /dev/null");
}

} // namespace stats::table
