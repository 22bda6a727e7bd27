// The number rule: any text converts or not without a crash or undefined behaviour, a byte
// it gives reads back from its own plain text, and blanks added around change nothing.

#include "image/numbertext.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    using namespace stats::image;
    const std::string_view text(reinterpret_cast<const char *>(data), size);
    const auto byte = parseNumberText(text);
    if (byte && parseNumberText(numberText(*byte)) != byte) {
        __builtin_trap();
    }
    if (parseNumberText(" \t" + std::string(text) + "\t ") != byte) {
        __builtin_trap();
    }
    return 0;
}
