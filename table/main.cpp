#include "platform/programstart.h"
#include "table/tabletool.h"

#include <cstdio>
#include <exception>
#include <string>
#include <string_view>
#include <vector>

int main(int argc, char **argv)
{
    // The program reports every failure it knows of as a message; anything else (memory
    // running out, above all) still ends with a message and a status, never an abort.
    try {
        const auto arguments = stats::platform::startProgram(argc, argv);
        if (!arguments) {
            std::fprintf(stderr,
                         "stats-table: argument %zu is no valid text, so it names no file that "
                         "can be opened; nothing was done\n",
                         arguments.error());
            return stats::table::kExitRefused;
        }
        const std::vector<std::string_view> args(arguments->begin(), arguments->end());
        return stats::table::runTableTool(args, {stdout, stderr});
    } catch (const std::exception &error) {
        std::fprintf(stderr, "stats-table: stopped: %s; nothing more was written\n", error.what());
    } catch (...) {
        std::fprintf(stderr,
                     "stats-table: stopped by an unknown error; nothing more was written\n");
    }
    return stats::table::kExitRefused;
}
