// SPDX-License-Identifier: Apache-2.0
// The mechanics every management function shares: its argument entries, the exchange through
// the command pipeline and the reading of the answer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

#include "protocol/log.h"
#include "protocol/memory.h"
#include "protocol/reply.h"
#include "shareadmin/command.h"
#include "shareadmin/protocol.h"

namespace share::api {

// The argument entries of one command, written from entry 0 upwards into the calling thread's
// gbCifsArg. Whatever value is still set in an entry written here when the command is run or
// dropped is released: copies are freed, a caller's record pointer is only cleared.
class Command {
  public:
    explicit Command(int32_t code) noexcept { Put(code, nullptr); }
    ~Command() { Release(); }
    Command(const Command &) = delete;
    Command &operator=(const Command &) = delete;

    // (id, null)
    void Add(int32_t id) noexcept { Put(id, nullptr); }
    // (id, heap copy of text); false when the copy cannot be made (the entry then holds null).
    bool AddCopy(int32_t id, const char *text) noexcept;
    // (id, text), taking over a heap string; false for null.
    bool AddOwned(int32_t id, CString text) noexcept;
    // (id, the caller's record pointer itself): never freed here.
    void AddBorrowed(int32_t id, void *record) noexcept;
    // The end entry (CIFS_ARG_END, null).
    void End() noexcept { Put(CIFS_ARG_END, nullptr); }
    // End entries from the next entry up to and including entry `last`.
    void EndThrough(int last) noexcept {
        do Put(CIFS_ARG_END, nullptr);
        while (next_ <= last);
    }

    // Runs ValidateAndProcessCmd and releases the values it left. 0: `response` holds the answer
    // and `status` its status word. -1: the pipeline failed (and has reported why).
    int Run(ResponsePtr &response, int32_t &status) noexcept;

  private:
    void Put(int32_t id, char *value) noexcept;
    void Release() noexcept;

    int next_ = 0;
    uint64_t borrowed_ = 0;  // bit i: entry i holds a caller's record
};

// Runs a command and keeps its answer: 0 with `response` holding it, -1 (pipeline failure), or
// the server's status after `onRefused(status)` has reported it.
template <class OnRefused>
int RunForAnswer(Command &cmd, ResponsePtr &response, OnRefused &&onRefused) noexcept {
    int32_t status = 0;
    if (cmd.Run(response, status) != 0) return -1;
    if (status != 0) onRefused(status);
    return status;
}

// Runs a command whose answer is a status only: 0, -1 (pipeline failure), or the server's
// status after `onRefused(status)` has reported it.
template <class OnRefused>
int RunForStatus(Command &cmd, OnRefused &&onRefused) noexcept {
    ResponsePtr response;
    return RunForAnswer(cmd, response, onRefused);
}

// A query's answer: its response, read element by element. `element` and `step` are what the
// last read found.
struct Answer {
    ResponsePtr response;
    ElementWalk walk{nullptr};
    Element element;
    Step step = Step::kEnd;

    // Reads the first element; then Next reads the following ones.
    Step Start() noexcept {
        walk = ElementWalk(response.get());
        return Next();
    }
    Step Next() noexcept { return step = walk.Next(element); }
};

// Runs a query and reads the first element of its answer: 0 with `answer.step` telling what was
// found, -1 (pipeline failure), or the server's status after `onRefused(status)` has reported it.
template <class OnRefused>
int RunQuery(Command &cmd, Answer &answer, OnRefused &&onRefused) noexcept {
    if (int rc = RunForAnswer(cmd, answer.response, onRefused)) return rc;
    answer.Start();
    return 0;
}

}  // namespace share::api
