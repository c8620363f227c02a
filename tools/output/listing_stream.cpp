// SPDX-License-Identifier: Apache-2.0
// Listings written row by row: each row is made from its record when it is needed, tested,
// keyed for the sort and printed, so that no document of all rows is ever held.
#include <algorithm>
#include <charconv>
#include <ctime>

#include "output/output.h"

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

// A filter ready to test rows: its number parsed once.
struct Test {
    const ActiveFilter *filter;
    uint64_t limit = 0;
};

bool Matches(const Test &t, const Value &field) {
    const ActiveFilter &f = *t.filter;
    if (field.kind == Value::kAbsent) return false;
    Json owned;
    const Json *it = field.json;
    if (field.kind != Value::kJson) it = &(owned = ToJson(field));
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

// Where each column's value is in a typed row, found once (npos for JSON rows).
std::vector<size_t> ColumnIndex(const RowView &view, const Listing &listing) {
    std::vector<size_t> index;
    for (const Column &c : listing.columns) index.push_back(view.Index(c.key));
    return index;
}

Value ColumnValue(const RowView &view, const Column &c, size_t index) {
    return index == std::string_view::npos ? view.Get(c.key) : view.At(index);
}

// The table's text of a column's value, after out.
void AppendShown(std::string &out, const RowView &view, const Column &c, size_t index) {
    if (c.text) {
        out += c.text(view);
        return;
    }
    const Value v = ColumnValue(view, c, index);
    if (v.kind == Value::kAbsent) return;
    if (c.format)
        out += c.format(v.kind == Value::kJson ? *v.json : ToJson(v));
    else if (v.kind == Value::kBool || (v.kind == Value::kJson && v.json->is_boolean()))
        out += (v.kind == Value::kBool ? v.flag : v.json->get<bool>()) ? "yes" : "no";
    else
        AppendCellText(out, v);
}

// Writes to a file in large blocks, or gathers the text when there is no file.
class Sink {
  public:
    explicit Sink(std::FILE *file) : file_(file) {}
    ~Sink() { Flush(); }
    void Put(std::string_view text) {
        text_.append(text);
        if (file_ && text_.size() >= kBlock) Flush();
    }
    void Flush() {
        if (file_ && !text_.empty()) std::fwrite(text_.data(), 1, text_.size(), file_);
        if (file_) text_.clear();
    }
    std::string Take() { return std::move(text_); }

  private:
    static constexpr size_t kBlock = 64 * 1024;
    std::FILE *file_;
    std::string text_;
};

// A value as printed inside the document at depth levels of two spaces. Text that is not
// valid UTF-8 is replaced rather than ending the run.
void PutJson(Sink &out, const Json &value, bool compact, int depth) {
    const std::string text =
        value.dump(compact ? -1 : 2, ' ', false, Json::error_handler_t::replace);
    if (compact || text.find('\n') == std::string::npos) return out.Put(text);
    const std::string indent = "\n" + std::string(static_cast<size_t>(depth) * 2, ' ');
    size_t from = 0;
    for (size_t nl; (nl = text.find('\n', from)) != std::string::npos; from = nl + 1) {
        out.Put(std::string_view(text).substr(from, nl - from));
        out.Put(indent);
    }
    out.Put(std::string_view(text).substr(from));
}

// Text as a JSON string: printable ASCII as it is, anything else as the library escapes it.
void PutString(Sink &out, std::string_view text) {
    const bool plain = std::all_of(text.begin(), text.end(), [](char c) {
        return c >= 0x20 && c < 0x7F && c != '"' && c != '\\';
    });
    if (!plain) return PutJson(out, Json(std::string(text)), true, 0);
    out.Put("\"");
    out.Put(text);
    out.Put("\"");
}

void PutValue(Sink &out, const Value &value, bool compact, int depth) {
    char text[32];
    switch (value.kind) {
        case Value::kAbsent:
        case Value::kNull:
            return out.Put("null");
        case Value::kBool:
            return out.Put(value.flag ? "true" : "false");
        case Value::kSigned:
            return out.Put({text, std::to_chars(text, text + sizeof text, value.number).ptr});
        case Value::kUnsigned:
            return out.Put(
                {text, std::to_chars(text, text + sizeof text, value.unsignedNumber).ptr});
        case Value::kText:
            return PutString(out, value.text);
        case Value::kRfc3339:
            return PutString(out, {text, FormatRfc3339(value.number, text)});
        case Value::kJson:
            return PutJson(out, *value.json, compact, depth);
    }
}

// A row as an element of the rows' array (depth 2), as its JSON object would print.
void PutRow(Sink &out, const RowView &view, bool compact) {
    if (!view.typed()) return PutJson(out, view.json(), compact, 2);
    const auto &keys = view.keys();
    if (keys.empty()) return out.Put("{}");
    out.Put("{");
    for (size_t k = 0; k < keys.size(); ++k) {
        out.Put(k ? (compact ? "," : ",\n      ") : (compact ? "" : "\n      "));
        PutString(out, keys[k]);
        out.Put(compact ? ":" : ": ");
        PutValue(out, view.At(k), compact, 3);
    }
    out.Put(compact ? "}" : "\n    }");
}

// The document: version, timestamp (JSON Lines), the rows under the listing's key, the extras.
void WriteJson(Sink &out, const Listing &listing, const RowSource &rows,
               const std::vector<size_t> &order, const Json &extra, bool lines) {
    const char *nl = lines ? "" : "\n  ";
    auto key = [&](const std::string &k) {
        out.Put(nl);
        PutJson(out, Json(k), true, 0);
        out.Put(lines ? ":" : ": ");
    };
    out.Put("{");
    key("schema_version");
    out.Put(std::to_string(kSchemaVersion));
    if (lines) {
        out.Put(",");
        key("timestamp");
        PutJson(out, Json(FormatRfc3339(static_cast<int64_t>(time(nullptr)))), true, 0);
    }
    out.Put(",");
    key(listing.key);
    out.Put("[");
    RowView view(rows);
    for (size_t n = 0; n < order.size(); ++n) {
        out.Put(n ? (lines ? "," : ",\n    ") : (lines ? "" : "\n    "));
        view.Load(order[n]);
        PutRow(out, view, lines);
    }
    if (!order.empty() && !lines) out.Put("\n  ");
    out.Put("]");
    for (const auto &[k, v] : extra.items()) {
        if (k == "schema_version" || k == "timestamp" || k == listing.key) continue;
        out.Put(",");
        key(k);
        PutJson(out, v, lines, 1);
    }
    out.Put(lines ? "}\n" : "\n}\n");
}

// The table: the cells' texts gathered back to back in one pass (far smaller than the rows
// they come from), then the lines at the widest cell of each column.
void WriteTable(Sink &out, const OutputOptions &o, const Listing &listing, const RowSource &rows,
                const std::vector<size_t> &order, const Json &extra) {
    if (order.empty() && listing.empty) {
        out.Put(listing.empty);
    } else {
        const size_t columns = listing.columns.size();
        std::string texts;
        std::vector<size_t> ends;  // where each cell's text ends in texts
        ends.reserve(order.size() * columns);
        std::vector<size_t> width(columns);
        if (o.headers)
            for (size_t c = 0; c < columns; ++c) width[c] = DisplayWidth(listing.columns[c].header);
        RowView view(rows);
        const std::vector<size_t> index = ColumnIndex(view, listing);
        for (size_t i : order) {
            view.Load(i);
            for (size_t c = 0; c < columns; ++c) {
                const size_t start = texts.size();
                AppendShown(texts, view, listing.columns[c], index[c]);
                width[c] = std::max(width[c], DisplayWidth(std::string_view(texts).substr(start)));
                ends.push_back(texts.size());
            }
        }
        std::vector<std::string> cells;
        if (o.headers) {
            for (const auto &c : listing.columns) cells.emplace_back(c.header);
            out.Put(TableLine(width, cells));
        }
        cells.resize(columns);
        for (size_t n = 0, at = 0; n < order.size(); ++n) {
            for (size_t c = 0; c < columns; ++c) {
                const size_t end = ends[n * columns + c];
                cells[c].assign(texts, at, end - at);
                at = end;
            }
            out.Put(TableLine(width, cells));
        }
    }
    if (listing.footer) out.Put(listing.footer(order.size(), extra));
}

void WriteDelimited(Sink &out, const OutputOptions &o, const Listing &listing,
                    const RowSource &rows, const std::vector<size_t> &order) {
    std::vector<std::string> cells;
    if (o.headers) {
        for (const auto &c : listing.columns) cells.emplace_back(c.key);
        out.Put(DelimitedLine(o.format, cells));
    }
    RowView view(rows);
    const std::vector<size_t> index = ColumnIndex(view, listing);
    cells.resize(listing.columns.size());
    for (size_t i : order) {
        view.Load(i);
        for (size_t c = 0; c < cells.size(); ++c) {
            cells[c].clear();
            AppendCellText(cells[c], ColumnValue(view, listing.columns[c], index[c]));
        }
        out.Put(DelimitedLine(o.format, cells));
    }
}

}  // namespace

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

