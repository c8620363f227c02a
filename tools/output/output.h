// SPDX-License-Identifier: Apache-2.0
// How both tools shape and print their results: every document is one JSON object led by
// "schema_version"; a listing is described once (columns, filters, footer) and written as a
// table, JSON, CSV or TSV from the same rows, read one at a time from the records.
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

// One field's value in a row: a typed record's own value, read without a JSON value made for
// it, or a value of a JSON row. kAbsent: the row has no such field.
struct Value {
    enum Kind : uint8_t { kAbsent, kNull, kBool, kSigned, kUnsigned, kText, kRfc3339, kJson };
    Kind kind = kAbsent;
    bool flag = false;
    int64_t number = 0;  // kSigned, and the epoch seconds of kRfc3339
    uint64_t unsignedNumber = 0;
    std::string_view text;
    const Json *json = nullptr;

    static Value Bool(bool b) {
        Value v;
        v.kind = kBool;
        v.flag = b;
        return v;
    }
    static Value Signed(int64_t n) {
        Value v;
        v.kind = kSigned;
        v.number = n;
        return v;
    }
    static Value Unsigned(uint64_t n) {
        Value v;
        v.kind = kUnsigned;
        v.unsignedNumber = n;
        return v;
    }
    static Value Text(std::string_view t) {
        Value v;
        v.kind = kText;
        v.text = t;
        return v;
    }
    // A time as RFC 3339 UTC text; null for 0 and before (the server's "never").
    static Value Rfc3339(int64_t epochSeconds) {
        Value v;
        v.kind = epochSeconds > 0 ? kRfc3339 : kNull;
        v.number = epochSeconds;
        return v;
    }
};
// The value as JSON (null when absent).
Json ToJson(const Value &value);

// A typed record's field: its key in the row and how it is read.
template <class Record>
struct FieldOf {
    const char *key;
    Value (*get)(const Record &record);
};
// The record as the JSON object of its fields, in their order.
template <class Record>
Json RecordJson(const Record &record, const std::vector<FieldOf<Record>> &fields) {
    Json j = Json::object();
    for (const auto &f : fields) j[f.key] = ToJson(f.get(record));
    return j;
}

// A listing's rows by index, made only when asked for: no document of all rows is held while a
// listing is written. Either each row as its JSON object (row), or, for typed records, every
// row's field keys and row i's values in their order (values), read straight from the record.
struct RowSource {
    size_t size = 0;
    std::function<Json(size_t)> row;
    std::vector<const char *> keys;
    std::function<void(size_t, Value *)> values;
};

// The row being read, of either kind of source.
class RowView {
  public:
    explicit RowView(const RowSource &source);
    void Load(size_t i);
    // The value under key. A JSON row that is a plain value is its own only field.
    Value Get(std::string_view key) const;
    // Where key is among a typed source's fields (npos: not there, or JSON rows).
    size_t Index(std::string_view key) const;
    Value At(size_t index) const { return values_[index]; }
    bool typed() const { return !source_.keys.empty(); }
    const Json &json() const { return json_; }
    const std::vector<const char *> &keys() const { return source_.keys; }

  private:
    const RowSource &source_;
    Json json_;
    std::vector<Value> values_;
};

// One column of a listing: the row's key (also the CSV/TSV header and the --sort name), the
// table's header, and how the table shows it: text from the whole row, or format of the value
// (default: the value as text).
struct Column {
    const char *key;
    const char *header;
    std::string (*text)(const RowView &row) = nullptr;
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
// The same into out (at least 32 bytes); its length.
size_t FormatRfc3339(int64_t epochSeconds, char *out);
// epochSeconds through strftime's format, in UTC or local time.
std::string FormatEpoch(int64_t epochSeconds, const char *format, bool utc);

// A result ready to print: the document and its text in the chosen format.
struct Rendered {
    Json doc;
    std::string text;
};

// Rows already made (each element of an array; anything else is one row). rows must outlive
// the source.
RowSource JsonRows(const Json &rows);
// A source over records, each made into its JSON row by make.
template <class Record, class Make>
RowSource RowsOf(const Record *records, size_t count, Make make) {
    return {count, [records, make](size_t i) { return Json(make(records[i])); }, {}, {}};
}
// A source over typed records, read field by field; fields must outlive the source.
template <class Record>
RowSource FieldRows(const Record *records, size_t count,
                    const std::vector<FieldOf<Record>> &fields) {
    RowSource s;
    s.size = count;
    s.row = [records, &fields](size_t i) { return RecordJson(records[i], fields); };
    for (const auto &f : fields) s.keys.push_back(f.key);
    s.values = [records, &fields](size_t i, Value *out) {
        for (const auto &f : fields) *out++ = f.get(records[i]);
    };
    return s;
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
// The same of a row's value (absent: empty).
void AppendCellText(std::string &out, const Value &value);

}  // namespace share::tools
