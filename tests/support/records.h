// SPDX-License-Identifier: Apache-2.0
// Builders of the records that cross the interface, for the tests, the fuzz harnesses and the
// benchmarks: the server's share and connection records and user-context replies, and the
// records a caller hands to the management functions (share, open file, list requests).
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "shareadmin/api.h"
#include "shareadmin/context.h"
#include "tests/support/fake_server.h"
#include "tests/support/wire.h"

namespace share::test {

// Writes text into a fixed field, zero-filled, without a terminator when it fills the field.
template <size_t N>
void PutText(char (&field)[N], std::string_view text) {
    std::memset(field, 0, N);
    std::memcpy(field, text.data(), std::min(text.size(), N));
}

// ---- The server's records ----

// A share record (ShareParams) by its fields: as the server sends it, or as a configuration
// request must carry it. Everything else is zero.
struct ShareFields {
    std::string name = {};
    std::string newName = {};
    std::string volume = {};
    std::string path = {};
    std::string comment = {};
    std::string aux = {};
    uint16_t type = 0;
    uint32_t serverValue = 0;
    uint32_t flags = 0;  // the modify mask
    int32_t folder = 0;
    int32_t encrypt = 0;
    uint8_t atm = 0;
    uint32_t mapped = 0;
};
ShareParams ShareRecord(const ShareFields &s);
Element ShareElement(const ShareFields &s);  // CIFS_ELEM_SHARE_RECORD

// A share-details request for `name`, and the name such a request carries.
Bytes ShareDetailsRequest(std::string_view name);
std::string RequestedShareName(const Request &r);

// A connection record as the server sends it: the fixed part and an optional variable part
// (security-equivalence DNs, then open-file entries).
class ConnRecord {
  public:
    ConnRecord() : bytes_(CIFS_CONNECTION_RECORD_SIZE, 0) {}
    explicit ConnRecord(const ConnectionRecord &fixed);

    // A recognisable record: every copied field derives from id.
    static ConnRecord Sample(uint16_t id);

    template <class T>
    ConnRecord &Put(size_t offset, T value) {
        std::memcpy(&bytes_[offset], &value, sizeof value);
        return *this;
    }
    // Writes text into its field without a terminator when it fills the field.
    ConnRecord &Text(size_t offset, size_t size, std::string_view text);
    // Security-equivalence area: the DNs back to back, padded with filler to areaLength; sets
    // the DN count and the area length.
    ConnRecord &Dns(const std::vector<std::string> &dns, size_t areaLength = 0);
    // Open-file entries: 8 filler bytes, then the name with its NUL; sets the file count.
    ConnRecord &Files(const std::vector<std::string> &names);
    // Raw bytes after what is there.
    ConnRecord &Tail(std::string_view bytes);
    ConnRecord &Truncate(size_t size);

    ConnectionRecord Fixed() const;
    Element ToElement(uint8_t type = CIFS_ELEM_CONNECTION) const {
        return BytesElement(type, bytes_.data(), bytes_.size());
    }
    const std::vector<uint8_t> &Bytes() const { return bytes_; }

  private:
    std::vector<uint8_t> bytes_;
};

// A user-context reply: the header (word, announced data length), then data.
Element UserContextsElement(uint32_t word, uint32_t length, std::string_view data);

// ---- The caller's records ----

// A record the caller builds: a zeroed fixed part of type T, `Fixed` bytes long, then a string
// area; 8-byte aligned.
template <class T, size_t Fixed>
class CallerRecord {
  public:
    explicit CallerRecord(std::string_view strings = {})
        : storage_((Fixed + strings.size()) / 8 + 1, 0) {
        std::memcpy(reinterpret_cast<char *>(storage_.data()) + Fixed, strings.data(),
                    strings.size());
    }
    T *Get() { return reinterpret_cast<T *>(storage_.data()); }
    T *operator->() { return Get(); }

  private:
    std::vector<uint64_t> storage_;
};

using OpenFilesRequestRecord = CallerRecord<OpenFilesRequest, OPEN_FILES_REQUEST_FIXED_SIZE>;
using OpenFileRecord = CallerRecord<OpenFileInfo, OPEN_FILE_INFO_FIXED_SIZE>;
using InvalidUsersRequestRecord =
    CallerRecord<InvalidUserListRequest, INVALID_USER_REQUEST_FIXED_SIZE>;

// An open-files request over `strings` (stringBytes set) naming the text at nameOffset, or the
// connection when nameOffset is OPEN_FILES_BY_CONNECTION.
OpenFilesRequestRecord OpenFilesRequestOf(std::string_view strings, uint32_t nameOffset = 0,
                                          uint32_t connectionId = 0);
// An open file whose path is the text at pathOffset of `strings`.
OpenFileRecord OpenFileOf(std::string_view strings, uint32_t pathOffset = 0);
// An invalid-user list request carrying `data` (dataLength set).
InvalidUsersRequestRecord InvalidUsersRequestOf(std::string_view data);

// A ShareInfo the caller builds: texts appended to the string area in the order given.
class ShareInfoBuilder {
  public:
    ShareInfoBuilder() : bytes_(SHARE_INFO_FIXED_SIZE, 0) {}

    uint32_t AddText(const std::string &text);
    ShareInfoBuilder &Name(const std::string &t) { return Set(&ShareInfo::nameOffset, t); }
    ShareInfoBuilder &Volume(const std::string &t) { return Set(&ShareInfo::volumeOffset, t); }
    ShareInfoBuilder &Path(const std::string &t) { return Set(&ShareInfo::pathOffset, t); }
    ShareInfoBuilder &Comment(const std::string &t) { return Set(&ShareInfo::commentOffset, t); }
    ShareInfoBuilder &NewName(const std::string &t) { return Set(&ShareInfo::newNameOffset, t); }
    ShareInfoBuilder &NoComment() {
        fixed_.commentOffset = SHARE_INFO_NO_COMMENT;
        return *this;
    }
    ShareInfoBuilder &Mask(uint32_t mask) {
        fixed_.modifyMask = mask;
        return *this;
    }
    ShareInfoBuilder &Switches(uint8_t encrypt, uint8_t folder, uint8_t atm) {
        fixed_.encryptData = encrypt;
        fixed_.folderRedirection = folder;
        fixed_.atmBackup = atm;
        return *this;
    }

    // The record, valid until the builder changes; 8-byte aligned.
    ShareInfo *Get();

  private:
    ShareInfoBuilder &Set(uint32_t ShareInfo::*field, const std::string &text) {
        fixed_.*field = AddText(text);
        return *this;
    }

    ShareInfo fixed_{};
    std::vector<uint8_t> bytes_;
    std::vector<uint64_t> storage_;
};

// A share with every text set (name "S", volume "VOL1", path "/d", comment "c", new name "N")
// and every change bit on: what the share functions are given when only their exchange matters.
ShareInfoBuilder CallerShare();

// A share `name` at VOL1:/name, without a comment, as the tools' tests create it.
ShareInfoBuilder NewShare(const std::string &name);

}  // namespace share::test
