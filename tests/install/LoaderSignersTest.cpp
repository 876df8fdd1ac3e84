// The loader's publisher pin as the DLL reads it from its resource: the verdicts every reader of
// pin lines (the build, the package check, the DLL) shares.
#include <gtest/gtest.h>

#include "install/LoaderSigners.h"
#include "TestEnv.h"

TEST(LoaderSigners, PinLinesAsEveryReaderTakesThem)
{
    const auto rows = testenv::DataRows("pin_lines.tsv");
    ASSERT_GT(rows.size(), 5u);
    for (const auto& row : rows) {
        ASSERT_EQ(row.size(), 3u);
        SCOPED_TRACE("\"" + row[1] + "\": " + row[2]);
        const LoaderSigners signers = ParseLoaderSigners("; a comment\nsigner-sha256=" + row[1] + "\n");
        EXPECT_TRUE(signers.bPinned) << "a line that names a signer pins, whether or not it allows one";
        Sha256Digest expected{};
        const bool pins = row[0] == "pin";
        ASSERT_EQ(signers.thumbprints.size(), pins ? 1u : 0u);
        if (pins) {
            ASSERT_TRUE(CSha256::ParseHex(row[1].substr(row[1].find_first_not_of(" \t"), 64).c_str(), expected));
            EXPECT_TRUE(signers.thumbprints[0] == expected);
        }
    }
}