RowView::RowView(const RowSource &source) : source_(source), values_(source.keys.size()) {}

void RowView::Load(size_t i) {
    if (typed())
        source_.values(i, values_.data());
    else
        json_ = source_.row(i);
}

size_t RowView::Index(std::string_view key) const {
    for (size_t k = 0; k < source_.keys.size(); ++k)
        if (key == source_.keys[k]) return k;
    return std::string_view::npos;
}

Value RowView::Get(std::string_view key) const {
    if (typed()) {
        const size_t k = Index(key);
        return k == std::string_view::npos ? Value{} : values_[k];
    }
    Value v;
    v.kind = Value::kJson;
    if (!json_.is_object()) {
        v.json = &json_;
    } else if (const auto it = json_.find(std::string(key)); it != json_.end()) {
        v.json = &*it;
    } else {
        v.kind = Value::kAbsent;
    }
    return v;
}

RowSource JsonRows(const Json &rows) {
    if (!rows.is_array()) return {1, [&rows](size_t) { return rows; }, {}, {}};
    return {rows.size(), [&rows](size_t i) { return rows[i]; }, {}, {}};
}

std::vector<size_t> SelectRows(const OutputOptions &o, const RowSource &rows) {
    std::vector<Test> tests;
    for (const auto &f : o.filters) {
        Test t{&f};
        if (f.match == ListingFilter::kOver && !ParseSeconds(f.value, &t.limit)) return {};
        tests.push_back(t);
    }
    const bool descending = o.sort.starts_with('-');
    const std::string key = descending ? o.sort.substr(1) : o.sort;
    std::vector<size_t> kept;
    std::vector<Json> keys;  // the sort's key of each kept row
    kept.reserve(rows.size);
    RowView view(rows);
    for (size_t i = 0; i < rows.size; ++i) {
        if (tests.empty() && o.sort.empty()) {
            kept.push_back(i);
            continue;
        }
        view.Load(i);
        if (!std::all_of(tests.begin(), tests.end(),
                         [&](const Test &t) { return Matches(t, view.Get(t.filter->key)); }))
            continue;
        kept.push_back(i);
        if (!o.sort.empty()) keys.push_back(ToJson(view.Get(key)));
    }
    if (o.sort.empty()) return kept;
    std::vector<size_t> order(kept.size());
    for (size_t n = 0; n < order.size(); ++n) order[n] = n;
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
        return descending ? keys[b] < keys[a] : keys[a] < keys[b];
    });
    for (size_t &n : order) n = kept[n];
    return order;
}

