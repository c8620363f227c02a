// SPDX-License-Identifier: Apache-2.0
// Connection monitoring: the list of active connections and one connection's details.
#include <algorithm>

#include "monitor/frame.h"

namespace share::monitor {
namespace {

constexpr const char kInvalidType[] = "Internal error - Invalid data type in the response packet";
constexpr const char kNoDetails[] = "Failed to get connection details from response packet";

constexpr TextArrayMessages kDnMessages{
    "Failed to allocate memory for security equivalence information. Requested Memory: %lu bytes",
    "Failed to allocate memory for security equivalence DNs. Requested Memory: %lu bytes"};
constexpr TextArrayMessages kFileMessages{
    "Failed to allocate memory for open files information while fetching user details. "
    "Requested Memory: %lu bytes",
    "Failed to allocate memory for file names while fetching user details. Requested "
    "Memory:%lu bytes"};

Made MakeConnection(const Element &element, NodePtr<ConnListNode> &node) noexcept {
    const RecordView rec(element.Bytes());
    if (element.type != CIFS_ELEM_CONNECTION || !rec.HasFixedPart()) {
        SHARE_LOG_CLI_ERROR(kInvalidType);
        return Made::kSkipped;
    }
    node = NewNode<ConnListNode>(
        "Failed to allocate memory for User node while listing connections. Requested Memory : "
        "%lu bytes");
    if (!node) return Made::kNoMemory;
    node->connectionId = rec.Get<uint16_t>(record::kConnectionId);
    rec.Text(record::kText20, node->text20, sizeof node->text20);
    rec.Text(record::kText36, node->text36, sizeof node->text36);
    rec.Text(record::kText292, node->text292, sizeof node->text292);
    node->value326 = rec.Get<uint32_t>(record::kValue326);
    node->value330 = rec.Get<uint64_t>(record::kValue330);
    node->value338 = rec.Get<uint64_t>(record::kValue338);
    node->value12 = rec.Get<uint64_t>(record::kValue12);
    return Made::kNode;
}

// Fills the node's variable part: DNs, then the open-file names behind the DN area.
Copied CopyVariablePart(const RecordView &rec, UserDetailsNode &node) noexcept {
    const uint32_t dnCount = rec.Get<uint32_t>(record::kSecEquivCount);
    const uint32_t dnLength = rec.Get<uint32_t>(record::kSecEquivLength);
    const auto variable = rec.From(record::kFixedSize);
    if (dnLength > variable.size()) return Copied::kMalformed;

    if (dnCount != 0) {
        TextWalk dns(variable.first(dnLength));
        char **array = nullptr;
        const Copied copied = CopyTexts(dns, dnCount, 0, kDnMessages, array);
        node.secEquivDns = array;
        if (array != nullptr) node.secEquivCount = dnCount;
        if (copied != Copied::kDone) return copied;
    }

    const uint32_t fileCount = std::min(rec.Get<uint32_t>(record::kOpenFileCount), kMaxOpenFiles);
    if (fileCount == 0) return Copied::kDone;
    node.openFileCount = static_cast<uint16_t>(fileCount);
    TextWalk files(variable.subspan(dnLength));
    char **array = nullptr;
    const Copied copied = CopyTexts(files, fileCount, record::kFileEntrySkip, kFileMessages, array);
    node.openFileNames = array;
    return copied;
}

}  // namespace
}  // namespace share::monitor

using namespace share;
using namespace share::monitor;

extern "C" SHARE_API int Ext_ListConnDetails(int32_t *count, ConnListNode **listOut) noexcept {
    if (count == nullptr || listOut == nullptr) return -1;
    CmdContext request = NewRecord(CIFS_FN_MON_LIST_CONNECTIONS);
    ResponsePtr reply;
    if (int rc = Exchange(request, "(Interface)Listing of all active connections failed. Error: %d",
                          reply)) {
        return rc;
    }
    switch (CollectNodes(reply.get(), count, listOut, MakeConnection)) {
        case Collected::kStored:
            return 0;
        case Collected::kNoElement:
            *count = 0;
            return 0;
        case Collected::kFailed:
            break;
    }
    return -1;
}

extern "C" SHARE_API int Ext_GetConnInfo(int32_t connectionNumber,
                                         UserDetailsNode **detailsOut) noexcept {
    if (detailsOut == nullptr) return -1;
    CmdContext request = NewRecord(CIFS_FN_MON_CONNECTION_DETAILS, connectionNumber);
    ResponsePtr reply;
    if (int rc = Exchange(request, "(Interface)Getting User Details Failed. Error: %d", reply)) {
        return rc;
    }
    Element element;
    const Step step = ElementWalk(reply.get()).Next(element);
    if (step == Step::kFailed) return -1;
    if (step == Step::kEnd) {
        SHARE_LOG_CLI_ERROR(kNoDetails);
        return -1;
    }
    if (element.type != CIFS_ELEM_CONNECTION) return 0;
    const RecordView rec(element.Bytes());
    // A record that cannot be read whole counts as an element of another type: nothing kept.
    if (!rec.HasFixedPart()) {
        SHARE_LOG_CLI_ERROR(kNoDetails);
        return 0;
    }

    auto node = NewNode<UserDetailsNode>(
        "Failed to allocate memory for User Info node while fetching user details. Requested "
        "Memory: %lu bytes");
    if (!node) return -1;
    node->connectionId = rec.Get<uint16_t>(record::kConnectionId);
    rec.Text(record::kText20, node->text20, sizeof node->text20);
    rec.Text(record::kText386, node->text386, sizeof node->text386);
    rec.Text(record::kText354, node->text354, sizeof node->text354);
    rec.Text(record::kText36, node->text36, sizeof node->text36);
    rec.Text(record::kText292, node->text292, sizeof node->text292);
    node->value12 = rec.Get<uint64_t>(record::kValue12);

    switch (CopyVariablePart(rec, *node)) {
        case Copied::kDone:
            *detailsOut = node.release();
            return 0;
        case Copied::kMalformed:
            SHARE_LOG_CLI_ERROR(kNoDetails);
            return 0;
        case Copied::kNoMemory:
            break;
    }
    return -1;
}
