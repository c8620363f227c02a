// SPDX-License-Identifier: Apache-2.0
// Shared harness of the fuzz targets: a private network namespace and the fake server on the
// server's socket name, answering the k-th connection of an input with the k-th chunk of it.
//
// Input layout after a target's own prefix:
//   chunks := (u16 length, little-endian | length bytes)*
// A connection beyond the last chunk is closed without an answer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace share::fuzz {

// The start of every target: every message path formats its arguments (all log bits set) and,
// for the targets that exchange, the peer runs. Returns 0 for LLVMFuzzerInitialize.
int Initialize(bool withPeer);

// Enters a private network namespace and starts the peer (once per process).
void StartPeer();

// Splits data into chunks and queues them as the answers of the next connections.
void QueueAnswers(std::span<const uint8_t> data);

// One input of a target whose first byte selects the call and whose rest are the answers of its
// exchanges: queues the answers and runs call(selector). Inputs over 1 MiB are skipped.
void RunSelected(std::span<const uint8_t> input, void (*call)(uint8_t selector));

// Little helpers for targets that carve values out of the input.
class Reader {
  public:
    explicit Reader(std::span<const uint8_t> data) : data_(data) {}
    bool Empty() const { return data_.empty(); }
    uint8_t Byte();
    std::string Text(size_t max);  // length byte then up to max bytes, NUL-free
    std::span<const uint8_t> Rest() const { return data_; }

  private:
    std::span<const uint8_t> data_;
};

}  // namespace share::fuzz
