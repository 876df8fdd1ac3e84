// Feeds random description texts to the parser, natively with the address and undefined
// behaviour sanitizers: the step from text to entries must stand any bytes a server sends.
// Built and run by tests/fuzz/run.sh; the seed and the count come from the command line.
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "description/DescriptionParser.h"

int main(int argc, char** argv)
{
    const unsigned seed = argc > 1 ? static_cast<unsigned>(std::strtoul(argv[1], nullptr, 10)) : 1;
    const int count = argc > 2 ? std::atoi(argv[2]) : 20000;
    std::mt19937 random(seed);
    // Code page 949's lead bytes; the alphabet leans on what the parser looks at.
    const auto leadBytes = description::LeadByteSet::FromPredicate([](unsigned char b) { return b >= 0x81 && b <= 0xFE; });
    const char alphabet[] = "[]\\=\n\r\"; ahHKEY_x\x81\x95\xC6\xFE\x5C\x5B\x5D";

    size_t entries = 0;
    for (int i = 0; i < count; ++i) {
        std::string text(random() % 6000, ' ');
        for (char& ch : text)
            ch = (random() % 4 == 0) ? static_cast<char>(random()) : alphabet[random() % (sizeof alphabet - 1)];
        const std::string working = description::MakeWorkingText(text.data(), text.size());
        description::ParseSection section;
        std::vector<description::ParsedEntry> parsed;
        description::ParseText(working, leadBytes, section, parsed);
        for (const description::ParsedEntry& entry : parsed) {
            if (entry.type != description::kTypeString && entry.type != description::kTypeBinary &&
                entry.type != description::kTypeDword) {
                std::fprintf(stderr, "input %d: entry of type %d\n", i, entry.type);
                return 1;
            }
        }
        entries += parsed.size();
    }
    std::printf("%d inputs, %zu entries, no fault\n", count, entries);
    return 0;
}
