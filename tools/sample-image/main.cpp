// make-sample-image PATH [SIZE_MIB]: writes a new sample image to try the editor on.

#include "sampleimage.h"

#include <charconv>
#include <cstdio>
#include <cstring>
#include <string_view>

int main(int argc, char **argv)
{
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: make-sample-image PATH [SIZE_MIB]\n");
        return 2;
    }
    std::int64_t size = stats::tools::kSampleImageSize;
    if (argc == 3) {
        const std::string_view text = argv[2];
        int mebibytes = 0;
        const auto [end, error] =
            std::from_chars(text.data(), text.data() + text.size(), mebibytes);
        if (error != std::errc{} || end != text.data() + text.size() || mebibytes < 106 ||
            mebibytes > 4096) {
            std::fprintf(stderr, "make-sample-image: SIZE_MIB must be 106 to 4096\n");
            return 2;
        }
        size = std::int64_t{mebibytes} << 20;
    }
    if (const auto written = stats::tools::writeSampleImage(argv[1], size); !written) {
        std::fprintf(stderr, "make-sample-image: %s: %s\n", argv[1], written.error().c_str());
        return 1;
    }
    std::printf("%s\n", argv[1]);
    return 0;
}
