// SPDX-License-Identifier: Apache-2.0
#include "output/output.h"

#include <algorithm>
#include <charconv>
#include <ctime>

namespace share::tools {

namespace {

char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualsFolded(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [](char x, char y) { return Lower(x) == Lower(y); });
}

std::string Join(const std::vector<std::string> &items) {
    std::string out;
    for (const auto &i : items) out += (out.empty() ? "" : ", ") + i;
    return out;
}

bool ParseSeconds(std::string_view text, uint64_t *out) {
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), *out);
    return !text.empty() && ec == std::errc() && end == text.data() + text.size();
}

// The row's value under key; a row that is a plain value is its own only field.
const Json *Field(const Json &row, const std::string &key) {
    if (!row.is_object()) return &row;
    const auto it = row.find(key);
    return it == row.end() ? nullptr : &*it;
}

// A filter ready to test rows: its number parsed once.
struct Test {
    const ActiveFilter *filter;
    uint64_t limit = 0;
};

bool Matches(const Test &t, const Json &row) {
    const ActiveFilter &f = *t.filter;
    const Json *it = Field(row, f.key);
    if (it == nullptr) return false;
    if (f.match == ListingFilter::kOver) return it->is_number() && it->get<uint64_t>() > t.limit;
    const std::string text = it->is_string() ? std::string() : CellText(*it);
    const std::string_view value =
        it->is_string() ? std::string_view(it->get_ref<const std::string &>()) : text;
    if (f.match == ListingFilter::kPrefix)
        return value.size() >= f.value.size() &&
               EqualsFolded(value.substr(0, f.value.size()), f.value);
    if (f.match == ListingFilter::kName && !EqualsFolded(value, f.value)) {
        const size_t eq = value.find('='), comma = value.find(',');
        if (eq == std::string_view::npos || eq > comma) return false;
        return EqualsFolded(value.substr(eq + 1, comma - eq - 1), f.value);
    }
    return EqualsFolded(value, f.value);
}

// One UTF-8 sequence at text[at]: its code point and length; a stray byte counts as itself.
char32_t Decode(std::string_view text, size_t at, size_t *length) {
    const auto b = static_cast<unsigned char>(text[at]);
    const size_t n = b < 0x80           ? 1
                     : (b >> 5) == 0x6  ? 2
                     : (b >> 4) == 0xE  ? 3
                     : (b >> 3) == 0x1E ? 4
                                        : 0;
    if (n <= 1 || at + n > text.size()) {
        *length = 1;
        return b;
    }
    char32_t cp = b & (0x7F >> n);
    for (size_t i = 1; i < n; ++i) {
        const auto c = static_cast<unsigned char>(text[at + i]);
        if ((c & 0xC0) != 0x80) {
            *length = 1;
            return b;
        }
        cp = (cp << 6) | (c & 0x3F);
    }
    *length = n;
    return cp;
}

struct Range {
    char32_t first, last;
};

// Combining marks and zero-width characters.
constexpr Range kZeroWidth[] = {
    {0x0300, 0x036F}, {0x0483, 0x0489}, {0x0591, 0x05BD}, {0x05BF, 0x05BF}, {0x05C1, 0x05C2},
    {0x05C4, 0x05C5}, {0x05C7, 0x05C7}, {0x0610, 0x061A}, {0x064B, 0x065F}, {0x0670, 0x0670},
    {0x06D6, 0x06DC}, {0x06DF, 0x06E4}, {0x06E7, 0x06E8}, {0x06EA, 0x06ED}, {0x0900, 0x0902},
    {0x093A, 0x093A}, {0x093C, 0x093C}, {0x0941, 0x0948}, {0x094D, 0x094D}, {0x0951, 0x0957},
    {0x0E31, 0x0E31}, {0x0E34, 0x0E3A}, {0x0E47, 0x0E4E}, {0x1AB0, 0x1AFF}, {0x1DC0, 0x1DFF},
    {0x200B, 0x200F}, {0x202A, 0x202E}, {0x2060, 0x2064}, {0x20D0, 0x20FF}, {0x302A, 0x302D},
    {0x3099, 0x309A}, {0xFE00, 0xFE0F}, {0xFE20, 0xFE2F}, {0xFEFF, 0xFEFF}, {0xE0100, 0xE01EF},
};

