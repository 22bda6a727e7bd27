#include "table/programstart.h"

namespace stats::table {

std::vector<std::string> startProgram(int argc, char **argv)
{
    // The arguments are the bytes the user gave, and the streams pass bytes already.
    return {argv + (argc > 0 ? 1 : 0), argv + argc};
}

} // namespace stats::table
