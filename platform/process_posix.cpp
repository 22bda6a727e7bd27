#include "platform/process.h"

#include <cstdlib>

namespace stats::platform {

std::string environmentValue(std::string_view name)
{
    // The value is the bytes the environment holds, as every path on this system is.
    const char *value = std::getenv(std::string(name).c_str());
    return value == nullptr ? std::string() : std::string(value);
}

bool standardErrorIsSeen()
{
    // Standard error goes to the terminal, the session's log or wherever it was sent.
    return true;
}

} // namespace stats::platform