// East Asian wide and fullwidth characters.
constexpr Range kWide[] = {
    {0x1100, 0x115F},   {0x231A, 0x231B},   {0x2329, 0x232A},   {0x2E80, 0x303E},
    {0x3041, 0x33FF},   {0x3400, 0x4DBF},   {0x4E00, 0x9FFF},   {0xA000, 0xA4CF},
    {0xA960, 0xA97F},   {0xAC00, 0xD7A3},   {0xF900, 0xFAFF},   {0xFE10, 0xFE19},
    {0xFE30, 0xFE6F},   {0xFF00, 0xFF60},   {0xFFE0, 0xFFE6},   {0x1F300, 0x1F64F},
    {0x1F900, 0x1F9FF}, {0x20000, 0x2FFFD}, {0x30000, 0x3FFFD},
};

template <size_t N>
bool In(const Range (&ranges)[N], char32_t cp) {
    return std::any_of(std::begin(ranges), std::end(ranges),
                       [cp](const Range &r) { return cp >= r.first && cp <= r.last; });
}

std::string Record(const OutputOptions &o, const std::vector<std::string> &cells) {
    std::string line;
    for (size_t i = 0; i < cells.size(); ++i) {
        if (i) line += o.format == Format::kCsv ? "," : "\t";
        line += o.format == Format::kCsv ? CsvField(cells[i]) : TsvField(cells[i]);
    }
    return line + (o.format == Format::kCsv ? "\r\n" : "\n");
}

std::string ValueText(const Json &row, const Column &c) {
    if (c.text) return c.text(row);
    const Json *it = Field(row, c.key);
    if (it == nullptr) return "";
    if (it->is_boolean()) return it->get<bool>() ? "yes" : "no";
    return CellText(*it);
}

}  // namespace

void AddOutputOptions(CLI::App &app, OutputOptions &o) {
    static const std::pair<std::string, Format> names[] = {{"table", Format::kTable},
                                                           {"json", Format::kJson},
                                                           {"csv", Format::kCsv},
                                                           {"tsv", Format::kTsv}};
    std::vector<std::string> accepted;
    for (const auto &[name, f] : names) accepted.push_back(name);
    CLI::Option *format = app.add_option_function<std::string>(
                                 "--format",
                                 [&o](const std::string &v) {
                                     for (const auto &[name, f] : names)
                                         if (v == name) o.format = f;
                                 },
                                 "Output format: " + Join(accepted) + " (default table)")
                              ->check(CLI::IsMember(accepted))
                              ->type_name("FORMAT");
    app.add_flag_callback(
           "--json", [&o] { o.format = Format::kJson; }, "Same as --format json")
        ->excludes(format);
    app.add_flag_callback(
        "--no-headers", [&o] { o.headers = false; },
        "Leave out the header row of tables, CSV and TSV");
}

void AddListingOptions(CLI::App *cmd, OutputOptions &o, const Listing &listing) {
    for (const ListingFilter &f : listing.filters) {
        std::vector<std::string> accepted = f.accepted;
        CLI::Option *opt = cmd->add_option_function<std::string>(
            f.option,
            [&o, f](const std::string &v) {
                o.filters.push_back({f.key, f.match, v});
            },
            f.help);
        if (f.match == ListingFilter::kOver) {
            opt->type_name("SECONDS")->check(CLI::Validator(
                [](std::string &v) -> std::string {
                    uint64_t n = 0;
                    return ParseSeconds(v, &n) ? "" : "'" + v + "' is not a number of seconds";
                },
                "SECONDS"));
        } else if (!accepted.empty()) {
            opt->check(CLI::Validator(
                [accepted](std::string &v) -> std::string {
                    for (const auto &a : accepted)
                        if (EqualsFolded(v, a)) return "";
                    return "'" + v + "' is not accepted; accepted values: " + Join(accepted);
                },
                Join(accepted)));
        }
    }
    std::vector<std::string> keys;
    for (const Column &c : listing.columns) keys.push_back(c.key);
    cmd->add_option("--sort", o.sort,
                    "Sort by this field (a column's key; prefix - for descending): " + Join(keys))
        ->type_name("FIELD")
        ->check(CLI::Validator(
            [keys](std::string &v) -> std::string {
                const std::string key = v.starts_with('-') ? v.substr(1) : v;
                if (std::find(keys.begin(), keys.end(), key) != keys.end()) return "";
                return "unknown field '" + v + "'; accepted fields: " + Join(keys);
            },
            "FIELD"));
}

