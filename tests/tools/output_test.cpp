// SPDX-License-Identifier: Apache-2.0
// The output layer's pieces: screen widths, CSV/TSV fields, the filters and the sort.
#include "output/output.h"

#include <gtest/gtest.h>

namespace share::tools::test {
namespace {

TEST(Output, DisplayWidthCountsScreenColumns) {
    const std::pair<std::string, size_t> cases[] = {
        {"plain", 5},
        {"資料", 4},
        {"cafe\xCC\x81", 4},  // e + combining acute
        {"ｆｕｌｌ", 8},
        {"\xF0\x9F\x98\x80", 2},  // emoji
        {"\xFF\xFEz", 3},         // stray bytes count one each
        {"", 0},
    };
    for (const auto &[text, width] : cases) EXPECT_EQ(DisplayWidth(text), width) << text;
}

TEST(Output, TableAlignsWideAndCombiningCells) {
    Table t({"NAME", "X"});
    t.Row({"資料", "1"});
    t.Row({"cafe\xCC\x81", "2"});
    t.Row({"ab", "3"});
    EXPECT_EQ(t.Render(), "NAME  X\n資料  1\ncafe\xCC\x81  2\nab    3\n");
    EXPECT_EQ(t.Render(false), "資料  1\ncafe\xCC\x81  2\nab    3\n");
}

TEST(Output, CsvQuotesOnlyWhenNeededAndTsvEscapes) {
    const std::tuple<std::string, std::string, std::string> cases[] = {
        {"plain", "plain", "plain"},
        {"a,b", "\"a,b\"", "a,b"},
        {"say \"hi\"", "\"say \"\"hi\"\"\"", "say \"hi\""},
        {"two\nlines", "\"two\nlines\"", "two\\nlines"},
        {"tab\there", "tab\there", "tab\\there"},
        {"back\\slash\r", "\"back\\slash\r\"", "back\\\\slash\\r"},
    };
    for (const auto &[text, csv, tsv] : cases) {
        EXPECT_EQ(CsvField(text), csv) << text;
        EXPECT_EQ(TsvField(text), tsv) << text;
    }
}

TEST(Output, FiltersAndSortSelectRows) {
    const Json rows = Json::parse(R"([
        {"id": 1, "user": "cn=mike,ou=a,o=x", "idle_seconds": 30, "path": "VOL1:/a/b"},
        {"id": 2, "user": "cn=Alice,ou=b,o=x", "idle_seconds": 900, "path": "VOL2:/c"},
        {"id": 3, "user": "mike", "idle_seconds": 900, "path": "vol1:/A/z"}])");
    struct Case {
        std::vector<ActiveFilter> filters;
        std::string sort;
        std::vector<int> ids;
    };
    const Case cases[] = {
        {{{"user", ListingFilter::kName, "MIKE"}}, "", {1, 3}},
        {{{"user", ListingFilter::kName, "alice"}}, "", {2}},
        {{{"user", ListingFilter::kEquals, "mike"}}, "", {3}},
        {{{"user", ListingFilter::kName, "ou=a"}}, "", {}},
        {{{"idle_seconds", ListingFilter::kOver, "30"}}, "", {2, 3}},
        {{{"idle_seconds", ListingFilter::kOver, "soon"}}, "", {}},
        {{{"path", ListingFilter::kPrefix, "VOL1:/a"}}, "", {1, 3}},
        {{{"path", ListingFilter::kPrefix, "VOL1:/a"},
          {"idle_seconds", ListingFilter::kOver, "60"}},
         "",
         {3}},
        {{{"missing", ListingFilter::kEquals, ""}}, "", {}},
        {{}, "-idle_seconds", {2, 3, 1}},  // stable: equal keys keep their order
        {{}, "idle_seconds", {1, 2, 3}},
        {{}, "-id", {3, 2, 1}},
    };
    for (const auto &c : cases) {
        OutputOptions o;
        o.filters = c.filters;
        o.sort = c.sort;
        std::vector<int> ids;
        for (const auto &r : SelectRows(o, rows)) ids.push_back(r["id"].get<int>());
        EXPECT_EQ(ids, c.ids) << (c.filters.empty() ? c.sort : c.filters[0].value);
    }
}

TEST(Output, DocumentsLeadWithTheirVersionAndTimesHaveTheirText) {
    const Json doc = Document(Json{{"count", 3}});
    EXPECT_EQ(doc.dump(), R"({"schema_version":1,"count":3})");
    EXPECT_EQ(Document(doc), doc);
    EXPECT_EQ(Document(Json::array({1})).dump(), R"({"schema_version":1,"value":[1]})");
    Json r = Json::object();
    SetTime(r, "login_time", 1796770200);
    SetTime(r, "expires_at", 0);
    EXPECT_EQ(r.dump(), R"({"login_time":1796770200,"login_time_rfc3339":"2026-12-08T22:50:00Z",)"
                        R"("expires_at":0,"expires_at_rfc3339":null})");
}

}  // namespace
}  // namespace share::tools::test
