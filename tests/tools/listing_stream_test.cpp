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

// Typed records read field by field print exactly what their JSON objects print, in every
// format, filtered, sorted and as JSON Lines.
TEST(ListingStream, TypedRowsPrintAsTheirJsonObjects) {
    struct Rec {
        const char *name;
        uint64_t size;
        int64_t when;
        bool ok;
    };
    static const std::vector<FieldOf<Rec>> fields{
        {"name", [](const Rec &r) { return Value::Text(r.name); }},
        {"size", [](const Rec &r) { return Value::Unsigned(r.size); }},
        {"when", [](const Rec &r) { return Value::Signed(r.when); }},
        {"when_rfc3339", [](const Rec &r) { return Value::Rfc3339(r.when); }},
        {"ok", [](const Rec &r) { return Value::Bool(r.ok); }}};
    const Rec recs[] = {{"b,\"q\"\\", 20, 951782400, true},
                        {"a\x01", 5, 0, false},
                        {"\xC3\xBC\tx\xFF", 18446744073709551615u, 253402300799, true},
                        {"", 300, -5, false}};
    const Listing listing{"recs",
                          {{"name", "NAME"},
                           {"size", "SIZE", nullptr, [](const Json &v) { return v.dump() + "k"; }},
                           {"when_rfc3339", "WHEN"},
                           {"ok", "OK"}}};
    const RowSource typed = FieldRows(recs, std::size(recs), fields);
    const RowSource json =
        RowsOf(recs, std::size(recs), [](const Rec &r) { return RecordJson(r, fields); });
    const ActiveFilter big{"size", ListingFilter::kOver, "10"};
    const ActiveFilter prefix{"name", ListingFilter::kPrefix, "B,"};
    for (Format format : {Format::kTable, Format::kJson, Format::kCsv, Format::kTsv})
        for (const auto &filters : {std::vector<ActiveFilter>{}, {big}, {prefix}})
            for (const char *sort : {"", "-size", "when_rfc3339", "name"})
                for (bool lines : {false, true}) {
                    OutputOptions o;
                    o.format = format;
                    o.filters = filters;
                    o.sort = sort;
                    const Json extra{{"total", 4}};
                    std::string want = WriteListing(nullptr, o, listing, json, extra, lines);
                    std::string got = WriteListing(nullptr, o, listing, typed, extra, lines);
                    if (lines && format == Format::kJson) {  // timestamps may differ
                        want = want.substr(want.find("\"recs\""));
                        got = got.substr(got.find("\"recs\""));
                    }
                    EXPECT_EQ(got, want) << static_cast<int>(format) << " " << sort;
                }
}

}  // namespace
}  // namespace share::tools::test
