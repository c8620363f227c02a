// SPDX-License-Identifier: Apache-2.0
#include "common/server_formats.h"

#include <arpa/inet.h>

#include <array>
#include <cstring>

#include "common/option_rows.h"

namespace share::tools {
namespace {

constexpr std::array kStatuses = {
    StatusInfo{kOk, "ok", "done"},
    StatusInfo{kMalformedRequest, "malformed-request",
               "the request's elements are missing, of the wrong type or length, or unterminated"},
    StatusInfo{kUnknownFunction, "unknown-function",
               "the server has no such component or function"},
    StatusInfo{kNoSuchVolume, "no-such-volume", "no volume has that name"},
    StatusInfo{kNoSuchShare, "no-such-share", "no share has that name"},
    StatusInfo{kNameTaken, "name-taken", "the name is already in use"},
    StatusInfo{kInvalidValue, "invalid-value", "the value is not accepted for this setting"},
    StatusInfo{kNoSuchConnection, "no-such-connection", "no client connection has that ID"},
    StatusInfo{kNoSuchFile, "no-such-file", "no open file has that path"},
    StatusInfo{kNoSuchUser, "no-such-user", "the user is not in the invalid-user cache"},
    StatusInfo{kNoSuchEntry, "no-such-entry", "no such entry exists"},
    StatusInfo{kNotPermitted, "not-permitted", "the object may not be changed this way"},
    StatusInfo{kLimitReached, "limit-reached",
               "the server holds as many objects of this kind as it accepts"},
    StatusInfo{kStateNotSaved, "state-not-saved",
               "the change could not be saved to the state file and was not made"},
    StatusInfo{kAccessDenied, "access-denied",
               "the server does not serve callers of this uid and gid"},
};
constexpr StatusInfo kUnknownStatus{-1, "unknown-status", "unknown status"};

}  // namespace

sockaddr_un EndpointAddress() {
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::memcpy(addr.sun_path + 1, kEndpointName, sizeof kEndpointName - 1);
    return addr;
}

std::string Ipv4Text(const uint8_t ip[4]) {
    if (ip[0] == 0 && ip[1] == 0 && ip[2] == 0 && ip[3] == 0) return "";
    char text[INET_ADDRSTRLEN];
    inet_ntop(AF_INET, ip, text, sizeof text);
    return text;
}

std::span<const StatusInfo> StatusTable() {
    return kStatuses;
}

const StatusInfo &DescribeStatus(int32_t code) {
    for (const auto &s : kStatuses)
        if (s.code == code) return s;
    return kUnknownStatus;
}

namespace {
template <class T>
T ReadAt(const ConnectionRecord &record, size_t offset) {
    T value;
    std::memcpy(&value, reinterpret_cast<const uint8_t *>(&record) + offset, sizeof value);
    return value;
}
template <class T>
void WriteAt(ConnectionRecord &record, size_t offset, T value) {
    std::memcpy(reinterpret_cast<uint8_t *>(&record) + offset, &value, sizeof value);
}
}  // namespace

uint16_t ConnFlags(const ConnectionRecord &record) {
    return ReadAt<uint16_t>(record, 2);
}
uint32_t ConnTotalFiles(const ConnectionRecord &record) {
    return ReadAt<uint32_t>(record, kConnTotalFilesOffset);
}
uint32_t ConnMappedShares(const ConnectionRecord &record) {
    return ReadAt<uint32_t>(record, kConnMappedSharesOffset);
}
void SetConnFlags(ConnectionRecord &record, uint16_t flags) {
    WriteAt(record, 2, flags);
}
void SetConnTotalFiles(ConnectionRecord &record, uint32_t files) {
    WriteAt(record, kConnTotalFilesOffset, files);
}
void SetConnMappedShares(ConnectionRecord &record, uint32_t shares) {
    WriteAt(record, kConnMappedSharesOffset, shares);
}

std::span<const StoredOption> OptionTable() {
    return option_rows::kOptionRows;
}

const StoredOption *FindOptionByFunction(uint8_t function) {
    for (const auto &o : option_rows::kOptionRows)
        if (o.function == function) return &o;
    return nullptr;
}

const StoredOption *FindOptionByName(std::string_view name) {
    for (const auto &o : option_rows::kOptionRows)
        if (name == o.name) return &o;
    return nullptr;
}

const StoredOption *FindOptionByElement(uint8_t element) {
    for (const auto &o : option_rows::kOptionRows)
        if (o.element == element) return &o;
    return nullptr;
}

const char *KeywordFor(const StoredOption &optionRow, int32_t value) {
    for (const auto &k : optionRow.keywords)
        if (k.value == value) return k.word;
    return nullptr;
}

}  // namespace share::tools
