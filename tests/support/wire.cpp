// SPDX-License-Identifier: Apache-2.0
#include "tests/support/wire.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace share::test {
namespace {

void AppendU32(Bytes &out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

void AppendElements(Bytes &out, const std::vector<Element> &elements) {
    for (const Element &e : elements) {
        out.push_back(e.type);
        out.insert(out.end(), 3, 0);
        AppendU32(out, static_cast<uint32_t>(e.payload.size()));
        out.insert(out.end(), e.payload.begin(), e.payload.end());
    }
}

uint32_t BodyLength(const std::vector<Element> &elements) {
    size_t n = 0;
    for (const Element &e : elements) n += CIFS_ELEMENT_HEADER_SIZE + e.payload.size();
    return static_cast<uint32_t>(n);
}

}  // namespace

sockaddr_un ServerAddress() {
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::memcpy(addr.sun_path, "\0/tmp/cifs.str", 14);
    return addr;
}

int ConnectToServer() {
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    const sockaddr_un addr = ServerAddress();
    if (connect(fd, reinterpret_cast<const sockaddr *>(&addr), kServerAddressLength) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

bool ServerAccepting() {
    const int fd = ConnectToServer();
    if (fd < 0) return false;
    close(fd);
    return true;
}

bool ReadAll(int fd, uint8_t *p, size_t n, size_t chunk) {
    while (n > 0) {
        const ssize_t got = read(fd, p, n < chunk ? n : chunk);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        p += got;
        n -= static_cast<size_t>(got);
    }
    return true;
}

bool WriteAll(int fd, const uint8_t *p, size_t n, size_t chunk) {
    while (n > 0) {
        const ssize_t put = send(fd, p, n < chunk ? n : chunk, MSG_NOSIGNAL);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) return false;
        p += put;
        n -= static_cast<size_t>(put);
    }
    return true;
}

Bytes ReadResponse(int fd) {
    Bytes out(CIFS_RESP_HEADER_SIZE);
    if (!ReadAll(fd, out.data(), out.size())) return {};
    const uint32_t body = LoadU32(out.data() + CIFS_RESP_HEADER_SIZE - 4);
    out.resize(CIFS_RESP_HEADER_SIZE + size_t{body});
    if (!ReadAll(fd, out.data() + CIFS_RESP_HEADER_SIZE, body)) out.resize(CIFS_RESP_HEADER_SIZE);
    return out;
}

uint32_t LoadU32(const uint8_t *p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

void StoreU32(uint8_t *p, uint32_t v) {
    std::memcpy(p, &v, 4);
}

Element TextElement(uint8_t type, std::string_view text) {
    Element e{type, Bytes(text.begin(), text.end())};
    e.payload.push_back(0);
    return e;
}

Element BytesElement(uint8_t type, const void *data, size_t len) {
    const auto *p = static_cast<const uint8_t *>(data);
    return Element{type, Bytes(p, p + len)};
}

Element U32Element(uint8_t type, uint32_t value) {
    return BytesElement(type, &value, sizeof value);
}

Bytes EncodeResponse(int32_t status, const std::vector<Element> &elements) {
    Bytes out;
    AppendU32(out, static_cast<uint32_t>(status));
    AppendU32(out, static_cast<uint32_t>(elements.size()));
    AppendU32(out, BodyLength(elements));
    AppendElements(out, elements);
    return out;
}

Bytes EncodeRequest(uint8_t component, uint8_t function, const std::vector<Element> &elements) {
    Bytes out{component, function, static_cast<uint8_t>(elements.size()), 0};
    AppendU32(out, BodyLength(elements));
    AppendElements(out, elements);
    return out;
}

std::vector<Element> ParseElements(const uint8_t *body, size_t size) {
    std::vector<Element> out;
    for (size_t off = 0; off + CIFS_ELEMENT_HEADER_SIZE <= size;) {
        const uint32_t len = LoadU32(body + off + 4);
        if (len > size - off - CIFS_ELEMENT_HEADER_SIZE) break;
        const uint8_t *payload = body + off + CIFS_ELEMENT_HEADER_SIZE;
        out.push_back(Element{body[off], Bytes(payload, payload + len)});
        off += CIFS_ELEMENT_HEADER_SIZE + len;
    }
    return out;
}

}  // namespace share::test
