// SPDX-License-Identifier: Apache-2.0
// Shared by the hardening tests: the server's records as raw elements, answers that can be bent
// out of shape, and the outcome of one API call in a comparable form (result code and a dump
// of everything handed to the caller, or "untouched" when the outputs still hold sentinels).
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "shareadmin/api.h"
#include "shareadmin/command.h"
#include "shareadmin/context.h"
#include "shareadmin/monitor.h"
#include "shareadmin/protocol.h"
#include "tests/support/arg_block.h"
#include "tests/support/capture.h"
#include "tests/support/fake_server.h"
#include "tests/support/records.h"

namespace share::test::hardening {

// ---- answers ----

// A response as the server means it: status, elements, and an announced count when it differs
// from the number of elements.
struct Answer {
    int32_t status = 0;
    std::vector<Element> elements;
    std::optional<uint32_t> count;

    std::vector<uint8_t> Wire() const;
    size_t BodyLength() const;
};

// ---- the server's records (built by tests/support/records.h) ----

// A share record whose path defaults to "/" and whose every number field holds a value, so that
// a dropped copy shows.
Element ShareRecord(ShareFields f);

struct ConnectionFields {
    uint16_t id = 1;
    std::vector<std::string> dns;    // security-equivalence DNs
    std::vector<std::string> files;  // open-file names
    bool dnArea = true;              // false: the files follow the fixed part directly
};
Element ConnectionRecord(const ConnectionFields &f);  // type 41, 418 bytes + variable part

// Offsets inside a connection record that hostile answers bend.
inline constexpr size_t kOpenFileCountAt = offsetof(::ConnectionRecord, openFileCount);
inline constexpr size_t kSecEquivCountAt = offsetof(::ConnectionRecord, secEquivCount);
inline constexpr size_t kSecEquivLengthAt = offsetof(::ConnectionRecord, secEquivLength);

void PutU32(std::vector<uint8_t> &bytes, size_t at, uint32_t v);
uint32_t GetU32(const std::vector<uint8_t> &bytes, size_t at);

// ---- outcomes ----

inline constexpr std::string_view kUntouched = "untouched";

struct Outcome {
    int rc = 0;
    std::string out;  // dump of the outputs, or kUntouched
    friend bool operator==(const Outcome &, const Outcome &) = default;
};
void PrintTo(const Outcome &o, std::ostream *os);

// Pointer outputs are pre-filled with this value, number outputs with kSentinelNumber and
// caller-provided records with kSentinelByte.
template <class T>
T *Sentinel() {
    return reinterpret_cast<T *>(static_cast<uintptr_t>(0x5A5A5A5A5A5A5A50ull));
}
inline constexpr int32_t kSentinelNumber = 0x5A5A5A5A;
inline constexpr uint8_t kSentinelByte = 0xA5;

// Dumps (and releases) what a call handed over.
std::string Bytes(const void *p, size_t n);
std::string DumpShareNames(ShareNameList *list);
std::string DumpShareInfoList(ShareInfoList *list);
std::string DumpConnectionList(ConnectionList *list);
std::string DumpConnList(ConnListNode *head);
std::string DumpUserDetails(UserDetailsNode *node);
std::string DumpVolFiles(VolFileListNode *head);
std::string DumpVolumes(VolsDetailsNode *head);

// ---- the API, call by call ----

// One exported function that reads a response, run with sentinel outputs and dumped.
struct ApiCall {
    std::string name;
    std::function<Outcome()> run;
};

// Every CIFSLIB_* and Ext_* function, each with the arguments the tests use.
std::vector<ApiCall> ManagementCalls();
std::vector<ApiCall> MonitoringCalls();

// Scale factor for sweeps, from SHARE_HARDENING_STRIDE (1 unless a slow runner such as
// valgrind asks for a sparser sweep).
size_t SweepStride();

}  // namespace share::test::hardening
