// SPDX-License-Identifier: Apache-2.0
#include "shareadm/records.h"

#include <strings.h>

#include <algorithm>
#include <cstring>

#include "common/server_formats.h"

namespace share::shareadm {

using tools::FieldString;
using tools::FormatBytes;
using tools::FormatDuration;
using tools::FormatTime;
using tools::YesNo;

namespace {

template <class T>
T At(std::span<const uint8_t> bytes, size_t offset) {
    T value;
    std::memcpy(&value, bytes.data() + offset, sizeof value);
    return value;
}

// Text starting at offset within bytes, up to its NUL; nullopt when no NUL follows.
std::optional<std::string> TextAt(std::span<const uint8_t> bytes, size_t offset) {
    if (offset >= bytes.size()) return std::nullopt;
    const auto *start = bytes.data() + offset;
    const void *nul = std::memchr(start, 0, bytes.size() - offset);
    if (nul == nullptr) return std::nullopt;
    return std::string(reinterpret_cast<const char *>(start),
                       static_cast<size_t>(static_cast<const uint8_t *>(nul) - start));
}

std::string Str(const Json &j, const char *key) {
    return j.contains(key) ? j[key].get<std::string>() : "";
}

std::string Access(uint32_t mode) {
    std::string out;
    if (mode & tools::kAccessRead) out += "read";
    if (mode & tools::kAccessWrite) out += out.empty() ? "write" : "+write";
    return out.empty() ? "-" : out;
}

}  // namespace

const char *ShareTypeName(uint16_t type) {
    switch (type) {
        case SHARE_TYPE_VOLUME:
            return "volume";
        case SHARE_TYPE_ADMIN:
            return "admin";
        case SHARE_TYPE_DIRECTORY:
            return "directory";
        case STYPE_GDFS:
            return "gdfs";
        default:
            return "other";
    }
}

Json ShareInfoJson(const ShareInfo &info, bool withMapped) {
    const size_t limit = info.stringBytes;
    auto text = [&](uint32_t offset) -> std::string {
        if (offset >= limit) return "";
        return FieldString(SHARE_INFO_TEXT(&info, offset), limit - offset);
    };
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
    const auto name = FieldString(r.shareName);
    const auto volume = FieldString(r.volumeName);
    // The same type as the library derives for its share list (shareadmin/api.h).
    uint16_t type = static_cast<uint16_t>(r.volumeType & 0xFFFF);
    if (type == 0 && name != volume)
        type = SHARE_TYPE_DIRECTORY;
    else if (type == 0 &&
             (strcasecmp(name.c_str(), "_admin") == 0 || strcasecmp(name.c_str(), "ADMIN") == 0))
        type = SHARE_TYPE_ADMIN;
    else if (type == 0 && (r.modifyMask & 0x02) != 0)
        type = STYPE_GDFS;
    return Json{{"name", name},
                {"volume", volume},
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

std::optional<Json> ShareReplyJson(const std::vector<ReplyElement> &elements) {
    std::optional<Json> record;
    long clients = -1;
    for (const auto &el : elements) {
        if (el.type == CIFS_ELEM_SHARE_RECORD && el.payload.size() >= sizeof(ShareParams) &&
            !record) {
            ShareParams r;
            std::memcpy(&r, el.payload.data(), sizeof r);
            record = ShareRecordJson(r);
        } else if (el.type == CIFS_ELEM_SHARE_EXTRA) {
            const std::string text(el.payload.begin(),
                                   std::find(el.payload.begin(), el.payload.end(), 0));
            if (text.rfind("clients=", 0) == 0)
                tools::ParseNumber(text.substr(8), 0, 65535, &clients);
        }
    }
    if (record && clients >= 0) (*record)["clients"] = clients;
    return record;
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
    return tools::KeyValues(rows);
}

Json ConnectionJson(const ConnectionRecord &r) {
    const uint16_t flags = tools::ConnFlags(r);
    Json j{{"id", +r.connectionId},
           {"workstation", FieldString(r.text20)},
           {"user", FieldString(r.text36)},
           {"address", FieldString(r.text292)},
           {"dialect", FieldString(r.text354)},
           {"auth", FieldString(r.text386)},
           {"null_session", (flags & tools::kConnFlagNullSession) != 0},
           {"signed", (flags & tools::kConnFlagSigned) != 0},
           {"encrypted", (flags & tools::kConnFlagEncrypted) != 0},
           {"login_time", +r.value12},
           {"login_time_rfc3339", nullptr},
           {"idle_seconds", +r.value326},
           {"bytes_read", +r.value330},
           {"bytes_written", +r.value338},
           {"open_files", tools::ConnTotalFiles(r)},
           {"mapped_shares", tools::ConnMappedShares(r)}};
    tools::SetTime(j, "login_time", static_cast<int64_t>(r.value12));
    return j;
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
    std::string out = tools::KeyValues(rows);
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

std::optional<std::vector<std::string>> SecurityEquivalences(std::span<const uint8_t> block,
                                                             uint32_t count) {
    std::vector<std::string> out;
    size_t at = 0;
    for (uint32_t i = 0; i < count; ++i) {
        const auto dn = TextAt(block, at);
        if (!dn) return std::nullopt;
        at += dn->size() + 1;
        out.push_back(*dn);
    }
    return out;
}

std::optional<Json> ConnectionWithFiles(std::span<const uint8_t> payload, bool withSecurity) {
    if (payload.size() < sizeof(ConnectionRecord)) return std::nullopt;
    ConnectionRecord r;
    std::memcpy(&r, payload.data(), sizeof r);
    Json j = ConnectionJson(r);
    size_t at = sizeof r;
    if (withSecurity) {
        if (r.secEquivLength > payload.size() - at) return std::nullopt;
        const auto dns =
            SecurityEquivalences(payload.subspan(at, r.secEquivLength), r.secEquivCount);
        if (!dns) return std::nullopt;
        j["security_equivalences"] = *dns;
        at += r.secEquivLength;
    } else if (r.secEquivLength > payload.size() - at) {
        return std::nullopt;
    } else {
        at += r.secEquivLength;
    }
    Json files = Json::array();
    for (uint32_t i = 0; i < r.openFileCount; ++i) {
        if (payload.size() - at < 8) return std::nullopt;
        const auto id = At<uint32_t>(payload, at);
        const auto mode = At<uint32_t>(payload, at + 4);
        const auto name = TextAt(payload, at + 8);
        if (!name) return std::nullopt;
        files.push_back({{"file_id", id}, {"access", Access(mode)}, {"path", *name}});
        at += 8 + name->size() + 1;
    }
    j["files"] = files;
    return j;
}

std::optional<Json> OpenFilesJson(std::span<const uint8_t> reply) {
    if (reply.size() < sizeof(tools::OpenFilesReplyHead)) return std::nullopt;
    const auto head = At<tools::OpenFilesReplyHead>(reply, 0);
    Json files = Json::array();
    size_t at = sizeof head;
    for (uint32_t i = 0; i < head.entryCount; ++i) {
        if (reply.size() - at < sizeof(tools::OpenFileEntryHead)) return std::nullopt;
        const auto e = At<tools::OpenFileEntryHead>(reply, at);
        if (e.entryBytes < sizeof e || e.entryBytes > reply.size() - at) return std::nullopt;
        const auto entry = reply.subspan(at, e.entryBytes);
        const auto strings = entry.subspan(sizeof e);
        const auto user = TextAt(strings, e.userOffset);
        const auto address = TextAt(strings, e.addressOffset);
        const auto path = TextAt(strings, e.pathOffset);
        const auto volume = TextAt(strings, e.volumeOffset);
        if (!user || !address || !path || !volume) return std::nullopt;
        Json f{{"connection", +e.connectionId},
               {"file_id", +e.fileId},
               {"access", Access(e.accessMode)},
               {"user", *user},
               {"address", *address},
               {"path", *path},
               {"volume", *volume}};
        tools::SetTime(f, "opened_at", static_cast<int64_t>(e.openedAt));
        files.push_back(std::move(f));
        at += e.entryBytes;
    }
    return Json{{"total", +head.totalMatches}, {"files", files}};
}

std::optional<Json> InvalidUsersJson(std::span<const uint8_t> list) {
    if (list.size() < sizeof(tools::InvalidUserListHead)) return std::nullopt;
    const auto head = At<tools::InvalidUserListHead>(list, 0);
    if (head.entryCount > (list.size() - sizeof head) / sizeof(tools::InvalidUserEntry))
        return std::nullopt;
    Json users = Json::array();
    for (uint32_t i = 0; i < head.entryCount; ++i) {
        const auto e =
            At<tools::InvalidUserEntry>(list, sizeof head + i * sizeof(tools::InvalidUserEntry));
        Json u{{"name", FieldString(e.name)},
               {"permanent", e.permanent != 0},
               {"failed_logons", +e.failedLogons}};
        tools::SetTime(u, "added_at", static_cast<int64_t>(e.addedAt));
        tools::SetTime(u, "expires_at", static_cast<int64_t>(e.expiresAt));
        users.push_back(std::move(u));
    }
    return Json{
        {"timeout_minutes", +head.timeoutMinutes}, {"total", +head.totalMatches}, {"users", users}};
}

std::optional<std::vector<std::string>> UserContexts(std::span<const uint8_t> data) {
    std::vector<std::string> out;
    size_t at = 0;
    while (at < data.size()) {
        const auto text = TextAt(data, at);
        if (!text) return std::nullopt;
        out.push_back(*text);
        at += text->size() + 1;
    }
    return out;
}

}  // namespace share::shareadm
