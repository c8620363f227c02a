// SPDX-License-Identifier: Apache-2.0
#include "cli/value_checks.h"

namespace share::tools {
namespace {

using K = RuleKind;

std::optional<InvalidValue> &Slot() {
    static std::optional<InvalidValue> first;
    return first;
}

}  // namespace

std::optional<InvalidValue> FirstInvalid() {
    return Slot();
}

void ClearInvalid() {
    Slot().reset();
}

CLI::Option *Checked(CLI::Option *option, const ValueRule &rule) {
    const std::string accepted = Accepted(rule);
    option->description(option->get_description() + ": " + accepted);
    return option->transform(CLI::Validator(
        [option, rule, accepted](std::string &value) {
            if (Accepts(rule, value)) return std::string();
            if (!Slot()) Slot() = InvalidValue{option->get_name(), value, accepted};
            // A number option may be typed: let it convert, the command reports the value.
            if (rule.kind == K::kNumber) value = std::to_string(rule.min);
            return std::string();
        },
        ""));
}

CLI::Option *Checked(CLI::Option *option, std::string_view ruleName) {
    return Checked(option, OptionRule(ruleName));
}

int UnlessInvalid(const Reporter &out, const std::string &action, const std::function<int()> &fn) {
    if (const auto bad = FirstInvalid())
        return out.Invalid(action, bad->argument, bad->value, bad->accepted);
    return fn();
}

}  // namespace share::tools
