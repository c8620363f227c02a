// Shared by the management API tests: a fixture that captures the log and keeps the argument
// block clean, builders for the server's records and the caller's records, and the requests the
// functions are expected to send.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "shareadmin/api.h"
#include "shareadmin/command.h"
#include "shareadmin/context.h"
#include "shareadmin/protocol.h"
#include "tests/support/alloc_fault.h"
#include "tests/support/arg_block.h"
#include "tests/support/capture.h"
#include "tests/support/fake_server.h"

namespace share::test {

inline constexpr uint32_t kLogEverything = 127;

class ApiTest : public ::testing::Test {
  protected:
    void SetUp() override {
        saved_level_ = gCIFSLogLevel;
        gCIFSLogLevel = kLogEverything;
        ClearArgBlock();
        log_.Clear();
    }
    void TearDown() override {
        gCIFSLogLevel = saved_level_;
        ClearArgBlock();
    }

    // The lines logged by the management functions themselves, in order.
    std::vector<std::string> ApiLines() {
        std::vector<std::string> out;
        for (const std::string &t : log_.Texts()) {
            const size_t at = t.find(": CLI: ");
            if (at == std::string::npos) continue;
            const std::string_view msg = std::string_view(t).substr(at + 7);
            if (msg.starts_with("CIFSLIB: ") || msg.starts_with("********") ||
                msg == "Invalid data type in the response packet")
                out.push_back(t);
        }
        return out;
    }

    SyslogCapture log_;
    uint32_t saved_level_ = 0;
};

inline std::string Line(std::string_view level, std::string_view message) {
    return std::string(level) + ": CLI: " + std::string(message);
}

// ---- Server side ----

// A share record as the server sends it.
struct ServerShare {
    std::string name = {};
    std::string volume = {};
    std::string path = {};
    std::string comment = {};
    std::string aux = {};
    uint16_t type = 0;
    uint32_t serverValue = 0;
    uint32_t flags = 0;
    int32_t folder = 0;
    int32_t encrypt = 0;
    uint8_t atm = 0;
    uint32_t mapped = 0;
};

template <size_t N>
void Put(char (&field)[N], const std::string &text) {
    std::memset(field, 0, N);
    std::memcpy(field, text.data(), std::min(text.size(), N));
}

inline ShareParams ShareRecord(const ServerShare &s) {
    ShareParams p;
    std::memset(&p, 0, sizeof p);
    p.volumeType = s.type;
    p.serverValue = s.serverValue;
    p.modifyMask = s.flags;
    Put(p.volumeName, s.volume);
    Put(p.shareName, s.name);
    Put(p.comment, s.comment);
    Put(p.sharePath, s.path);
    Put(p.auxText, s.aux);
    p.folderRedirection = s.folder;
    p.encryptData = s.encrypt;
    p.atmBackup = s.atm;
    std::memcpy(reinterpret_cast<uint8_t *>(&p) + 5160, &s.mapped, 4);
    return p;
}

inline Element ShareElement(const ServerShare &s) {
    return RecordElement(6, ShareRecord(s));
}

// The share name a details request carries.
inline std::string RequestedShareName(const Request &r) {
    if (r.elements.empty() || r.elements[0].payload.size() < sizeof(ShareParams)) return {};
    return reinterpret_cast<const char *>(r.elements[0].payload.data() +
                                          offsetof(ShareParams, shareName));
}

// Wire bytes of a response whose header announces `count` elements whatever the body holds.
inline std::vector<uint8_t> ResponseWithCount(int32_t status, uint32_t count,
                                              const std::vector<Element> &elements) {
    std::vector<uint8_t> bytes = EncodeResponse(status, elements);
    std::memcpy(bytes.data() + 4, &count, 4);
    return bytes;
}

// ---- Requests the functions send ----

inline std::vector<uint8_t> NoElementRequest(uint8_t function) {
    return EncodeRequest(0, function, {});
}

inline std::vector<uint8_t> ShareDetailsRequest(const std::string &name) {
    ShareParams p;
    std::memset(&p, 0, sizeof p);
    Put(p.shareName, name);
    return EncodeRequest(0, 1, {RecordElement(6, p)});
}

inline std::vector<uint8_t> TextRequest(uint8_t function, uint8_t type, const std::string &text) {
    return EncodeRequest(0, function, {TextElement(type, text)});
}

inline std::vector<uint8_t> ConnectionIdRequest(uint8_t function, uint16_t id) {
    return EncodeRequest(0, function, {BytesElement(41, &id, sizeof id)});
}

// ---- Caller side ----

// A ShareInfo the caller builds: texts appended to the string area in the order given.
class ShareInfoBuilder {
  public:
    ShareInfoBuilder() : bytes_(SHARE_INFO_FIXED_SIZE, 0) {}

    uint32_t AddText(const std::string &text) {
        const auto offset = static_cast<uint32_t>(bytes_.size() - SHARE_INFO_FIXED_SIZE);
        bytes_.insert(bytes_.end(), text.begin(), text.end());
        bytes_.push_back(0);
        return offset;
    }
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
    ShareInfo *Get() {
        fixed_.stringBytes = static_cast<uint32_t>(bytes_.size() - SHARE_INFO_FIXED_SIZE);
        std::memcpy(bytes_.data(), &fixed_, SHARE_INFO_FIXED_SIZE);
        storage_.assign((bytes_.size() + 7) / 8 + 1, 0);
        std::memcpy(storage_.data(), bytes_.data(), bytes_.size());
        return reinterpret_cast<ShareInfo *>(storage_.data());
    }

  private:
    ShareInfoBuilder &Set(uint32_t ShareInfo::*field, const std::string &text) {
        fixed_.*field = AddText(text);
        return *this;
    }

    ShareInfo fixed_{};
    std::vector<uint8_t> bytes_;
    std::vector<uint64_t> storage_;
};

inline std::string TextOf(const ShareInfo *info, uint32_t offset) {
    return SHARE_INFO_TEXT(info, offset);
}

inline ShareInfo *EntryOf(const ShareInfoList *list, size_t i) {
    ShareInfo *info;
    std::memcpy(&info, reinterpret_cast<const char *>(list) + 4 + 8 * i, sizeof info);
    return info;
}

inline void FreeInfoList(ShareInfoList *list) {
    if (list == nullptr) return;
    for (uint32_t i = 0; i < list->count; ++i) std::free(EntryOf(list, i));
    std::free(list);
}

inline std::string SlotOf(const ShareNameList *list, size_t i) {
    const char *slot = reinterpret_cast<const char *>(list) + 4 + SHARE_NAME_SLOT_SIZE * i;
    return std::string(slot, strnlen(slot, SHARE_NAME_SLOT_SIZE));
}

// True when the slot is all zero bytes.
inline bool SlotIsZero(const ShareNameList *list, size_t i) {
    const char *slot = reinterpret_cast<const char *>(list) + 4 + SHARE_NAME_SLOT_SIZE * i;
    for (size_t k = 0; k < SHARE_NAME_SLOT_SIZE; ++k)
        if (slot[k] != 0) return false;
    return true;
}

// A value no function ever stores, to see that a result location was left alone.
template <class T>
T *Sentinel() {
    return reinterpret_cast<T *>(uintptr_t{0x5e47});
}

}  // namespace share::test
