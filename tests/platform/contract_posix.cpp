#include "contract.h"

#include <csignal>
#include <cstdlib>
#include <unistd.h>

namespace stats::testing {

void interruptThisProgram()
{
    ::raise(SIGINT);
    std::abort();
}

void killThisProgram()
{
    ::raise(SIGKILL);
    std::abort();
}

void setEnvironmentValue(const char *name, const std::string &value)
{
    if (value.empty()) {
        ::unsetenv(name);
    } else {
        ::setenv(name, value.c_str(), 1);
    }
}

bool makeLink(const std::string &target, const std::string &link)
{
    return ::symlink(target.c_str(), link.c_str()) == 0;
}

std::string runningProgramFile()
{
    // The system refuses to write the file of a program while it runs.
    return "/proc/self/exe";
}

} // namespace stats::testing
