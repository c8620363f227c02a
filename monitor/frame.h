// SPDX-License-Identifier: Apache-2.0
// Mechanics shared by every monitoring call: the request/refusal step and the result lists that
// own their nodes until handed over.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <span>
#include <utility>

#include "monitor/record.h"
#include "protocol/log.h"
#include "protocol/memory.h"
#include "protocol/reply.h"
#include "shareadmin/monitor.h"

namespace share::monitor {

// A zeroed request record for one function, with the optional parameter at the start of params.
CmdContext NewRecord(uint8_t function) noexcept;
CmdContext NewRecord(uint8_t function, int32_t connectionNumber) noexcept;
CmdContext NewRecord(uint8_t function, const char *text) noexcept;

// Sends the record and reads the reply's status. 0: the server accepted and `response` holds
// the reply. Otherwise the call's result, with nothing held: -1 when nothing was received, or
// the server's status after logging `refusal` with it.
int Exchange(CmdContext &record, const char *refusal, ResponsePtr &response) noexcept;

// Releasing one node (and everything behind it) with the public free functions.
inline void ReleaseNodes(ConnListNode *head) noexcept {
    FreeConnListNodes(&head);
}
inline void ReleaseNodes(UserDetailsNode *node) noexcept {
    FreeUserDetailsNode(&node);
}
inline void ReleaseNodes(VolFileListNode *head) noexcept {
    FreeVolFileListNodes(&head);
}
inline void ReleaseNodes(VolsDetailsNode *head) noexcept {
    FreeVolsDetailsNode(&head);
}

template <class Node>
struct NodeDeleter {
    void operator()(Node *node) const noexcept { ReleaseNodes(node); }
};
template <class Node>
using NodePtr = std::unique_ptr<Node, NodeDeleter<Node>>;

// A zero-filled node; on failure null after logging `failure` with the node size.
template <class Node>
NodePtr<Node> NewNode(const char *failure) noexcept {
    NodePtr<Node> node(static_cast<Node *>(std::calloc(1, sizeof(Node))));
    if (!node) SHARE_LOG_CLI_ERROR(failure, static_cast<unsigned long>(sizeof(Node)));
    return node;
}

// Adds one to the caller's counter (wrapping like the 32-bit field it is).
inline void Count(int32_t *counter) noexcept {
    *counter = static_cast<int32_t>(static_cast<uint32_t>(*counter) + 1u);
}

// A list under construction, in reply order; frees its nodes unless taken.
template <class Node>
class NodeList {
  public:
    NodeList() = default;
    NodeList(const NodeList &) = delete;
    NodeList &operator=(const NodeList &) = delete;
    ~NodeList() { ReleaseNodes(head_); }

    void Append(NodePtr<Node> node) noexcept {
        Node *n = node.release();
        if (tail_ != nullptr) {
            tail_->next = n;
        } else {
            head_ = n;
        }
        tail_ = n;
    }

    Node *Take() noexcept {
        Node *head = head_;
        head_ = tail_ = nullptr;
        return head;
    }

  private:
    Node *head_ = nullptr;
    Node *tail_ = nullptr;
};

// What one element turned into.
enum class Made { kNode, kSkipped, kNoMemory };

enum class Collected { kStored, kNoElement, kFailed };

// Walks every element of the reply; `make(element, node)` builds a node from one (logging what
// it skips), which is appended and counted. kStored: the list head (null when every element was
// skipped) is in *listOut. kNoElement: the reply had none. kFailed: out of memory, nothing kept.
template <class Node, class Make>
Collected CollectNodes(RespPkt *reply, int32_t *counter, Node **listOut, Make &&make) noexcept {
    ElementWalk walk(reply);
    Element element;
    Step step = walk.Next(element);
    if (step == Step::kEnd) return Collected::kNoElement;
    NodeList<Node> list;
    for (; step == Step::kElement; step = walk.Next(element)) {
        NodePtr<Node> node;
        const Made made = make(std::as_const(element), node);
        if (made == Made::kNoMemory) return Collected::kFailed;
        if (made == Made::kSkipped) continue;
        list.Append(std::move(node));
        Count(counter);
    }
    if (step == Step::kFailed) return Collected::kFailed;
    *listOut = list.Take();
    return Collected::kStored;
}

// Messages for the two allocations of a text array.
struct TextArrayMessages {
    const char *array;  // with the array size
    const char *text;   // with the text size
};

enum class Copied { kDone, kMalformed, kNoMemory };

// Allocates an array of `count` heap texts into `array`, each taken from `walk` after skipping
// `skip` bytes. The caller stores `array` in its node whatever the outcome, so that the node's
// free function releases what was copied. kMalformed: the texts run past the walk's end; when
// the count alone shows that, nothing is allocated.
Copied CopyTexts(TextWalk &walk, size_t count, size_t skip, const TextArrayMessages &messages,
                 char **&array) noexcept;

}  // namespace share::monitor
