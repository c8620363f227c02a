// SPDX-License-Identifier: Apache-2.0
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "shareadmin/command.h"
#include "tests/support/alloc_fault.h"

namespace share::test {
namespace {

std::string Take(char *s) {
    std::string out = s != nullptr ? s : "<null>";
    std::free(s);
    return out;
}

TEST(StringHelpers, CaseMappingMakesANewString) {
    struct Case {
        const char *in, *upper, *lower;
    } cases[] = {
        {"", "", ""},
        {"yes", "YES", "yes"},
        {"No  ", "NO  ", "no  "},
        {" mIxEd 1.2-x ", " MIXED 1.2-X ", " mixed 1.2-x "},
        {"\xe9t\xe9", "\xe9T\xe9", "\xe9t\xe9"},  // bytes outside ASCII unchanged in the C locale
    };
    for (const Case &c : cases) {
        EXPECT_EQ(Take(strToUpper(c.in)), c.upper) << c.in;
        EXPECT_EQ(Take(strtolower(c.in)), c.lower) << c.in;
    }
    const char text[] = "abc";
    char *copy = strToUpper(text);
    EXPECT_NE(copy, text);
    EXPECT_STREQ(text, "abc");
    std::free(copy);
}

TEST(StringHelpers, CaseMappingOfNullOrWithoutMemoryIsNull) {
    EXPECT_EQ(strToUpper(nullptr), nullptr);
    EXPECT_EQ(strtolower(nullptr), nullptr);
    AllocFaultScope fault(0);
    EXPECT_EQ(strToUpper("abc"), nullptr);
    fault.Disarm();
    EXPECT_TRUE(fault.Triggered());
}

TEST(StringHelpers, StripSpacesRemovesOnlyTrailingBlanks) {
    struct Case {
        const char *in, *out;
    } cases[] = {
        {"", ""},
        {"   ", " "},  // never the first character
        {" ", " "},
        {"a", "a"},
        {"a ", "a"},
        {"two words  ", "two words"},
        {"  lead", "  lead"},
        {"tab\t", "tab\t"},
        {"tab\t ", "tab\t"},
        {"nl\n ", "nl\n"},
    };
    for (const Case &c : cases) {
        std::string buf = c.in;
        EXPECT_EQ(stripSpaces(buf.data()), 0);
        EXPECT_STREQ(buf.c_str(), c.out) << '"' << c.in << '"';
    }
    EXPECT_EQ(stripSpaces(nullptr), 0);
}

TEST(StringHelpers, StringHasOnlyPeriods) {
    struct Case {
        const char *in;
        int expected;
    } cases[] = {
        {".", 1}, {"...", 1}, {"", 0}, {".a", 0}, {"a.", 0}, {". ", 0}, {" .", 0}, {"a..", 0},
    };
    for (const Case &c : cases) EXPECT_EQ(stringHasOnlyPeriods(c.in), c.expected) << c.in;
    EXPECT_EQ(stringHasOnlyPeriods(nullptr), 0);
}

}  // namespace
}  // namespace share::test
