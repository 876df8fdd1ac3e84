// Whether a file is a whole Windows program: a page of text served with status 200, or a body cut
// short where the platform cannot tell (a chunked body cut at a chunk boundary arrives as whole),
// must never become the loader. Pure: no platform calls, so that it is tested and fuzzed natively.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace program_image {

// How much of a file's start the check reads: the headers of any program lie well within it.
constexpr size_t kHeadBytes = 64 * 1024;

// `head`: the file's first bytes (all of them, or kHeadBytes at least); `cbFile`: its length.
// True when the DOS and NT headers are in place (an executable image, PE32 or PE32+) with the
// section table inside the head, and the file reaches the end of every section's raw data and of
// its certificate table where it has one; otherwise false, and `why` says what is missing.
bool IsWholeProgram(const unsigned char* head, size_t cbHead, uint64_t cbFile, std::string& why);

}  // namespace program_image
