// SPDX-License-Identifier: Apache-2.0
// Listings written row by row from records: the bytes of every format, with filters, sort,
// no rows, and values that need quoting or escaping.
#include <gtest/gtest.h>

#include "output/output.h"

namespace share::tools::test {
namespace {

struct Item {
    std::string name;
    int size;
    bool ok;
};

const Item kItems[] = {{"b,\"q\"", 20, true}, {"a", 5, false}, {"\xC3\xBC\tx", 300, true}};

Json ItemJson(const Item &i) {
    return Json{{"name", i.name}, {"size", i.size}, {"ok", i.ok}};
}

const Listing kItemListing{
    "items",
    {{"name", "NAME"},
     {"size", "SIZE", nullptr, [](const Json &v) { return std::to_string(v.get<int>()) + "k"; }},
     {"ok", "OK"}},
    {},
    "(none)\n",
    [](size_t shown, const Json &extra) {
        return std::to_string(shown) + " of " + extra["total"].dump() + "\n";
    }};

std::string Write(const OutputOptions &o, const Item *items, size_t n) {
    return WriteListing(nullptr, o, kItemListing, RowsOf(items, n, ItemJson), Json{{"total", 7}});
}

TEST(ListingStream, EveryFormatWritesTheSameRows) {
    const ActiveFilter big{"size", ListingFilter::kOver, "10"};
    const ActiveFilter none{"name", ListingFilter::kEquals, "zzz"};
    struct Case {
        Format format;
        std::vector<ActiveFilter> filters;
        std::string sort;
        bool headers;
        std::string expected;
    };
    const Case cases[] = {
        {Format::kTable,
         {},
         "",
         true,
         "NAME   SIZE  OK\nb,\"q\"  20k   yes\na      5k    no\n\xC3\xBC\tx    300k  yes\n3 of "
         "7\n"},
        {Format::kTable,
         {big},
         "-size",
         false,
         "\xC3\xBC\tx    300k  yes\nb,\"q\"  20k   yes\n2 of 7\n"},
        {Format::kTable, {none}, "", true, "(none)\n0 of 7\n"},
        {Format::kCsv,
         {},
         "name",
         true,
         "name,size,ok\r\na,5,false\r\n\"b,\"\"q\"\"\",20,true\r\n\xC3\xBC\tx,300,true\r\n"},
        {Format::kCsv, {none}, "", true, "name,size,ok\r\n"},
        {Format::kTsv, {big}, "", false, "b,\"q\"\t20\ttrue\n\xC3\xBC\\tx\t300\ttrue\n"},
        {Format::kJson,
         {none},
         "",
         true,
         "{\n  \"schema_version\": 1,\n  \"items\": [],\n  \"total\": 7\n}\n"},
        {Format::kJson,
         {big},
         "size",
         true,
         "{\n  \"schema_version\": 1,\n  \"items\": [\n    {\n      \"name\": \"b,\\\"q\\\"\",\n"
         "      \"size\": 20,\n      \"ok\": true\n    },\n    {\n      \"name\": "
         "\"\xC3\xBC\\tx\",\n      \"size\": 300,\n      \"ok\": true\n    }\n  ],\n"
         "  \"total\": 7\n}\n"},
    };
    for (const auto &c : cases) {
        OutputOptions o;
        o.format = c.format;
        o.filters = c.filters;
        o.sort = c.sort;
        o.headers = c.headers;
        EXPECT_EQ(Write(o, kItems, std::size(kItems)), c.expected) << c.expected;
        // The document is the one the whole JSON value would print.
        o.format = Format::kJson;
        Json rows = Json::array();
        for (size_t i : SelectRows(o, RowsOf(kItems, std::size(kItems), ItemJson)))
            rows.push_back(ItemJson(kItems[i]));
        const Json doc{{"schema_version", 1}, {"items", rows}, {"total", 7}};
        EXPECT_EQ(Write(o, kItems, std::size(kItems)), doc.dump(2) + "\n");
        // JSON Lines: the same document compact on one line, a timestamp after the version.
        const std::string line =
            WriteListing(nullptr, o, kItemListing, RowsOf(kItems, std::size(kItems), ItemJson),
                         Json{{"total", 7}}, true);
        Json parsed = Json::parse(line);
        EXPECT_TRUE(parsed["timestamp"].is_string());
        parsed.erase("timestamp");
        EXPECT_EQ(parsed.dump() + "\n", doc.dump() + "\n");
        EXPECT_EQ(line.find('\n'), line.size() - 1);
    }
}

TEST(ListingStream, TextThatIsNotUtf8IsReplacedNotFatal) {
    const Item bad[] = {{"x\xFFy", 1, true}};
    OutputOptions o;
    o.format = Format::kJson;
    std::string out;
    ASSERT_NO_THROW(out = Write(o, bad, 1));
    EXPECT_NE(out.find("\"x\xEF\xBF\xBDy\""), std::string::npos) << out;
}

}  // namespace
}  // namespace share::tools::test
