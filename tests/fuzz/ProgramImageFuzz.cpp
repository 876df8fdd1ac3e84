// libFuzzer target for the whole-program check of a downloaded loader, whose bytes come from a
// server we do not control: no read outside the head it is given (the sanitizers watch), and a
// file accepted as whole stays whole when it grows and is refused with a reason once cut to its
// DOS header. Built and run by tests/fuzz/run.sh.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "download/ProgramImage.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // An exact copy, so that a read one byte past the head is a sanitizer report.
    const std::vector<unsigned char> head(data, data + size);
    std::string why;
    const bool whole = program_image::IsWholeProgram(head.data(), head.size(), head.size(), why);
    if (!whole && why.empty()) std::abort();
    if (whole && !program_image::IsWholeProgram(head.data(), head.size(), uint64_t{head.size()} + 4096, why))
        std::abort();
    if (size >= 64 && program_image::IsWholeProgram(head.data(), 63, 63, why)) std::abort();
    return 0;
}
