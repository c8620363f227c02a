// SPDX-License-Identifier: Apache-2.0
// What each value on the tools' command lines may be, in one table: the validators, their
// messages, the help texts and the documentation all come from it. The rules are the library's
// own (ranges, keywords, byte lengths), made strict: text the library would cut, convert to 0
// or cap silently is rejected here, before anything is sent.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace share::client {

enum class RuleKind {
    kNumber,    // decimal digits (and a leading '-' where min < 0) within [min, max]; or a word
    kKeyword,   // one of words
    kText,      // at most maxBytes bytes
    kLocation,  // VOLUME:PATH, VOLUME not empty, at most maxBytes bytes
    kCache,     // KIND=N: KIND one of words (exact case), N within [min, max]
    kAddress,   // an IPv4 address as inet_aton reads it
    kJunction,  // ALL, or one VOLUME:/path of at most maxBytes bytes
};

struct ValueRule {
    const char *name;  // identifies the rule: "max-users", "share-name", ...
    RuleKind kind;
    long min = 0, max = 0;
    std::vector<std::string> words;  // keywords (kKeyword), extra words (kNumber), kinds (kCache)
    bool exactCase = false;          // words compare with their letter case
    size_t maxBytes = 0;             // kText, kLocation
    bool nonEmpty = false;           // kText
    bool notOnlyPeriods = false;     // kText: "." and ".." (trailing spaces ignored) refused
};

// The accepted values as a noun phrase: "a number from 0 to 65535", "one of YES, NO (any
// letter case)", ... It completes "<value> is not ...".
std::string Accepted(const ValueRule &rule);
bool Accepts(const ValueRule &rule, std::string_view value);
// The keyword value is, in its canonical spelling (words as listed), or value itself.
std::string Canonical(const ValueRule &rule, std::string_view value);

// Every named rule (shareadm's and sharemon's), in table order; nullptr for an unknown name.
std::span<const ValueRule> ValueRules();
const ValueRule *FindRule(std::string_view name);
// The rule of a single-value server option setter (from the server option table).
const ValueRule &OptionRule(std::string_view option);

}  // namespace share::client
