// SPDX-License-Identifier: Apache-2.0
#include "admin/api/exchange.h"

#include <cstdlib>
#include <cstring>

namespace share::api {

void Command::Put(int32_t id, char *value) noexcept {
    gbCifsArg[next_].id = id;
    gbCifsArg[next_].value = value;
    ++next_;
}

bool Command::AddCopy(int32_t id, const char *text) noexcept {
    char *copy = strdup(text);
    Put(id, copy);
    return copy != nullptr;
}

bool Command::AddOwned(int32_t id, CString text) noexcept {
    const bool ok = text != nullptr;
    Put(id, text.release());
    return ok;
}

void Command::AddBorrowed(int32_t id, void *record) noexcept {
    borrowed_ |= uint64_t{1} << next_;
    Put(id, static_cast<char *>(record));
}

void Command::Release() noexcept {
    for (int i = 0; i < next_; ++i) {
        // The pipeline clears what it consumes; anything left here is ours (or the caller's
        // record, which must not dangle in the block either).
        if ((borrowed_ & (uint64_t{1} << i)) == 0) std::free(gbCifsArg[i].value);
        gbCifsArg[i].value = nullptr;
    }
}

int Command::Run(ResponsePtr &response, int32_t &status) noexcept {
    RespPkt *raw = nullptr;
    const int rc = ValidateAndProcessCmd(&raw);
    Release();
    if (rc != 0 || raw == nullptr) return -1;
    response.reset(raw);
    const auto value = ResponseStatus(raw);
    if (!value) return -1;
    status = *value;
    return 0;
}

}  // namespace share::api
