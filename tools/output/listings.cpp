// SPDX-License-Identifier: Apache-2.0
#include "output/listings.h"

#include "client/records.h"
#include "output/reporter.h"

namespace share::tools {

namespace {

// A text or flag of a row, as the JSON row's value(key, default) reads it.
std::string TextOf(const RowView &row, const char *key) {
    const Value v = row.Get(key);
    if (v.kind == Value::kText) return std::string(v.text);
    return v.kind == Value::kJson ? v.json->get<std::string>() : "";
}
bool FlagOf(const RowView &row, const char *key) {
    const Value v = row.Get(key);
    if (v.kind == Value::kBool) return v.flag;
    return v.kind == Value::kJson && v.json->get<bool>();
}

std::string User(const RowView &row) {
    const std::string user = TextOf(row, "user");
    return FlagOf(row, "null_session") || user.empty() ? "(null session)" : user;
}
// A number of a row as the table shows it; a missing value as 0.
template <class T, std::string (*Show)(T)>
std::string Shown(const Json &value) {
    return Show(value.is_number() ? value.get<T>() : T{});
}
constexpr auto Duration = Shown<int64_t, FormatDuration>;
constexpr auto Bytes = Shown<uint64_t, FormatBytes>;
constexpr auto Time = Shown<int64_t, FormatTime>;

std::string Kind(const RowView &row) {
    return FlagOf(row, "permanent") ? "permanent" : "temporary";
}
std::string Expires(const RowView &row) {
    if (FlagOf(row, "permanent")) return "never";
    const Value v = row.Get("expires_at");
    return FormatTime(v.kind == Value::kAbsent ? 0 : ToJson(v).get<int64_t>());
}
std::string HeldFiles(const RowView &row) {
    const Value files = row.Get("files");
    if (files.kind != Value::kJson) return "";
    std::string out;
    for (const auto &f : *files.json)
        out += (out.empty() ? "" : ", ") + f.value("path", "") + " (" + f.value("access", "") + ")";
    return out;
}

const ListingFilter kUser{"--user", "user", ListingFilter::kName,
                          "Only rows of this user (full name, or its first part: alice)"};
const ListingFilter kAddress{"--address", "address", ListingFilter::kEquals,
                             "Only connections from this address"};
const ListingFilter kWorkstation{"--workstation", "workstation", ListingFilter::kEquals,
                                 "Only connections of this workstation"};
const ListingFilter kIdleOver{"--idle-over", "idle_seconds", ListingFilter::kOver,
                              "Only connections idle longer than SECONDS"};

std::vector<Column> ShareColumns(bool withOpenFiles) {
    std::vector<Column> c{{"name", "NAME"},
                          {"type_name", "TYPE"},
                          {"volume", "VOLUME"},
                          {"path", "PATH"},
                          {"encrypt_data", "ENCRYPT"},
                          {"folder_redirection", "REDIRECT"},
                          {"atm_backup", "ATM"},
                          {"mfa", "MFA"}};
    if (withOpenFiles) c.push_back({"open_files", "OPEN FILES"});
    c.push_back({"comment", "COMMENT"});
    return c;
}

const std::vector<ListingFilter> kShareFilters{
    {"--volume", "volume", ListingFilter::kEquals, "Only shares of this volume"},
    {"--type", "type_name", ListingFilter::kEquals, "Only shares of this type",
     client::ShareTypeNames()}};

}  // namespace

const Listing kShareListing{"shares", ShareColumns(false), kShareFilters};
const Listing kMappedShareListing{"shares", ShareColumns(true), kShareFilters};
const Listing kShareNameListing{"names", {{"name", "NAME"}}};

const Listing kConnectionListing{
    "connections",
    {{"id", "ID"},
     {"user", "USER", User},
     {"workstation", "WORKSTATION"},
     {"address", "ADDRESS"},
     {"dialect", "DIALECT"},
     {"auth", "AUTH"},
     {"idle_seconds", "IDLE", nullptr, Duration},
     {"open_files", "FILES"},
     {"mapped_shares", "SHARES"}},
    {kUser,
     kAddress,
     kWorkstation,
     {"--dialect", "dialect", ListingFilter::kEquals, "Only connections of this dialect"},
     kIdleOver}};

const Listing kHolderListing{"connections",
                             {{"id", "CONN"},
                              {"user", "USER", User},
                              {"address", "ADDRESS"},
                              {"open_files", "FILES"},
                              {"files", "PATHS", HeldFiles}}};

const Listing kOpenFileListing{
    "open_files",
    {{"connection", "CONN"},
     {"file_id", "FILE ID"},
     {"access", "ACCESS"},
     {"opened_at", "OPENED", nullptr, Time},
     {"user", "USER"},
     {"path", "PATH"}},
    {kUser,
     {"--path-prefix", "path", ListingFilter::kPrefix, "Only files whose path starts with this"},
     {"--access",
      "access",
      ListingFilter::kEquals,
      "Only files open this way",
      {"read", "write", "read+write"}}},
    "(no open files)\n",
    [](size_t shown, const Json &extra) -> std::string {
        const size_t total = extra.value("total", size_t{0});
        if (shown == total) return "";
        return std::to_string(shown) + " of " + std::to_string(total) + " open files shown\n";
    }};

const Listing kInvalidUserListing{
    "users",
    {{"name", "USER"},
     {"permanent", "KIND", Kind},
     {"failed_logons", "FAILED LOGONS"},
     {"added_at", "ADDED", nullptr, Time},
     {"expires_at", "EXPIRES", Expires}},
    {},
    nullptr,
    [](size_t, const Json &extra) {
        return "Cache time-out: " + std::to_string(extra.value("timeout_minutes", 0)) +
               " minutes\n";
    }};

const Listing kUserContextListing{
    "user_contexts", {{"context", "CONTEXT"}}, {}, "(no user contexts)\n"};
const Listing kInterfaceListing{
    "multichannel_interfaces", {{"interface", "INTERFACE"}}, {}, "(no interfaces)\n"};

const Listing kMonConnectionListing{
    "connections",
    {{"id", "ID"},
     {"user", "USER", User},
     {"workstation", "WORKSTATION"},
     {"address", "ADDRESS"},
     {"idle_seconds", "IDLE", nullptr, Duration},
     {"bytes_read", "READ", nullptr, Bytes},
     {"bytes_written", "WRITTEN", nullptr, Bytes},
     {"login_time", "LOGGED IN", nullptr, Time}},
    {kUser, kAddress, kWorkstation, kIdleOver},
    nullptr,
    [](size_t shown, const Json &) { return std::to_string(shown) + " connections\n"; }};

const Listing kMonVolumeListing{"volumes", {{"name", "NAME"}}};

const Listing kMonOpenFileListing{
    "open_files",
    {{"connection", "CONN"}, {"user", "USER"}, {"path", "FILE"}},
    {kUser,
     {"--path-prefix", "path", ListingFilter::kPrefix, "Only files whose path starts with this"}},
    nullptr,
    [](size_t shown, const Json &extra) {
        return std::to_string(shown) + " open files in " + extra.value("volume", "") + "\n";
    }};

}  // namespace share::tools