Json Document(const Json &body) {
    if (body.is_object() && !body.empty() && body.begin().key() == "schema_version") return body;
    Json doc{{"schema_version", kSchemaVersion}};
    if (body.is_object())
        for (const auto &[k, v] : body.items()) doc[k] = v;
    else
        doc["value"] = body;
    return doc;
}

std::string FormatEpoch(int64_t epochSeconds, const char *format, bool utc) {
    const time_t t = static_cast<time_t>(epochSeconds);
    tm parts{};
    if (utc)
        gmtime_r(&t, &parts);
    else
        localtime_r(&t, &parts);
    char buf[32];
    std::strftime(buf, sizeof buf, format, &parts);
    return buf;
}

std::string FormatRfc3339(int64_t epochSeconds) {
    return FormatEpoch(epochSeconds, "%Y-%m-%dT%H:%M:%SZ", true);
}

void SetTime(Json &record, const std::string &key, int64_t epochSeconds) {
    record[key] = epochSeconds;
    record[key + "_rfc3339"] = epochSeconds > 0 ? Json(FormatRfc3339(epochSeconds)) : Json();
}

Json SelectRows(const OutputOptions &o, Json rows) {
    if (!o.filters.empty()) {
        std::vector<Test> tests;
        for (const auto &f : o.filters) {
            Test t{&f};
            if (f.match == ListingFilter::kOver && !ParseSeconds(f.value, &t.limit))
                return Json::array();
            tests.push_back(t);
        }
        Json kept = Json::array();
        for (auto &row : rows)
            if (std::all_of(tests.begin(), tests.end(),
                            [&](const Test &t) { return Matches(t, row); }))
                kept.push_back(std::move(row));
        rows = std::move(kept);
    }
    if (!o.sort.empty()) {
        const bool descending = o.sort.starts_with('-');
        const std::string key = descending ? o.sort.substr(1) : o.sort;
        // Each row's key looked up once; the rows move once, into their sorted places.
        static const Json none;
        std::vector<std::pair<const Json *, size_t>> order;
        order.reserve(rows.size());
        for (size_t i = 0; i < rows.size(); ++i) {
            const Json *v = Field(rows[i], key);
            order.push_back({v ? v : &none, i});
        }
        std::stable_sort(order.begin(), order.end(), [descending](const auto &a, const auto &b) {
            return descending ? *b.first < *a.first : *a.first < *b.first;
        });
        Json sorted = Json::array();
        sorted.get_ref<Json::array_t &>().reserve(rows.size());
        for (const auto &[v, i] : order) sorted.push_back(std::move(rows[i]));
        rows = std::move(sorted);
    }
    return rows;
}

