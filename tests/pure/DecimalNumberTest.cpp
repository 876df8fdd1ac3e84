// The decimal numbers of a description, as the installer reads them.
#include <gtest/gtest.h>

#include <climits>

#include "install/DecimalNumber.h"

TEST(DecimalNumber, ReadsLikeTheDescriptionMeansIt)
{
    struct Case {
        const char* text;
        int number;
    };
    const Case cases[] = {
        {"12", 12},         {"  7", 7},          {"-3", -3},   {"+4", 4},         {"5abc", 5},
        {"abc", 0},         {"", 0},             {"- 1", 0},   {"\t\r\n 9", 9},   {"0012", 12},
        {"2147483647", INT_MAX}, {"-2147483648", INT_MIN}, {"99999999999999999999", INT_MAX},
        {"-99999999999999999999", INT_MIN},
    };
    for (const Case& c : cases) EXPECT_EQ(ParseDecimalNumber(c.text), c.number) << "[" << c.text << "]";
    EXPECT_EQ(ParseDecimalNumber(nullptr), 0);
}
