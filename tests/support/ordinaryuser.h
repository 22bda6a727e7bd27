#pragma once

// Work done as an ordinary user, whom a file's or a folder's permissions bind as they do not
// bind root: in a child process, so that the test itself keeps its rights. POSIX only.

#include <functional>
#include <sys/wait.h>
#include <unistd.h>

namespace stats::testing {

/// Runs @p work in a child process, as nobody when the tests run as root; true when the child
/// became an ordinary user and @p work returned true.
[[nodiscard]] inline bool asOrdinaryUser(const std::function<bool()> &work)
{
    const pid_t child = ::fork();
    if (child == 0) {
        const bool ordinary = ::geteuid() != 0 || (::setgid(65534) == 0 && ::setuid(65534) == 0);
        ::_exit(ordinary && work() ? 0 : 1);
    }
    int status = -1;
    return child > 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status) &&
           WEXITSTATUS(status) == 0;
}

} // namespace stats::testing