Rendered RenderListing(const OutputOptions &o, const Listing &listing, Json rows,
                       const Json &extra) {
    Rendered r{Json::object(), ""};
    r.doc["schema_version"] = kSchemaVersion;
    r.doc[listing.key] = SelectRows(o, std::move(rows));
    for (const auto &[k, v] : extra.items()) r.doc[k] = v;
    const Json &list = r.doc[listing.key];
    switch (o.format) {
        case Format::kJson:
            break;
        case Format::kTable: {
            if (list.empty() && listing.empty) {
                r.text = listing.empty;
            } else {
                std::vector<std::string> headers;
                for (const auto &c : listing.columns) headers.push_back(c.header);
                Table t(headers);
                for (const auto &row : list) {
                    std::vector<std::string> cells;
                    for (const auto &c : listing.columns) cells.push_back(ValueText(row, c));
                    t.Row(std::move(cells));
                }
                r.text = t.Render(o.headers);
            }
            if (listing.footer) r.text += listing.footer(r.doc);
            break;
        }
        case Format::kCsv:
        case Format::kTsv: {
            std::vector<std::string> cells;
            if (o.headers) {
                for (const auto &c : listing.columns) cells.push_back(c.key);
                r.text = Record(o, cells);
            }
            for (const auto &row : list) {
                cells.clear();
                for (const auto &c : listing.columns) {
                    const Json *v = Field(row, c.key);
                    cells.push_back(v ? CellText(*v) : "");
                }
                r.text += Record(o, cells);
            }
            break;
        }
    }
    return r;
}

Rendered RenderDetail(const OutputOptions &o, const Json &doc, const std::string &text) {
    Rendered r{Document(doc), text};
    if (o.format != Format::kCsv && o.format != Format::kTsv) return r;
    std::vector<std::string> keys, cells;
    for (const auto &[k, v] : r.doc.items()) {
        if (k == "schema_version") continue;
        keys.push_back(k);
        cells.push_back(CellText(v));
    }
    r.text = (o.headers ? Record(o, keys) : "") + Record(o, cells);
    return r;
}

std::string Table::Render(bool withHeaders) const {
    std::vector<size_t> width(headers_.size());
    if (withHeaders)
        for (size_t i = 0; i < headers_.size(); ++i) width[i] = DisplayWidth(headers_[i]);
    for (const auto &r : rows_)
        for (size_t i = 0; i < r.size() && i < width.size(); ++i)
            width[i] = std::max(width[i], DisplayWidth(r[i]));
    std::string out;
    auto line = [&](const std::vector<std::string> &cells) {
        std::string l;
        for (size_t i = 0; i < headers_.size(); ++i) {
            const std::string cell = i < cells.size() ? cells[i] : "";
            l += cell;
            if (i + 1 < headers_.size()) l += std::string(width[i] - DisplayWidth(cell) + 2, ' ');
        }
        while (!l.empty() && l.back() == ' ') l.pop_back();
        out += l + "\n";
    };
    if (withHeaders) line(headers_);
    for (const auto &r : rows_) line(r);
    return out;
}

std::string KeyValues(const std::vector<std::pair<std::string, std::string>> &rows) {
    size_t width = 0;
    for (const auto &[k, v] : rows) width = std::max(width, DisplayWidth(k));
    std::string out;
    for (const auto &[k, v] : rows)
        out += k + ":" + std::string(width - DisplayWidth(k) + 1, ' ') + v + "\n";
    return out;
}

size_t DisplayWidth(std::string_view text) {
    size_t width = 0;
    for (size_t at = 0, n = 0; at < text.size(); at += n) {
        const char32_t cp = Decode(text, at, &n);
        width += In(kZeroWidth, cp) ? 0u : In(kWide, cp) ? 2u : 1u;
    }
    return width;
}

std::string CsvField(std::string_view text) {
    if (text.find_first_of(",\"\r\n") == std::string_view::npos) return std::string(text);
    std::string out = "\"";
    for (char c : text) out += c == '"' ? std::string("\"\"") : std::string(1, c);
    return out + "\"";
}

std::string TsvField(std::string_view text) {
    std::string out;
    for (char c : text) {
        switch (c) {
            case '\t':
                out += "\\t";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\\':
                out += "\\\\";
                break;
            default:
                out += c;
        }
    }
    return out;
}

std::string CellText(const Json &value) {
    if (value.is_string()) return value.get<std::string>();
    if (value.is_null()) return "";
    return value.dump();
}

}  // namespace share::tools
