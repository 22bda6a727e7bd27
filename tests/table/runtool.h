#pragma once

// stats-table run in-process, its output and messages caught as text.

#include "platform/fileapi.h"
#include "table/tabletool.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace stats::testing {

struct Outcome
{
    int status;
    std::string out;
    std::string err;
};

inline Outcome run(const std::vector<std::string> &args,
                   platform::FileApi &files = platform::systemFileApi())
{
    char *out = nullptr;
    char *err = nullptr;
    std::size_t outSize = 0;
    std::size_t errSize = 0;
    std::FILE *outStream = open_memstream(&out, &outSize);
    std::FILE *errStream = open_memstream(&err, &errSize);
    const std::vector<std::string_view> views(args.begin(), args.end());
    Outcome result{table::runTableTool(views, {outStream, errStream}, files), {}, {}};
    std::fclose(outStream);
    std::fclose(errStream);
    result.out.assign(out, outSize);
    result.err.assign(err, errSize);
    std::free(out);
    std::free(err);
    return result;
}

} // namespace stats::testing
