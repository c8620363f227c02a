// SPDX-License-Identifier: Apache-2.0
// How both tools shape and print their results: every document is one JSON object led by
// "schema_version"; a listing is described once (columns, filters, footer) and written as a
// table, JSON, CSV or TSV from the same JSON rows, made one at a time from the records.
#pragma once

#include <CLI/CLI.hpp>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
#include <vector>

namespace share::tools {

using Json = nlohmann::ordered_json;

inline constexpr int kSchemaVersion = 1;

enum class Format { kTable, kJson, kCsv, kTsv };

// One filter a listing accepts: --user VALUE keeps the rows whose "user" matches.
struct ListingFilter {
    // Equal or prefix (ASCII case ignored); a number over the value; a name: equal to the whole
    // value or to its first component's (cn=alice,ou=staff matches alice).
    enum Match { kEquals, kPrefix, kOver, kName };
    const char *option;
    const char *key;
    Match match;
    const char *help;
    std::vector<std::string> accepted = {};  // the values accepted; empty: any
};

// One column of a listing: the row's key (also the CSV/TSV header and the --sort name), the
// table's header, and how the table shows it: text from the whole row, or format of the value
// (default: the value as text).
struct Column {
    const char *key;
    const char *header;
    std::string (*text)(const Json &row) = nullptr;
    std::string (*format)(const Json &value) = nullptr;
};

struct Listing {
    const char *key;  // the document's key of the rows: "connections"
    std::vector<Column> columns;
    std::vector<ListingFilter> filters = {};
    const char *empty = nullptr;  // table text for no rows
    // Table lines after the rows, from the number of rows shown and the document's extras.
    std::string (*footer)(size_t shown, const Json &extra) = nullptr;
};

struct ActiveFilter {
    std::string key;
    ListingFilter::Match match;
    std::string value;
};

// The global output options and the parsed listing's filters and sort.
struct OutputOptions {
    Format format = Format::kTable;
    bool headers = true;
    std::vector<ActiveFilter> filters;
    std::string sort;  // column key, "-" first for descending; empty: as the server sent them
};

// --json, --format and --no-headers on the tool's top level (accepted after the subcommand too).
void AddOutputOptions(CLI::App &app, OutputOptions &options);
// A listing's filters and --sort on its subcommand, validated while parsing.
void AddListingOptions(CLI::App *cmd, OutputOptions &options, const Listing &listing);

// body as a document: an object led by "schema_version" (a non-object goes under "value").
Json Document(const Json &body);

// key's epoch seconds and, under key + "_rfc3339", the same time as RFC 3339 UTC text (null
// for 0, which the server sends for "never").
void SetTime(Json &record, const std::string &key, int64_t epochSeconds);
std::string FormatRfc3339(int64_t epochSeconds);
// epochSeconds through strftime's format, in UTC or local time.
std::string FormatEpoch(int64_t epochSeconds, const char *format, bool utc);

// A result ready to print: the document and its text in the chosen format.
struct Rendered {
    Json doc;
    std::string text;
};

// A listing's rows by index, each made as its JSON object only when asked for: no document
// of all rows is held while a listing is written.
struct RowSource {
    size_t size = 0;
    std::function<Json(size_t)> row;
};
// Rows already made (each element of an array; anything else is one row). rows must outlive
// the source.
RowSource JsonRows(const Json &rows);
// A source over records, each made into its row by make.
template <class Record, class Make>
RowSource RowsOf(const Record *records, size_t count, Make make) {
    return {count, [records, make](size_t i) { return Json(make(records[i])); }};
}

// The indices of the rows to show, in their order: filtered and sorted as options say.
std::vector<size_t> SelectRows(const OutputOptions &options, const RowSource &rows);
// The listing in the chosen format, written to file row by row (the text is returned instead
// when file is null). JSON: {"schema_version", the rows under the listing's key, extra}, led
// by a "timestamp" and on one line as JSON Lines when lines is set.
std::string WriteListing(std::FILE *file, const OutputOptions &options, const Listing &listing,
                         const RowSource &rows, const Json &extra = Json::object(),
                         bool lines = false);

// rows filtered and sorted as options say, wrapped with extra into a document, and rendered.
Rendered RenderListing(const OutputOptions &options, const Listing &listing, Json rows,
                       const Json &extra = Json::object());
// A detail view: table text as given; CSV/TSV one header row and one row of the document.
Rendered RenderDetail(const OutputOptions &options, const Json &doc, const std::string &text);

// Filtering and sorting alone (what RenderListing applies).
Json SelectRows(const OutputOptions &options, Json rows);

// One line of a table: each cell padded to its column's width and two spaces, the line's end
// trimmed.
std::string TableLine(const std::vector<size_t> &width, const std::vector<std::string> &cells);
// One CSV (CRLF) or TSV line of cells.
std::string DelimitedLine(Format format, const std::vector<std::string> &cells);

// Left-aligned text table with a header row; columns as wide as their widest cell on screen.
class Table {
  public:
    explicit Table(std::vector<std::string> headers) : headers_(std::move(headers)) {}
    void Row(std::vector<std::string> cells) { rows_.push_back(std::move(cells)); }
    size_t size() const { return rows_.size(); }
    std::string Render(bool withHeaders = true) const;

  private:
    std::vector<std::string> headers_;
    std::vector<std::vector<std::string>> rows_;
};

// "name: value" lines, names padded to one column.
std::string KeyValues(const std::vector<std::pair<std::string, std::string>> &rows);

// Columns a UTF-8 text takes on a terminal: East Asian wide characters 2, combining marks 0.
size_t DisplayWidth(std::string_view text);

// One field of a CSV (RFC 4180: quoted when it holds a comma, quote or line break) or TSV
// (tab, line breaks and backslash escaped) record.
std::string CsvField(std::string_view text);
std::string TsvField(std::string_view text);
// A JSON value as a cell: strings as they are, null empty, arrays and objects as compact JSON.
std::string CellText(const Json &value);

}  // namespace share::tools
