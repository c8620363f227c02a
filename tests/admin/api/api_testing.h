// SPDX-License-Identifier: Apache-2.0
// Shared by the management API tests: a fixture that captures the log and keeps the argument
// block clean, the requests the functions are expected to send, and readers of what they hand
// over. The records themselves come from tests/support/records.h.
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
#include "tests/support/records.h"

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

inline std::vector<uint8_t> TextRequest(uint8_t function, uint8_t type, const std::string &text) {
    return EncodeRequest(0, function, {TextElement(type, text)});
}

inline std::vector<uint8_t> ConnectionIdRequest(uint8_t function, uint16_t id) {
    return EncodeRequest(0, function, {BytesElement(41, &id, sizeof id)});
}

// ---- Caller side ----

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
