// SPDX-License-Identifier: Apache-2.0
#include "output/output.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <ctime>

namespace share::tools {

namespace {

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

}  // namespace

void AddOutputOptions(CLI::App &app, OutputOptions &o) {
    static const std::pair<std::string, Format> names[] = {{"table", Format::kTable},
                                                           {"json", Format::kJson},
                                                           {"csv", Format::kCsv},
                                                           {"tsv", Format::kTsv}};
    std::vector<std::string> accepted;
    std::string help;
    for (const auto &[name, f] : names) {
        accepted.push_back(name);
        help += (help.empty() ? "" : ", ") + name;
    }
    CLI::Option *format = app.add_option_function<std::string>(
                                 "--format",
                                 [&o](const std::string &v) {
                                     for (const auto &[name, f] : names)
                                         if (v == name) o.format = f;
                                 },
                                 "Output format: " + help + " (default table)")
                              ->check(CLI::IsMember(accepted))
                              ->type_name("FORMAT");
    app.add_flag_callback(
           "--json", [&o] { o.format = Format::kJson; }, "Same as --format json")
        ->excludes(format);
    app.add_flag_callback(
        "--no-headers", [&o] { o.headers = false; },
        "Leave out the header row of tables, CSV and TSV");
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

size_t FormatRfc3339(int64_t epochSeconds, char *out) {
    // Days to the civil date directly (listings print one per row); outside years 1970-9999
    // through the C library, which prints those its own way.
    constexpr int64_t kYear10000 = 253402300800;
    if (epochSeconds < 0 || epochSeconds >= kYear10000) {
        const std::string text = FormatEpoch(epochSeconds, "%Y-%m-%dT%H:%M:%SZ", true);
        return text.copy(out, 31);
    }
    const int64_t days = epochSeconds / 86400, secs = epochSeconds % 86400;
    const int64_t z = days + 719468, era = z / 146097, doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100), mp = (5 * doy + 2) / 153;
    const int64_t day = doy - (153 * mp + 2) / 5 + 1, month = mp < 10 ? mp + 3 : mp - 9;
    const int64_t year = yoe + era * 400 + (month <= 2);
    auto put = [&out](size_t at, int64_t value, size_t digits) {
        for (size_t i = digits; i-- > 0; value /= 10)
            out[at + i] = static_cast<char>('0' + value % 10);
    };
    std::memcpy(out, "0000-00-00T00:00:00Z", 20);
    put(0, year, 4);
    put(5, month, 2);
    put(8, day, 2);
    put(11, secs / 3600, 2);
    put(14, secs / 60 % 60, 2);
    put(17, secs % 60, 2);
    return 20;
}

std::string FormatRfc3339(int64_t epochSeconds) {
    char text[32];
    return std::string(text, FormatRfc3339(epochSeconds, text));
}

void SetTime(Json &record, const std::string &key, int64_t epochSeconds) {
    record[key] = epochSeconds;
    record[key + "_rfc3339"] = epochSeconds > 0 ? Json(FormatRfc3339(epochSeconds)) : Json();
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
    r.text = (o.headers ? DelimitedLine(o.format, keys) : "") + DelimitedLine(o.format, cells);
    return r;
}

std::string TableLine(const std::vector<size_t> &width, const std::vector<std::string> &cells) {
    std::string l;
    for (size_t i = 0; i < width.size(); ++i) {
        const std::string_view cell = i < cells.size() ? std::string_view(cells[i]) : "";
        l += cell;
        if (i + 1 < width.size()) l.append(width[i] - DisplayWidth(cell) + 2, ' ');
    }
    while (!l.empty() && l.back() == ' ') l.pop_back();
    return l + "\n";
}

std::string DelimitedLine(Format format, const std::vector<std::string> &cells) {
    const bool csv = format == Format::kCsv;
    std::string line;
    for (size_t i = 0; i < cells.size(); ++i) {
        if (i) line += csv ? "," : "\t";
        line += csv ? CsvField(cells[i]) : TsvField(cells[i]);
    }
    return line + (csv ? "\r\n" : "\n");
}

std::string Table::Render(bool withHeaders) const {
    std::vector<size_t> width(headers_.size());
    if (withHeaders)
        for (size_t i = 0; i < headers_.size(); ++i) width[i] = DisplayWidth(headers_[i]);
    for (const auto &r : rows_)
        for (size_t i = 0; i < r.size() && i < width.size(); ++i)
            width[i] = std::max(width[i], DisplayWidth(r[i]));
    std::string out;
    if (withHeaders) out += TableLine(width, headers_);
    for (const auto &r : rows_) out += TableLine(width, r);
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
        // Below the first combining mark every character takes one column.
        width += cp < 0x300 ? 1u : In(kZeroWidth, cp) ? 0u : In(kWide, cp) ? 2u : 1u;
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

void AppendCellText(std::string &out, const Value &value) {
    char text[32];
    switch (value.kind) {
        case Value::kAbsent:
        case Value::kNull:
            return;
        case Value::kBool:
            out += value.flag ? "true" : "false";
            return;
        case Value::kSigned:
            out.append(text, std::to_chars(text, text + sizeof text, value.number).ptr);
            return;
        case Value::kUnsigned:
            out.append(text, std::to_chars(text, text + sizeof text, value.unsignedNumber).ptr);
            return;
        case Value::kText:
            out += value.text;
            return;
        case Value::kRfc3339:
            out.append(text, FormatRfc3339(value.number, text));
            return;
        case Value::kJson:
            out += CellText(*value.json);
            return;
    }
}

Json ToJson(const Value &value) {
    switch (value.kind) {
        case Value::kAbsent:
        case Value::kNull:
            return nullptr;
        case Value::kBool:
            return value.flag;
        case Value::kSigned:
            return value.number;
        case Value::kUnsigned:
            return value.unsignedNumber;
        case Value::kText:
            return std::string(value.text);
        case Value::kRfc3339:
            return FormatRfc3339(value.number);
        case Value::kJson:
            return *value.json;
    }
    return nullptr;
}

}  // namespace share::tools
