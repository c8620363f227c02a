// SPDX-License-Identifier: Apache-2.0
// Volume and open-file monitoring: volume names, the open files of a volume, and closing files.
#include <algorithm>

#include "monitor/frame.h"

namespace share::monitor {
namespace {

constexpr const char kInvalidFileRecord[] =
    "Received invalid response as part of listing open files";

constexpr TextArrayMessages kFileMessages{
    "Failed to allocate memory for open files information. Memory Requested: %lu bytes",
    "Failed to allocate memory for fileNames. Requested Memory: %lu bytes"};

Made MakeVolume(const Element &element, NodePtr<VolsDetailsNode> &node) noexcept {
    if (element.type != CIFS_ELEM_NAME) {
        SHARE_LOG_CLI_ERROR("Invalid data type in response packet");
        return Made::kSkipped;
    }
    node = NewNode<VolsDetailsNode>(
        "Failed to allocate memory for Volume Information. Requested Memory: %lu bytes");
    if (!node) return Made::kNoMemory;
    CopyText(element.Bytes(), node->name, sizeof node->name);
    return Made::kNode;
}

Made MakeVolumeFiles(const Element &element, NodePtr<VolFileListNode> &node) noexcept {
    const RecordView rec(element.Bytes());
    if (element.type != CIFS_ELEM_CONNECTION || !rec.HasFixedPart()) {
        SHARE_LOG_CLI_ERROR(kInvalidFileRecord);
        return Made::kSkipped;
    }
    node = NewNode<VolFileListNode>(
        "Failed to allocate memory for ConnFile node. Requested Memory: %lu bytes");
    if (!node) return Made::kNoMemory;
    const uint32_t fileCount = std::min(rec.Get<uint32_t>(record::kOpenFileCount), kMaxOpenFiles);
    node->connectionId = rec.Get<uint16_t>(record::kConnectionId);
    node->openFileCount = static_cast<uint16_t>(fileCount);
    rec.Text(record::kText36, node->text36, sizeof node->text36);
    if (fileCount == 0) return Made::kNode;

    // The entries follow the fixed part directly in these records.
    TextWalk files(rec.From(record::kFixedSize));
    char **array = nullptr;
    const Copied copied = CopyTexts(files, fileCount, record::kFileEntrySkip, kFileMessages, array);
    node->fileNames = array;
    switch (copied) {
        case Copied::kDone:
            return Made::kNode;
        case Copied::kMalformed:
            node.reset();
            SHARE_LOG_CLI_ERROR(kInvalidFileRecord);
            return Made::kSkipped;
        case Copied::kNoMemory:
            break;
    }
    return Made::kNoMemory;
}

int Close(CmdContext request, const char *refusal) noexcept {
    ResponsePtr reply;
    return Exchange(request, refusal, reply);
}

}  // namespace
}  // namespace share::monitor

using namespace share;
using namespace share::monitor;

extern "C" SHARE_API int Ext_ListVolumeDetails(int32_t *count, VolsDetailsNode **listOut) noexcept {
    if (count == nullptr || listOut == nullptr) return -1;
    CmdContext request = NewRecord(CIFS_FN_MON_LIST_VOLUMES);
    ResponsePtr reply;
    if (int rc = Exchange(request, "(Interface)Listing of all Volumes/Shares Failed. Error: %d",
                          reply)) {
        return rc;
    }
    switch (CollectNodes(reply.get(), count, listOut, MakeVolume)) {
        case Collected::kStored:
            return 0;
        case Collected::kNoElement:
            SHARE_LOG_CLI_DEBUG("No data is available in the response packet to list the shares");
            break;
        case Collected::kFailed:
            break;
    }
    return -1;
}

extern "C" SHARE_API int Ext_ListVolFileDetails(const char *volume, VolFileListNode **listOut,
                                                int32_t *count) noexcept {
    if (volume == nullptr || listOut == nullptr || count == nullptr) return -1;
    CmdContext request = NewRecord(CIFS_FN_MON_VOLUME_FILES, volume);
    ResponsePtr reply;
    if (int rc =
            Exchange(request, "(Interface)Listing all Open Files within a Volume Failed. Error: %d",
                     reply)) {
        return rc;
    }
    switch (CollectNodes(reply.get(), count, listOut, MakeVolumeFiles)) {
        case Collected::kStored:
            return 0;
        case Collected::kNoElement:
            SHARE_LOG_CLI_DEBUG("No files are in open state");
            break;
        case Collected::kFailed:
            break;
    }
    return -1;
}

extern "C" SHARE_API int Ext_CloseFileByFileName(const char *path) noexcept {
    if (path == nullptr) return -1;
    return Close(NewRecord(CIFS_FN_MON_CLOSE_BY_PATH, path),
                 "(Interface)Closing all File Handles by Filename Failed. Error: %d");
}

extern "C" SHARE_API int Ext_CloseFileByVolume(const char *volume) noexcept {
    if (volume == nullptr) return -1;
    return Close(NewRecord(CIFS_FN_MON_CLOSE_BY_VOLUME, volume),
                 "(Interface)Closing all Files within a Volume Failed. Error: %d");
}

extern "C" SHARE_API int Ext_CloseFileByID(int32_t connectionNumber) noexcept {
    return Close(NewRecord(CIFS_FN_MON_CLOSE_BY_CONNECTION, connectionNumber),
                 "(Interface)Closing all File Handles by a connection Failed. Error: %d");
}
