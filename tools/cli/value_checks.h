// SPDX-License-Identifier: Apache-2.0
// The value rules (client/value_rules.h) on the command lines: a refused value is reported by
// the command it was given to, with the accepted values.
#pragma once

#include <CLI/CLI.hpp>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "client/value_rules.h"
#include "output/reporter.h"

namespace share::tools {

using client::Accepted;
using client::Accepts;
using client::Canonical;
using client::FindRule;
using client::OptionRule;
using client::RuleKind;
using client::ValueRule;
using client::ValueRules;

// The first value a validator refused during parsing (argument, value, accepted), if any.
struct InvalidValue {
    std::string argument, value, accepted;
};
std::optional<InvalidValue> FirstInvalid();
void ClearInvalid();

// Attaches the rule to a command-line option or positional: a refused value is remembered (the
// first one) so that the command reports it instead of running, with its argument, the value
// and the accepted values. The help shows the accepted values.
CLI::Option *Checked(CLI::Option *option, const ValueRule &rule);
CLI::Option *Checked(CLI::Option *option, std::string_view ruleName);

// Runs fn unless a value was refused: then reports it (exit status 1).
int UnlessInvalid(const Reporter &out, const std::string &action, const std::function<int()> &fn);

}  // namespace share::tools
