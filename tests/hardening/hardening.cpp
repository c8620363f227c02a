// SPDX-License-Identifier: Apache-2.0
#include "tests/hardening/hardening.h"

#include <malloc.h>

#include <cstdio>

namespace share::test::hardening {

std::vector<uint8_t> Answer::Wire() const {
    std::vector<uint8_t> wire = EncodeResponse(status, elements);
    if (count) PutU32(wire, 4, *count);
    return wire;
}

size_t Answer::BodyLength() const {
    size_t n = 0;
    for (const Element &e : elements) n += 8 + e.payload.size();
    return n;
}

void PutU32(std::vector<uint8_t> &bytes, size_t at, uint32_t v) {
    std::memcpy(bytes.data() + at, &v, 4);
}

uint32_t GetU32(const std::vector<uint8_t> &bytes, size_t at) {
    uint32_t v;
    std::memcpy(&v, bytes.data() + at, 4);
    return v;
}

Element ShareRecord(ShareFields f) {
    if (f.path.empty()) f.path = "/";
    f.serverValue = 0x11223344;
    f.folder = 7;
    f.atm = 2;
    f.mapped = 0x99;
    return ShareElement(f);
}

Element ConnectionRecord(const ConnectionFields &f) {
    ::ConnectionRecord rec;
    std::memset(&rec, 0, sizeof rec);
    rec.connectionId = f.id;
    rec.value12 = 0x0102030405060708ull + f.id;
    std::snprintf(rec.text20, sizeof rec.text20, "10.0.0.%u", f.id % 250);
    std::snprintf(rec.text36, sizeof rec.text36, "cn=user%u,o=example", f.id);
    std::snprintf(rec.text292, sizeof rec.text292, "CLIENT%u", f.id);
    rec.value326 = 326;
    rec.value330 = 330;
    rec.value338 = 338;
    std::snprintf(rec.text354, sizeof rec.text354, "NTLM");
    std::snprintf(rec.text386, sizeof rec.text386, "EXAMPLE");
    ConnRecord r(rec);
    // Without the DN area the files follow the fixed part directly.
    if (f.dnArea) r.Dns(f.dns);
    return r.Files(f.files).ToElement();
}

void PrintTo(const Outcome &o, std::ostream *os) {
    *os << "{rc " << o.rc << ", " << o.out.size() << " bytes of output";
    if (o.out == kUntouched) *os << " (untouched)";
    *os << "}";
}

std::string Bytes(const void *p, size_t n) {
    return {static_cast<const char *>(p), n};
}

std::string DumpShareNames(ShareNameList *list) {
    if (list == Sentinel<ShareNameList>()) return std::string(kUntouched);
    std::string out = Bytes(list, 4 + SHARE_NAME_SLOT_SIZE * size_t{list->count});
    std::free(list);
    return out;
}

std::string DumpShareInfoList(ShareInfoList *list) {
    if (list == Sentinel<ShareInfoList>()) return std::string(kUntouched);
    std::string out = "count " + std::to_string(list->count) + ":";
    for (uint32_t i = 0; i < list->count; ++i) {
        ShareInfo *info;
        std::memcpy(&info, reinterpret_cast<char *>(list) + 4 + 8 * i, sizeof info);
        out += Bytes(info, SHARE_INFO_FIXED_SIZE + info->stringBytes);
        std::free(info);
    }
    std::free(list);
    return out;
}

std::string DumpConnectionList(ConnectionList *list) {
    if (list == Sentinel<ConnectionList>()) return std::string(kUntouched);
    std::string out = "count " + std::to_string(list->count) + ":";
    out += Bytes(list->records, CIFS_CONNECTION_RECORD_SIZE * static_cast<size_t>(list->count));
    std::free(list->records);
    std::free(list);
    return out;
}

namespace {

std::string Texts(char **array, size_t n) {
    if (array == nullptr) return "(none)";
    std::string out;
    for (size_t i = 0; i < n; ++i) out += std::string(array[i] ? array[i] : "(null)") + '|';
    return out;
}

}  // namespace

std::string DumpConnList(ConnListNode *head) {
    if (head == Sentinel<ConnListNode>()) return std::string(kUntouched);
    std::string out;
    for (ConnListNode *n = head; n != nullptr; n = n->next)
        out += Bytes(n, offsetof(ConnListNode, next)) + ';';
    FreeConnListNodes(&head);
    return out;
}

std::string DumpUserDetails(UserDetailsNode *node) {
    if (node == Sentinel<UserDetailsNode>()) return std::string(kUntouched);
    if (node == nullptr) return "null";
    std::string out = Bytes(node, offsetof(UserDetailsNode, openFileNames));
    out += "dns:" + Texts(node->secEquivDns, node->secEquivCount);
    out += "files:" + Texts(node->openFileNames, node->openFileCount);
    FreeUserDetailsNode(&node);
    return out;
}

std::string DumpVolFiles(VolFileListNode *head) {
    if (head == Sentinel<VolFileListNode>()) return std::string(kUntouched);
    std::string out;
    for (VolFileListNode *n = head; n != nullptr; n = n->next)
        out += Bytes(n, offsetof(VolFileListNode, fileNames)) +
               "files:" + Texts(n->fileNames, n->openFileCount) + ';';
    FreeVolFileListNodes(&head);
    return out;
}

std::string DumpVolumes(VolsDetailsNode *head) {
    if (head == Sentinel<VolsDetailsNode>()) return std::string(kUntouched);
    std::string out;
    for (VolsDetailsNode *n = head; n != nullptr; n = n->next) out += std::string(n->name) + ';';
    FreeVolsDetailsNode(&head);
    return out;
}

namespace {

// A block handed over unchanged (open-files reply, invalid-user list): its first bytes, as many
// as the allocation holds, at most `expected`.
std::string DumpBlock(void *block, size_t expected) {
    if (block == Sentinel<void>()) return std::string(kUntouched);
    std::string out = Bytes(block, std::min(expected, malloc_usable_size(block)));
    std::free(block);
    return out;
}

// Replies handed over unchanged are compared on this many leading bytes.
constexpr size_t kBlockDump = 64;

Outcome StatusOnly(int rc) {
    return {rc, ""};
}

// A monitoring list with its counter, which starts at 5: untouched when neither changed.
std::string Counted(int32_t count, const std::string &list) {
    if (count == 5 && list == kUntouched) return list;
    return "count " + std::to_string(count) + ":" + list;
}

}  // namespace

std::vector<ApiCall> ManagementCalls() {
    return {
        {"GetShareNames",
         [] {
             ShareNameList *list = Sentinel<ShareNameList>();
             const int rc = CIFSLIB_GetShareNames(&list);
             return Outcome{rc, DumpShareNames(list)};
         }},
        {"ListAllShares",
         [] {
             ShareInfoList *list = Sentinel<ShareInfoList>();
             const int rc = CIFSLIB_ListAllShares(&list);
             return Outcome{rc, DumpShareInfoList(list)};
         }},
        {"ListOpenFiles",
         [] {
             OpenFilesRequestRecord req =
                 OpenFilesRequestOf(std::string_view("VOL1:/dir/file\0", 16));
             void *reply = Sentinel<void>();
             const int rc = CIFSLIB_ListOpenFiles(req.Get(), &reply);
             return Outcome{rc, DumpBlock(reply, kBlockDump)};
         }},
        {"ListUserContexts",
         [] {
             UserContextHeader *header = Sentinel<UserContextHeader>();
             void *data = Sentinel<void>();
             const int rc = CIFSLIB_ListUserContexts(&header, &data);
             if (header == Sentinel<UserContextHeader>() || data == Sentinel<void>()) {
                 // Both or neither: one without the other would be a half-handed result.
                 EXPECT_EQ(header == Sentinel<UserContextHeader>(), data == Sentinel<void>());
                 return Outcome{rc, std::string(kUntouched)};
             }
             std::string out = Bytes(header, sizeof *header) + Bytes(data, header->dataLength);
             std::free(header);
             std::free(data);
             return Outcome{rc, out};
         }},
        {"GetConnectionsCount",
         [] {
             int32_t count = kSentinelNumber;
             const int rc = CIFSLIB_GetConnectionsCount(&count);
             return Outcome{
                 rc, count == kSentinelNumber ? std::string(kUntouched) : std::to_string(count)};
         }},
        {"GetConnectionsList",
         [] {
             ConnectionList *list = Sentinel<ConnectionList>();
             const int rc = CIFSLIB_GetConnectionsList(&list);
             return Outcome{rc, DumpConnectionList(list)};
         }},
        {"GetConnectionDetails",
         [] {
             uint8_t record[CIFS_CONNECTION_RECORD_SIZE];
             std::memset(record, kSentinelByte, sizeof record);
             const uint8_t pristine = record[0];
             void *sev = Sentinel<void>();
             const int rc = CIFSLIB_GetConnectionDetails("7", record, &sev);
             std::string out;
             bool touched = false;
             for (uint8_t b : record) touched |= b != pristine;
             if (touched) out = Bytes(record, sizeof record);
             if (sev != Sentinel<void>()) {
                 uint32_t length;
                 std::memcpy(&length, record + kSecEquivLengthAt, 4);
                 out += "sev:" + Bytes(sev, length);
                 std::free(sev);
             }
             return Outcome{rc, out.empty() ? std::string(kUntouched) : out};
         }},
        {"GetConnectionRecord",
         [] {
             uint8_t record[CIFS_CONNECTION_RECORD_SIZE];
             std::memset(record, kSentinelByte, sizeof record);
             const int rc = CIFSLIB_GetConnectionDetails("7", record, nullptr);
             bool touched = false;
             for (uint8_t b : record) touched |= b != kSentinelByte;
             return Outcome{rc, touched ? Bytes(record, sizeof record) : std::string(kUntouched)};
         }},
        {"GetConnectionMappedShares",
         [] {
             ShareInfoList *list = Sentinel<ShareInfoList>();
             const int rc = CIFSLIB_GetConnectionMappedShares("7", &list);
             return Outcome{rc, DumpShareInfoList(list)};
         }},
        {"ListInvalidUsers",
         [] {
             InvalidUsersRequestRecord req = InvalidUsersRequestOf(std::string(8, '\0'));
             void *list = Sentinel<void>();
             const int rc = CIFSLIB_ListInvalidUsers(req.Get(), &list);
             return Outcome{rc, DumpBlock(list, kBlockDump)};
         }},
        {"CreateShare", [] { return StatusOnly(CIFSLIB_CreateShare(CallerShare().Get())); }},
        {"ChangeShareConfiguration",
         [] { return StatusOnly(CIFSLIB_ChangeShareConfiguration(CallerShare().Get())); }},
        {"ChangeShareFeatureConfiguration",
         [] { return StatusOnly(CIFSLIB_ChangeShareFeatureConfiguration(CallerShare().Get())); }},
        {"RemoveShare", [] { return StatusOnly(CIFSLIB_RemoveShare(CallerShare().Get())); }},
        {"CloseOpenFile",
         [] {
             return StatusOnly(
                 CIFSLIB_CloseOpenFile(OpenFileOf(std::string_view("VOL1:/d/f", 10)).Get()));
         }},
        {"CloseAllOpenFiles",
         [] { return StatusOnly(CIFSLIB_CloseAllOpenFiles(CallerShare().Get())); }},
        {"AddUserContext", [] { return StatusOnly(CIFSLIB_AddUserContext("ou=users,o=example")); }},
        {"RemoveUserContext",
         [] { return StatusOnly(CIFSLIB_RemoveUserContext("ou=users,o=example")); }},
        {"AddPermanentInvalidUser",
         [] { return StatusOnly(CIFSLIB_AddPermanentInvalidUser("guest")); }},
        {"RemoveInvalidUser", [] { return StatusOnly(CIFSLIB_RemoveInvalidUser("guest")); }},
        {"MakePermanentInvalidUser",
         [] { return StatusOnly(CIFSLIB_MakePermanentInvalidUser("guest")); }},
    };
}

std::vector<ApiCall> MonitoringCalls() {
    return {
        {"Ext_ListConnDetails",
         [] {
             int32_t count = 5;
             ConnListNode *list = Sentinel<ConnListNode>();
             const int rc = Ext_ListConnDetails(&count, &list);
             return Outcome{rc, Counted(count, DumpConnList(list))};
         }},
        {"Ext_GetConnInfo",
         [] {
             UserDetailsNode *node = Sentinel<UserDetailsNode>();
             const int rc = Ext_GetConnInfo(7, &node);
             return Outcome{rc, DumpUserDetails(node)};
         }},
        {"Ext_ListVolumeDetails",
         [] {
             int32_t count = 5;
             VolsDetailsNode *list = Sentinel<VolsDetailsNode>();
             const int rc = Ext_ListVolumeDetails(&count, &list);
             return Outcome{rc, Counted(count, DumpVolumes(list))};
         }},
        {"Ext_ListVolFileDetails",
         [] {
             int32_t count = 5;
             VolFileListNode *list = Sentinel<VolFileListNode>();
             const int rc = Ext_ListVolFileDetails("VOL1", &list, &count);
             return Outcome{rc, Counted(count, DumpVolFiles(list))};
         }},
        {"Ext_CloseFileByFileName",
         [] { return StatusOnly(Ext_CloseFileByFileName("VOL1:/d/f")); }},
        {"Ext_CloseFileByVolume", [] { return StatusOnly(Ext_CloseFileByVolume("VOL1")); }},
        {"Ext_CloseFileByID", [] { return StatusOnly(Ext_CloseFileByID(7)); }},
    };
}

size_t SweepStride() {
    const char *s = std::getenv("SHARE_HARDENING_STRIDE");
    const long v = s != nullptr ? std::strtol(s, nullptr, 10) : 1;
    return v > 1 ? static_cast<size_t>(v) : 1;
}

}  // namespace share::test::hardening