Json SelectRows(const OutputOptions &o, Json rows) {
    Json kept = Json::array();
    for (size_t i : SelectRows(o, JsonRows(rows))) kept.push_back(std::move(rows[i]));
    return kept;
}

std::string WriteListing(std::FILE *file, const OutputOptions &o, const Listing &listing,
                         const RowSource &rows, const Json &extra, bool lines) {
    const std::vector<size_t> order = SelectRows(o, rows);
    Sink out(file);
    switch (o.format) {
        case Format::kJson:
            WriteJson(out, listing, rows, order, extra, lines);
            break;
        case Format::kTable:
            WriteTable(out, o, listing, rows, order, extra);
            break;
        case Format::kCsv:
        case Format::kTsv:
            WriteDelimited(out, o, listing, rows, order);
            break;
    }
    out.Flush();
    return out.Take();
}

Rendered RenderListing(const OutputOptions &o, const Listing &listing, Json rows,
                       const Json &extra) {
    Rendered r{Json::object(), ""};
    r.doc["schema_version"] = kSchemaVersion;
    r.doc[listing.key] = SelectRows(o, std::move(rows));
    for (const auto &[k, v] : extra.items()) r.doc[k] = v;
    if (o.format == Format::kJson) return r;
    // The rows are already selected: written as they stand.
    OutputOptions plain = o;
    plain.filters.clear();
    plain.sort.clear();
    r.text = WriteListing(nullptr, plain, listing, JsonRows(r.doc[listing.key]), extra);
    return r;
}

}  // namespace share::tools
