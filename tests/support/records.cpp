// SPDX-License-Identifier: Apache-2.0
#include "tests/support/records.h"

namespace share::test {

// Where a mapped-shares reply carries its value: the four bytes before the MFA share level.
constexpr size_t kShareMappedAt = offsetof(ShareParams, mfaShareLevel) - 4;

ShareParams ShareRecord(const ShareFields &s) {
    ShareParams p;
    std::memset(&p, 0, sizeof p);
    p.volumeType = s.type;
    p.serverValue = s.serverValue;
    p.modifyMask = s.flags;
    PutText(p.volumeName, s.volume);
    PutText(p.shareName, s.name);
    PutText(p.newShareName, s.newName);
    PutText(p.comment, s.comment);
    PutText(p.sharePath, s.path);
    PutText(p.auxText, s.aux);
    p.folderRedirection = s.folder;
    p.encryptData = s.encrypt;
    p.atmBackup = s.atm;
    std::memcpy(reinterpret_cast<uint8_t *>(&p) + kShareMappedAt, &s.mapped, 4);
    return p;
}

Element ShareElement(const ShareFields &s) {
    return RecordElement(CIFS_ELEM_SHARE_RECORD, ShareRecord(s));
}

Bytes ShareDetailsRequest(std::string_view name) {
    ShareParams p;
    std::memset(&p, 0, sizeof p);
    PutText(p.shareName, name);
    return EncodeRequest(0, CIFS_FN_SHARE_DETAILS, {RecordElement(CIFS_ELEM_SHARE_RECORD, p)});
}

std::string RequestedShareName(const Request &r) {
    if (r.elements.empty() || r.elements[0].payload.size() < sizeof(ShareParams)) return {};
    const char *name = reinterpret_cast<const char *>(r.elements[0].payload.data() +
                                                      offsetof(ShareParams, shareName));
    return std::string(name, strnlen(name, sizeof(ShareParams::shareName)));
}

ConnRecord::ConnRecord(const ConnectionRecord &fixed) : ConnRecord() {
    std::memcpy(bytes_.data(), &fixed, sizeof fixed);
}

ConnRecord ConnRecord::Sample(uint16_t id) {
    ConnRecord r;
    const std::string n = std::to_string(id);
    r.Put<uint16_t>(offsetof(ConnectionRecord, connectionId), id)
        .Put<uint64_t>(offsetof(ConnectionRecord, value12), 0x1122334455660000u + id)
        .Text(offsetof(ConnectionRecord, text20), 16, "10.0.0." + n)
        .Text(offsetof(ConnectionRecord, text36), 256, "cn=user" + n + ",o=org")
        .Text(offsetof(ConnectionRecord, text292), 20, "2024-01-0" + n.substr(0, 1) + " 10:00:00")
        .Put<uint32_t>(offsetof(ConnectionRecord, value326), 326000u + id)
        .Put<uint64_t>(offsetof(ConnectionRecord, value330), 0xA000000000000000u + id)
        .Put<uint64_t>(offsetof(ConnectionRecord, value338), 0xB000000000000000u + id)
        .Text(offsetof(ConnectionRecord, text354), 32, "ws" + n)
        .Text(offsetof(ConnectionRecord, text386), 32, "dom" + n);
    return r;
}

ConnRecord &ConnRecord::Text(size_t offset, size_t size, std::string_view text) {
    std::memset(&bytes_[offset], 0, size);
    std::memcpy(&bytes_[offset], text.data(), std::min(size, text.size()));
    return *this;
}

ConnRecord &ConnRecord::Dns(const std::vector<std::string> &dns, size_t areaLength) {
    std::vector<uint8_t> area;
    for (const auto &dn : dns) {
        area.insert(area.end(), dn.begin(), dn.end());
        area.push_back(0);
    }
    if (area.size() < areaLength) area.resize(areaLength, 'x');
    Put<uint32_t>(offsetof(ConnectionRecord, secEquivCount), static_cast<uint32_t>(dns.size()));
    Put<uint32_t>(offsetof(ConnectionRecord, secEquivLength), static_cast<uint32_t>(area.size()));
    bytes_.insert(bytes_.end(), area.begin(), area.end());
    return *this;
}

ConnRecord &ConnRecord::Files(const std::vector<std::string> &names) {
    for (const auto &name : names) {
        bytes_.insert(bytes_.end(), 8, 0xEE);
        bytes_.insert(bytes_.end(), name.begin(), name.end());
        bytes_.push_back(0);
    }
    Put<uint32_t>(offsetof(ConnectionRecord, openFileCount), static_cast<uint32_t>(names.size()));
    return *this;
}

ConnRecord &ConnRecord::Tail(std::string_view bytes) {
    bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
    return *this;
}

ConnRecord &ConnRecord::Truncate(size_t size) {
    bytes_.resize(size);
    return *this;
}

ConnectionRecord ConnRecord::Fixed() const {
    ConnectionRecord r;
    std::memcpy(&r, bytes_.data(), std::min(sizeof r, bytes_.size()));
    return r;
}

Element UserContextsElement(uint32_t word, uint32_t length, std::string_view data) {
    const UserContextHeader header{word, length};
    Element e = RecordElement(CIFS_ELEM_USER_CONTEXTS, header);
    e.payload.insert(e.payload.end(), data.begin(), data.end());
    return e;
}

OpenFilesRequestRecord OpenFilesRequestOf(std::string_view strings, uint32_t nameOffset,
                                          uint32_t connectionId) {
    OpenFilesRequestRecord r(strings);
    r->connectionId = connectionId;
    r->nameOffset = nameOffset;
    r->stringBytes = static_cast<uint32_t>(strings.size());
    return r;
}

OpenFileRecord OpenFileOf(std::string_view strings, uint32_t pathOffset) {
    OpenFileRecord r(strings);
    r->pathOffset = pathOffset;
    return r;
}

InvalidUsersRequestRecord InvalidUsersRequestOf(std::string_view data) {
    InvalidUsersRequestRecord r(data);
    r->dataLength = static_cast<int32_t>(data.size());
    return r;
}

uint32_t ShareInfoBuilder::AddText(const std::string &text) {
    const auto offset = static_cast<uint32_t>(bytes_.size() - SHARE_INFO_FIXED_SIZE);
    bytes_.insert(bytes_.end(), text.begin(), text.end());
    bytes_.push_back(0);
    return offset;
}

ShareInfo *ShareInfoBuilder::Get() {
    fixed_.stringBytes = static_cast<uint32_t>(bytes_.size() - SHARE_INFO_FIXED_SIZE);
    std::memcpy(bytes_.data(), &fixed_, SHARE_INFO_FIXED_SIZE);
    storage_.assign((bytes_.size() + 7) / 8 + 1, 0);
    std::memcpy(storage_.data(), bytes_.data(), bytes_.size());
    return reinterpret_cast<ShareInfo *>(storage_.data());
}

ShareInfoBuilder CallerShare() {
    ShareInfoBuilder b;
    b.Name("S").Volume("VOL1").Path("/d").Comment("c").NewName("N").Switches(1, 0, 0).Mask(
        SHARE_MODIFY_NEW_NAME | SHARE_MODIFY_PATH | SHARE_MODIFY_COMMENT |
        SHARE_MODIFY_ENCRYPT_DATA | SHARE_MODIFY_FOLDER_REDIRECTION | SHARE_MODIFY_ATM_BACKUP);
    return b;
}

ShareInfoBuilder NewShare(const std::string &name) {
    ShareInfoBuilder b;
    b.Name(name).Volume("VOL1").Path("/" + name).NoComment();
    return b;
}

}  // namespace share::test
