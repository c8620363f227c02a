// SPDX-License-Identifier: Apache-2.0
// Releasing result nodes. Each accepts partly built nodes: arrays may be missing and entries null.
#include <cstdlib>

#include "shareadmin/monitor.h"

namespace {

// Frees the first `count` texts of an array that may be missing, clearing each entry.
void FreeTexts(char **array, size_t count) noexcept {
    if (array == nullptr) return;
    for (size_t i = 0; i < count; ++i) {
        std::free(array[i]);
        array[i] = nullptr;
    }
}

// Frees a simple list: each node after saving its successor.
template <class Node>
void FreeChain(Node *node) noexcept {
    while (node != nullptr) {
        Node *next = node->next;
        std::free(node);
        node = next;
    }
}

}  // namespace

extern "C" SHARE_API void FreeConnListNodes(ConnListNode **headRef) noexcept {
    if (headRef != nullptr) FreeChain(*headRef);
}

extern "C" SHARE_API void FreeVolsDetailsNode(VolsDetailsNode **headRef) noexcept {
    if (headRef != nullptr) FreeChain(*headRef);
}

extern "C" SHARE_API void FreeVolFileListNodes(VolFileListNode **headRef) noexcept {
    if (headRef == nullptr) return;
    VolFileListNode *node = *headRef;
    while (node != nullptr) {
        VolFileListNode *next = node->next;
        node->next = nullptr;
        FreeTexts(node->fileNames, node->openFileCount);
        std::free(node->fileNames);
        std::free(node);
        node = next;
    }
}

extern "C" SHARE_API void FreeUserDetailsNode(UserDetailsNode **nodeRef) noexcept {
    if (nodeRef == nullptr || *nodeRef == nullptr) return;
    UserDetailsNode *node = *nodeRef;
    FreeTexts(node->secEquivDns, node->secEquivCount);
    FreeTexts(node->openFileNames, node->openFileCount);
    std::free(node->secEquivDns);
    node->secEquivDns = nullptr;
    std::free(node->openFileNames);
    std::free(node);
}
