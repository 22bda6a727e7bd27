#include "platform/programstart.h"

namespace stats::platform {

std::expected<std::vector<std::string>, std::size_t> startProgram(int argc, char **argv)
{
    // The arguments are the bytes the user gave, and the streams pass bytes already.
    return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
}

} // namespace stats::platform
