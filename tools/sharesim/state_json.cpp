// SPDX-License-Identifier: Apache-2.0
// The state file's JSON form: written field by field, and read back with every value checked
// against what a request could have produced.
#include <algorithm>
#include <cstdint>
#include <nlohmann/json.hpp>
#include <set>

#include "common/server_formats.h"
#include "sharesim/rules.h"
#include "sharesim/state.h"

namespace share::sim {

using Json = nlohmann::ordered_json;
using tools::OptionTable;
using tools::ValueKind;

namespace {

Json OptionToJson(const tools::StoredOption &optionRow, const OptionValue &v) {
    if (optionRow.kind == ValueKind::kText || optionRow.kind == ValueKind::kField) return v.text;
    return v.number;
}

}  // namespace

std::string ToJson(const State &st) {
    Json j;
    j["format"] = "sharesim-state";
    j["version"] = 1;
    j["volumes"] = Json::array();
    for (const auto &v : st.volumes) j["volumes"].push_back({{"name", v.name}, {"admin", v.admin}});
    j["shares"] = Json::array();
    for (const auto &s : st.shares)
        j["shares"].push_back({{"id", s.id},
                               {"name", s.name},
                               {"volume", s.volume},
                               {"path", s.path},
                               {"comment", s.comment},
                               {"server_dn", s.serverDn},
                               {"max_users", s.maxUsers},
                               {"encrypt_data", s.encryptData},
                               {"folder_redirection", s.folderRedirection},
                               {"atm_backup", s.atmBackup},
                               {"mfa", s.mfa},
                               {"created_at", s.createdAt}});
    j["connections"] = Json::array();
    for (const auto &c : st.connections) {
        Json files = Json::array();
        for (const auto &f : c.files)
            files.push_back({{"id", f.id},
                             {"volume", f.volume},
                             {"path", f.path},
                             {"access", f.access},
                             {"opened_at", f.openedAt}});
        j["connections"].push_back({{"id", c.id},
                                    {"flags", c.flags},
                                    {"workstation", c.workstation},
                                    {"user", c.user},
                                    {"address", c.address},
                                    {"dialect", c.dialect},
                                    {"auth", c.auth},
                                    {"login_at", c.loginAt},
                                    {"last_activity", c.lastActivity},
                                    {"bytes_read", c.bytesRead},
                                    {"bytes_written", c.bytesWritten},
                                    {"security_equivalences", c.secEquiv},
                                    {"mapped_shares", c.mapped},
                                    {"open_files", files}});
    }
    j["invalid_users"] = Json::array();
    for (const auto &u : st.invalidUsers)
        j["invalid_users"].push_back({{"name", u.name},
                                      {"permanent", u.permanent},
                                      {"failed_logons", u.failedLogons},
                                      {"added_at", u.addedAt}});
    j["invalid_user_timeout"] = st.iucTimeoutMinutes;
    j["user_contexts"] = st.userContexts;
    auto named = [](const std::vector<NamedAddress> &list) {
        Json a = Json::array();
        for (const auto &n : list) a.push_back({{"name", n.name}, {"address", n.address}});
        return a;
    };
    j["virtual_servers"] = named(st.virtualServers);
    j["dns_entries"] = named(st.dnsEntries);
    j["multichannel_interfaces"] = st.interfaces;
    j["options"] = Json::object();
    for (const auto &o : OptionTable())
        j["options"][o.name] = OptionToJson(o, st.options.at(o.name));
    j["share_volumes_by_default"] = Json::object();
    for (const auto &[server, yes] : st.shareByDefault) j["share_volumes_by_default"][server] = yes;
    j["caches"] = {
        {"sdircache", st.caches[0]}, {"dircache", st.caches[1]}, {"filecache", st.caches[2]}};
    j["dfs_referral_cache"] = {{"minutes", st.dfsReferralMinutes}, {"last_clear", st.dfsLastClear}};
    j["last_quota_sync"] = st.lastQuotaSync ? Json{{"target", st.lastQuotaSync->target},
                                                   {"value", st.lastQuotaSync->value}}
                                            : Json(nullptr);
    j["last_quota_view"] = st.lastQuotaView ? Json(*st.lastQuotaView) : Json(nullptr);
    j["last_statistics_dump"] =
        st.lastStatisticsDump ? Json(*st.lastStatisticsDump) : Json(nullptr);
    j["last_crypto_dump_connection"] =
        st.lastCryptoDumpConnection ? Json(*st.lastCryptoDumpConnection) : Json(nullptr);
    j["next_share_id"] = st.nextShareId;
    j["next_file_id"] = st.nextFileId;
    return j.dump(2) + "\n";
}

namespace {

// Reads a JSON document field by field, naming the path of the first fault it meets.
class Reader {
  public:
    static const Json &Field(const Json &obj, const char *key, const std::string &path) {
        if (!obj.is_object()) Fail(path, "expected an object");
        auto it = obj.find(key);
        if (it == obj.end()) Fail(path + "." + key, "missing");
        return *it;
    }
    static std::string Text(const Json &v, const std::string &path, size_t maxLen) {
        if (!v.is_string()) Fail(path, "expected a string");
        auto s = v.get<std::string>();
        if (s.size() > maxLen) Fail(path, "longer than " + std::to_string(maxLen) + " characters");
        if (s.find('\0') != std::string::npos) Fail(path, "contains a NUL character");
        return s;
    }
    static int64_t Int(const Json &v, const std::string &path, int64_t min, int64_t max) {
        if (!v.is_number_integer()) Fail(path, "expected an integer");
        if (v.is_number_unsigned() && v.get<uint64_t>() > static_cast<uint64_t>(INT64_MAX))
            Fail(path, "out of range");
        const auto n = v.get<int64_t>();
        if (n < min || n > max)
            Fail(path, "out of range " + std::to_string(min) + ".." + std::to_string(max));
        return n;
    }
    static uint64_t U64(const Json &v, const std::string &path) {
        if (!v.is_number_unsigned() && !(v.is_number_integer() && v.get<int64_t>() >= 0))
            Fail(path, "expected a non-negative integer");
        return v.get<uint64_t>();
    }
    static bool Bool(const Json &v, const std::string &path) {
        if (!v.is_boolean()) Fail(path, "expected true or false");
        return v.get<bool>();
    }
    static const Json &Array(const Json &v, const std::string &path) {
        if (!v.is_array()) Fail(path, "expected an array");
        return v;
    }
    [[noreturn]] static void Fail(const std::string &path, const std::string &why) {
        throw StateError(path + ": " + why);
    }
};

using R = Reader;
constexpr int64_t kTimeMax = INT64_C(253402300799);  // end of year 9999

std::string Idx(const std::string &path, size_t i) {
    return path + "[" + std::to_string(i) + "]";
}

std::vector<std::string> TextList(const Json &v, const std::string &path, size_t maxLen) {
    std::vector<std::string> out;
    const auto &a = R::Array(v, path);
    for (size_t i = 0; i < a.size(); ++i) out.push_back(R::Text(a[i], Idx(path, i), maxLen));
    return out;
}

std::vector<NamedAddress> NamedList(const Json &v, const std::string &path, size_t maxName) {
    std::vector<NamedAddress> out;
    const auto &a = R::Array(v, path);
    for (size_t i = 0; i < a.size(); ++i) {
        const auto p = Idx(path, i);
        NamedAddress n{R::Text(R::Field(a[i], "name", p), p + ".name", maxName),
                       R::Text(R::Field(a[i], "address", p), p + ".address", 15)};
        if (n.name.empty()) R::Fail(p + ".name", "empty");
        out.push_back(std::move(n));
    }
    return out;
}

template <class T, class Key>
void RequireUnique(const std::vector<T> &items, Key key, const std::string &path) {
    std::set<std::string> seen;
    for (size_t i = 0; i < items.size(); ++i)
        if (!seen.insert(ToUpper(key(items[i]))).second)
            R::Fail(Idx(path, i), "duplicate name \"" + key(items[i]) + "\"");
}

}  // namespace

State FromJson(std::string_view text) {
    Json j;
    try {
        j = Json::parse(text);
    } catch (const Json::exception &e) {
        throw StateError(std::string("not valid JSON (") + e.what() + ")");
    }
    const std::string top = "state";
    if (!j.is_object()) R::Fail(top, "expected an object");
    if (R::Text(R::Field(j, "format", top), "format", 64) != "sharesim-state")
        R::Fail("format", "not a sharesim state file");
    R::Int(R::Field(j, "version", top), "version", 1, 1);

    State st;
    {
        const auto &a = R::Array(R::Field(j, "volumes", top), "volumes");
        for (size_t i = 0; i < a.size(); ++i) {
            const auto p = Idx("volumes", i);
            Volume v{R::Text(R::Field(a[i], "name", p), p + ".name", 64),
                     R::Bool(R::Field(a[i], "admin", p), p + ".admin")};
            if (!ValidVolumeName(v.name)) R::Fail(p + ".name", "not a valid volume name");
            st.volumes.push_back(std::move(v));
        }
        if (st.volumes.empty()) R::Fail("volumes", "no volume");
        RequireUnique(
            st.volumes, [](const Volume &v) { return v.name; }, "volumes");
    }
    st.nextShareId = static_cast<uint32_t>(
        R::Int(R::Field(j, "next_share_id", top), "next_share_id", 1, UINT32_MAX));
    st.nextFileId = static_cast<uint32_t>(
        R::Int(R::Field(j, "next_file_id", top), "next_file_id", 1, UINT32_MAX));
    {
        const auto &a = R::Array(R::Field(j, "shares", top), "shares");
        for (size_t i = 0; i < a.size(); ++i) {
            const auto p = Idx("shares", i);
            Share s;
            s.id = static_cast<uint32_t>(
                R::Int(R::Field(a[i], "id", p), p + ".id", 1, st.nextShareId - 1));
            s.name = R::Text(R::Field(a[i], "name", p), p + ".name", 80);
            s.volume = R::Text(R::Field(a[i], "volume", p), p + ".volume", 64);
            s.path = R::Text(R::Field(a[i], "path", p), p + ".path", 511);
            s.comment = R::Text(R::Field(a[i], "comment", p), p + ".comment", 47);
            s.serverDn = R::Text(R::Field(a[i], "server_dn", p), p + ".server_dn", 255);
            s.maxUsers = static_cast<int32_t>(
                R::Int(R::Field(a[i], "max_users", p), p + ".max_users", 0, INT32_MAX));
            s.encryptData = R::Bool(R::Field(a[i], "encrypt_data", p), p + ".encrypt_data");
            s.folderRedirection =
                R::Bool(R::Field(a[i], "folder_redirection", p), p + ".folder_redirection");
            s.atmBackup = static_cast<uint8_t>(
                R::Int(R::Field(a[i], "atm_backup", p), p + ".atm_backup", 0, 255));
            s.mfa = R::Bool(R::Field(a[i], "mfa", p), p + ".mfa");
            s.createdAt = R::Int(R::Field(a[i], "created_at", p), p + ".created_at", 0, kTimeMax);
            if (!ValidShareName(s.name)) R::Fail(p + ".name", "not a valid share name");
            const Volume *vol = st.FindVolume(s.volume);
            if (vol == nullptr) R::Fail(p + ".volume", "no volume \"" + s.volume + "\"");
            if (vol->admin)
                R::Fail(p + ".volume", "shares on the administrative volume are not allowed");
            if (st.FindVolume(s.name)) R::Fail(p + ".name", "the name of a volume");
            if (NormalisePath(s.path) != s.path)
                R::Fail(p + ".path", "not a normalised absolute path");
            st.shares.push_back(std::move(s));
        }
        RequireUnique(
            st.shares, [](const Share &s) { return s.name; }, "shares");
    }
    {
        const auto &a = R::Array(R::Field(j, "connections", top), "connections");
        std::set<uint16_t> ids;
        for (size_t i = 0; i < a.size(); ++i) {
            const auto p = Idx("connections", i);
            Connection c;
            c.id = static_cast<uint16_t>(R::Int(R::Field(a[i], "id", p), p + ".id", 1, 65535));
            if (!ids.insert(c.id).second) R::Fail(p + ".id", "duplicate connection ID");
            c.flags =
                static_cast<uint16_t>(R::Int(R::Field(a[i], "flags", p), p + ".flags", 0, 65535));
            c.workstation = R::Text(R::Field(a[i], "workstation", p), p + ".workstation", 15);
            c.user = R::Text(R::Field(a[i], "user", p), p + ".user", 255);
            c.address = R::Text(R::Field(a[i], "address", p), p + ".address", 19);
            c.dialect = R::Text(R::Field(a[i], "dialect", p), p + ".dialect", 31);
            c.auth = R::Text(R::Field(a[i], "auth", p), p + ".auth", 31);
            c.loginAt = R::Int(R::Field(a[i], "login_at", p), p + ".login_at", 0, kTimeMax);
            c.lastActivity =
                R::Int(R::Field(a[i], "last_activity", p), p + ".last_activity", 0, kTimeMax);
            c.bytesRead = R::U64(R::Field(a[i], "bytes_read", p), p + ".bytes_read");
            c.bytesWritten = R::U64(R::Field(a[i], "bytes_written", p), p + ".bytes_written");
            c.secEquiv = TextList(R::Field(a[i], "security_equivalences", p),
                                  p + ".security_equivalences", 255);
            c.mapped = TextList(R::Field(a[i], "mapped_shares", p), p + ".mapped_shares", 80);
            const auto &files = R::Array(R::Field(a[i], "open_files", p), p + ".open_files");
            for (size_t k = 0; k < files.size(); ++k) {
                const auto fp = Idx(p + ".open_files", k);
                OpenFile f;
                f.id = static_cast<uint32_t>(
                    R::Int(R::Field(files[k], "id", fp), fp + ".id", 1, st.nextFileId - 1));
                f.volume = R::Text(R::Field(files[k], "volume", fp), fp + ".volume", 64);
                f.path = R::Text(R::Field(files[k], "path", fp), fp + ".path", 1023);
                f.access = static_cast<uint32_t>(
                    R::Int(R::Field(files[k], "access", fp), fp + ".access", 1, 3));
                f.openedAt =
                    R::Int(R::Field(files[k], "opened_at", fp), fp + ".opened_at", 0, kTimeMax);
                if (!st.FindVolume(f.volume))
                    R::Fail(fp + ".volume", "no volume \"" + f.volume + "\"");
                if (NormalisePath(f.path) != f.path || f.path == "/")
                    R::Fail(fp + ".path", "not a normalised file path");
                c.files.push_back(std::move(f));
            }
            st.connections.push_back(std::move(c));
        }
        std::sort(st.connections.begin(), st.connections.end(),
                  [](const Connection &x, const Connection &y) { return x.id < y.id; });
    }
    {
        const auto &a = R::Array(R::Field(j, "invalid_users", top), "invalid_users");
        for (size_t i = 0; i < a.size(); ++i) {
            const auto p = Idx("invalid_users", i);
            InvalidUser u;
            u.name = R::Text(R::Field(a[i], "name", p), p + ".name", 256);
            u.permanent = R::Bool(R::Field(a[i], "permanent", p), p + ".permanent");
            u.failedLogons = static_cast<uint32_t>(
                R::Int(R::Field(a[i], "failed_logons", p), p + ".failed_logons", 0, UINT32_MAX));
            u.addedAt = R::Int(R::Field(a[i], "added_at", p), p + ".added_at", 0, kTimeMax);
            if (u.name.empty()) R::Fail(p + ".name", "empty");
            st.invalidUsers.push_back(std::move(u));
        }
        RequireUnique(
            st.invalidUsers, [](const InvalidUser &u) { return u.name; }, "invalid_users");
    }
    st.iucTimeoutMinutes = static_cast<int32_t>(
        R::Int(R::Field(j, "invalid_user_timeout", top), "invalid_user_timeout", 0, 525600));
    st.userContexts = TextList(R::Field(j, "user_contexts", top), "user_contexts", 511);
    RequireUnique(
        st.userContexts, [](const std::string &s) { return s; }, "user_contexts");
    st.virtualServers = NamedList(R::Field(j, "virtual_servers", top), "virtual_servers", 255);
    RequireUnique(
        st.virtualServers, [](const NamedAddress &n) { return n.name; }, "virtual_servers");
    st.dnsEntries = NamedList(R::Field(j, "dns_entries", top), "dns_entries", 15);
    RequireUnique(
        st.dnsEntries, [](const NamedAddress &n) { return n.name; }, "dns_entries");
    st.interfaces =
        TextList(R::Field(j, "multichannel_interfaces", top), "multichannel_interfaces", 15);
    RequireUnique(
        st.interfaces, [](const std::string &s) { return s; }, "multichannel_interfaces");
    {
        const auto &o = R::Field(j, "options", top);
        if (!o.is_object()) R::Fail("options", "expected an object");
        for (const auto &[key, value] : o.items())
            if (!tools::FindOptionByName(key)) R::Fail("options." + key, "unknown option");
        for (const auto &optionRow : OptionTable()) {
            const auto p = std::string("options.") + optionRow.name;
            const auto &v = R::Field(o, optionRow.name, "options");
            OptionValue ov;
            if (optionRow.kind == ValueKind::kText || optionRow.kind == ValueKind::kField)
                ov.text = R::Text(v, p, optionRow.width - 1);
            else
                ov.number = static_cast<int32_t>(R::Int(v, p, INT32_MIN, INT32_MAX));
            if (!ValidOptionValue(optionRow, ov)) R::Fail(p, "value not accepted by the option");
            st.options[optionRow.name] = ov;
        }
    }
    {
        const auto &o = R::Field(j, "share_volumes_by_default", top);
        if (!o.is_object()) R::Fail("share_volumes_by_default", "expected an object");
        for (const auto &[server, yes] : o.items()) {
            const auto p = "share_volumes_by_default." + server;
            if (server.empty() || server.size() > 255) R::Fail(p, "not a valid server name");
            st.shareByDefault[server] = R::Bool(yes, p);
        }
    }
    {
        const auto &c = R::Field(j, "caches", top);
        const char *names[] = {"sdircache", "dircache", "filecache"};
        for (size_t i = 0; i < 3; ++i)
            st.caches[i] = static_cast<int32_t>(R::Int(
                R::Field(c, names[i], "caches"), std::string("caches.") + names[i], 1, INT32_MAX));
    }
    {
        const auto &d = R::Field(j, "dfs_referral_cache", top);
        st.dfsReferralMinutes = static_cast<int32_t>(R::Int(
            R::Field(d, "minutes", "dfs_referral_cache"), "dfs_referral_cache.minutes", 0, 525600));
        st.dfsLastClear = R::Text(R::Field(d, "last_clear", "dfs_referral_cache"),
                                  "dfs_referral_cache.last_clear", 1024);
    }
    {
        const auto &q = R::Field(j, "last_quota_sync", top);
        if (!q.is_null())
            st.lastQuotaSync = QuotaSync{
                R::Text(R::Field(q, "target", "last_quota_sync"), "last_quota_sync.target", 64),
                static_cast<int32_t>(R::Int(R::Field(q, "value", "last_quota_sync"),
                                            "last_quota_sync.value", -1, INT32_MAX))};
        const auto &v = R::Field(j, "last_quota_view", top);
        if (!v.is_null()) st.lastQuotaView = R::Text(v, "last_quota_view", 64);
        const auto &s = R::Field(j, "last_statistics_dump", top);
        if (!s.is_null())
            st.lastStatisticsDump = static_cast<int32_t>(R::Int(s, "last_statistics_dump", 0, 3));
        const auto &k = R::Field(j, "last_crypto_dump_connection", top);
        if (!k.is_null())
            st.lastCryptoDumpConnection =
                static_cast<uint16_t>(R::Int(k, "last_crypto_dump_connection", 0, 65535));
    }
    return st;
}

}  // namespace share::sim
