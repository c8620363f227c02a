// SPDX-License-Identifier: Apache-2.0
// The file server's endpoint and wire format as the test peers and raw clients see them: its
// abstract socket name, whole reads and writes, and element encoding. No GoogleTest, so that the
// fuzz harnesses and the benchmarks use the same code.
#pragma once

#include <sys/socket.h>
#include <sys/un.h>

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "shareadmin/protocol.h"

namespace share::test {

using Bytes = std::vector<uint8_t>;

inline constexpr socklen_t kServerAddressLength = 16;
sockaddr_un ServerAddress();

// A socket connected to the server's name, or -1.
int ConnectToServer();
// True when something accepts connections on the server's name.
bool ServerAccepting();

// Exactly n bytes, at most `chunk` per call; false at end of stream or on error.
bool ReadAll(int fd, uint8_t *p, size_t n, size_t chunk = SIZE_MAX);
bool WriteAll(int fd, const uint8_t *p, size_t n, size_t chunk = SIZE_MAX);
// A response header and the body it announces, or as much of them as arrived.
Bytes ReadResponse(int fd);

uint32_t LoadU32(const uint8_t *p);
void StoreU32(uint8_t *p, uint32_t v);

struct Element {
    uint8_t type = 0;
    Bytes payload;
    friend bool operator==(const Element &, const Element &) = default;
};

Element TextElement(uint8_t type, std::string_view text);  // text plus its NUL
Element BytesElement(uint8_t type, const void *data, size_t len);
template <class T>
Element RecordElement(uint8_t type, const T &record) {
    return BytesElement(type, &record, sizeof record);
}
Element U32Element(uint8_t type, uint32_t value);

// Wire bytes of a response: header (count and body length derived) and elements.
Bytes EncodeResponse(int32_t status, const std::vector<Element> &elements);
// Wire bytes of a request, as the server would receive them.
Bytes EncodeRequest(uint8_t component, uint8_t function, const std::vector<Element> &elements);
// The whole elements of a body, up to the first one that overruns it.
std::vector<Element> ParseElements(const uint8_t *body, size_t size);

}  // namespace share::test
