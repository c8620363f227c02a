// SPDX-License-Identifier: Apache-2.0
#include "output/records.h"

#include <cstring>

#include "common/server_formats.h"

namespace share::tools {

using client::AccessName;
using client::ShareTypeName;

namespace {

std::string Str(const Json &j, const char *key) {
    return j.contains(key) ? j[key].get<std::string>() : "";
}

}  // namespace

Json ShareInfoJson(const ShareInfo &info, bool withMapped) {
    auto text = [&](uint32_t offset) { return client::ShareInfoText(info, offset); };
    Json j{{"name", text(info.nameOffset)},
           {"volume", text(info.volumeOffset)},
           {"path", text(info.pathOffset)},
           {"comment", text(info.commentOffset)},
           {"type", info.volumeType},
           {"type_name", ShareTypeName(info.volumeType)},
           {"max_users", info.shareValue},
           {"encrypt_data", info.encryptData != 0},
           {"folder_redirection", info.folderRedirection != 0},
           {"atm_backup", info.atmBackup != 0},
           {"full_path", text(info.auxTextOffset)}};
    if (withMapped) j["open_files"] = info.mappedValue;
    return j;
}

Json ShareRecordJson(const ShareParams &r) {
    const uint16_t type = client::ShareRecordType(r);
    return Json{{"name", FieldString(r.shareName)},
                {"volume", FieldString(r.volumeName)},
                {"path", FieldString(r.sharePath)},
                {"comment", FieldString(r.comment)},
                {"type", type},
                {"type_name", ShareTypeName(type)},
                {"max_users", +r.serverValue},
                {"encrypt_data", r.encryptData != 0},
                {"folder_redirection", r.folderRedirection != 0},
                {"atm_backup", r.atmBackup != 0},
                {"mfa", r.mfaShareLevel != 0},
                {"full_path", FieldString(r.auxText)}};
}

Json ShareReplyJson(const client::ShareReply &reply) {
    Json j = ShareRecordJson(reply.record);
    if (reply.clients) j["clients"] = *reply.clients;
    return j;
}

std::optional<Json> ShareReplyJson(const std::vector<client::ReplyElement> &elements) {
    const auto reply = client::DecodeShareReply(elements);
    if (!reply) return std::nullopt;
    return ShareReplyJson(*reply);
}

std::string ShareDetails(const Json &s) {
    std::vector<std::pair<std::string, std::string>> rows{
        {"Share", Str(s, "name")},
        {"Type", Str(s, "type_name")},
        {"Volume", Str(s, "volume")},
        {"Path", Str(s, "path")},
        {"Full path", Str(s, "full_path")},
        {"Comment", Str(s, "comment")},
        {"User limit", s["max_users"].get<uint32_t>() == 0
                           ? "unlimited"
                           : std::to_string(s["max_users"].get<uint32_t>())},
        {"Encrypt data", YesNo(s["encrypt_data"])},
        {"Folder redirection", YesNo(s["folder_redirection"])},
        {"ATM backup", YesNo(s["atm_backup"])}};
    if (s.contains("mfa")) rows.push_back({"MFA share level", YesNo(s["mfa"])});
    if (s.contains("clients"))
        rows.push_back({"Clients", std::to_string(s["clients"].get<long>())});
    return KeyValues(rows);
}

namespace {

Value Text(const char *field, size_t size) {
    const void *nul = std::memchr(field, 0, size);
    return Value::Text(
        {field, nul ? static_cast<size_t>(static_cast<const char *>(nul) - field) : size});
}
template <size_t N>
Value Text(const char (&field)[N]) {
    return Text(field, N);
}
Value Flag(const ConnectionRecord &r, uint16_t flag) {
    return Value::Bool((ConnFlags(r) & flag) != 0);
}

}  // namespace

const std::vector<FieldOf<ConnectionRecord>> kConnectionFields{
    {"id", [](const ConnectionRecord &r) { return Value::Unsigned(r.connectionId); }},
    {"workstation", [](const ConnectionRecord &r) { return Text(r.text20); }},
    {"user", [](const ConnectionRecord &r) { return Text(r.text36); }},
    {"address", [](const ConnectionRecord &r) { return Text(r.text292); }},
    {"dialect", [](const ConnectionRecord &r) { return Text(r.text354); }},
    {"auth", [](const ConnectionRecord &r) { return Text(r.text386); }},
    {"null_session", [](const ConnectionRecord &r) { return Flag(r, kConnFlagNullSession); }},
    {"signed", [](const ConnectionRecord &r) { return Flag(r, kConnFlagSigned); }},
    {"encrypted", [](const ConnectionRecord &r) { return Flag(r, kConnFlagEncrypted); }},
    {"login_time",
     [](const ConnectionRecord &r) { return Value::Signed(static_cast<int64_t>(r.value12)); }},
    {"login_time_rfc3339",
     [](const ConnectionRecord &r) { return Value::Rfc3339(static_cast<int64_t>(r.value12)); }},
    {"idle_seconds", [](const ConnectionRecord &r) { return Value::Unsigned(r.value326); }},
    {"bytes_read", [](const ConnectionRecord &r) { return Value::Unsigned(r.value330); }},
    {"bytes_written", [](const ConnectionRecord &r) { return Value::Unsigned(r.value338); }},
    {"open_files", [](const ConnectionRecord &r) { return Value::Unsigned(ConnTotalFiles(r)); }},
    {"mapped_shares",
     [](const ConnectionRecord &r) { return Value::Unsigned(ConnMappedShares(r)); }}};

Json ConnectionJson(const ConnectionRecord &r) {
    return RecordJson(r, kConnectionFields);
}

std::string ConnectionDetails(const Json &c) {
    std::vector<std::pair<std::string, std::string>> rows{
        {"Connection", std::to_string(c["id"].get<int>())},
        {"User", c["null_session"].get<bool>() ? "(null session)" : Str(c, "user")},
        {"Workstation", Str(c, "workstation")},
        {"Address", Str(c, "address")},
        {"Dialect", Str(c, "dialect")},
        {"Authentication", Str(c, "auth")},
        {"Signed", YesNo(c["signed"])},
        {"Encrypted", YesNo(c["encrypted"])},
        {"Logged in", FormatTime(c["login_time"].get<int64_t>())},
        {"Idle", FormatDuration(c["idle_seconds"].get<int64_t>())},
        {"Read", FormatBytes(c["bytes_read"].get<uint64_t>())},
        {"Written", FormatBytes(c["bytes_written"].get<uint64_t>())},
        {"Mapped shares", std::to_string(c["mapped_shares"].get<uint32_t>())},
        {"Open files", std::to_string(c["open_files"].get<uint32_t>())}};
    std::string out = KeyValues(rows);
    if (c.contains("security_equivalences")) {
        out += "Security equivalences:\n";
        for (const auto &dn : c["security_equivalences"])
            out += "  " + dn.get<std::string>() + "\n";
    }
    if (c.contains("files")) {
        out += c["files"].empty() ? "Files: none\n" : "Files:\n";
        for (const auto &f : c["files"])
            out += "  " + Str(f, "path") + " (" + Str(f, "access") + ", file " +
                   std::to_string(f["file_id"].get<uint32_t>()) + ")\n";
    }
    return out;
}

Json ConnectionInfoJson(const client::ConnectionInfo &d) {
    Json j = ConnectionJson(d.record);
    if (d.securityEquivalences) j["security_equivalences"] = *d.securityEquivalences;
    Json files = Json::array();
    for (const auto &f : d.files)
        files.push_back(
            {{"file_id", f.fileId}, {"access", AccessName(f.accessMode)}, {"path", f.path}});
    j["files"] = files;
    return j;
}

Json OpenFileJson(const client::OpenFile &e) {
    Json f{{"connection", +e.connection},
           {"file_id", +e.fileId},
           {"access", AccessName(e.accessMode)},
           {"user", e.user},
           {"address", e.address},
           {"path", e.path},
           {"volume", e.volume}};
    SetTime(f, "opened_at", static_cast<int64_t>(e.openedAt));
    return f;
}

Json InvalidUserJson(const client::InvalidUser &e) {
    Json u{{"name", e.name}, {"permanent", e.permanent}, {"failed_logons", +e.failedLogons}};
    SetTime(u, "added_at", static_cast<int64_t>(e.addedAt));
    SetTime(u, "expires_at", static_cast<int64_t>(e.expiresAt));
    return u;
}

}  // namespace share::tools
