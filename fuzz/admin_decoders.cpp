// Every management function that decodes a response, fed fuzzed answers. The first byte picks
// the function; the rest are the answers of its exchanges, in order.
#include <cstdlib>
#include <cstring>

#include "fuzz/harness.h"
#include "share/api.h"
#include "share/command.h"
#include "share/protocol.h"

namespace {

void FreeShareInfoList(ShareInfoList *list) {
    if (list == nullptr) return;
    for (uint32_t i = 0; i < list->count; ++i) {
        ShareInfo *entry;
        std::memcpy(&entry, reinterpret_cast<char *>(list) + 4 + 8 * i, sizeof entry);
        std::free(entry);
    }
    std::free(list);
}

// A caller-built request record with a short string area.
template <size_t Fixed, size_t LengthOffset>
struct Request {
    alignas(8) uint8_t bytes[Fixed + 16] = {};
    Request() {
        uint32_t n = 16;
        std::memcpy(bytes + LengthOffset, &n, 4);
        std::memcpy(bytes + Fixed, "VOL1:/dir/file", 15);
    }
};

void Run(uint8_t which) {
    switch (which % 12) {
        case 0: {
            ShareNameList *names = nullptr;
            if (CIFSLIB_GetShareNames(&names) == 0) std::free(names);
            break;
        }
        case 1: {
            ShareInfoList *list = nullptr;
            if (CIFSLIB_ListAllShares(&list) == 0) FreeShareInfoList(list);
            break;
        }
        case 2: {
            Request<OPEN_FILES_REQUEST_FIXED_SIZE, 24> req;
            void *reply = nullptr;
            if (CIFSLIB_ListOpenFiles(reinterpret_cast<OpenFilesRequest *>(req.bytes), &reply) == 0)
                std::free(reply);
            break;
        }
        case 3: {
            UserContextHeader *header = nullptr;
            void *data = nullptr;
            if (CIFSLIB_ListUserContexts(&header, &data) == 0) {
                std::free(header);
                std::free(data);
            }
            break;
        }
        case 4: {
            int32_t count = 0;
            CIFSLIB_GetConnectionsCount(&count);
            break;
        }
        case 5: {
            ConnectionList *list = nullptr;
            if (CIFSLIB_GetConnectionsList(&list) == 0 && list != nullptr) {
                std::free(list->records);
                std::free(list);
            }
            break;
        }
        case 6: {
            ConnectionRecord record{};
            void *sev = nullptr;
            if (CIFSLIB_GetConnectionDetails("7", &record, &sev) == 0) std::free(sev);
            break;
        }
        case 7: {
            ShareInfoList *list = nullptr;
            if (CIFSLIB_GetConnectionMappedShares("7", &list) == 0) FreeShareInfoList(list);
            break;
        }
        case 8: {
            Request<INVALID_USER_REQUEST_FIXED_SIZE, 16> req;
            void *list = nullptr;
            if (CIFSLIB_ListInvalidUsers(req.bytes, &list) == 0) std::free(list);
            break;
        }
        case 9:
            CIFSLIB_AddUserContext("ou=users,o=example");
            break;
        case 10:
            CIFSLIB_RemoveInvalidUser("guest");
            break;
        default: {
            alignas(8) uint8_t raw[SHARE_INFO_FIXED_SIZE + 32] = {};
            auto *info = reinterpret_cast<ShareInfo *>(raw);
            std::memcpy(raw + SHARE_INFO_FIXED_SIZE, "S\0VOL1\0/d\0", 10);
            info->volumeOffset = 2;
            info->pathOffset = 7;
            info->commentOffset = SHARE_INFO_NO_COMMENT;
            CIFSLIB_CreateShare(info);
            break;
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    gCIFSLogLevel = 127;  // every message path formats its arguments
    share::fuzz::StartPeer();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 1 || size > (1u << 20)) return 0;
    share::fuzz::QueueAnswers({data + 1, size - 1});
    Run(data[0]);
    return 0;
}
