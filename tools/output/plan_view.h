// SPDX-License-Identifier: Apache-2.0
// The text and JSON views of a configuration plan and of applying it: one line or one entry
// per changed field, "+ share home {...}", "~ option dialect: \"SMB2\" -> \"SMB3\"",
// "- user-context ou=x".
#pragma once

#include <string>

#include "client/config/config.h"
#include "output/output.h"

namespace share::tools {

namespace config = client::config;

// The output layer's decoders of the dump and of a share's record, for ReadServer.
config::Decoders RecordDecoders();

std::string ChangeLine(const config::PlannedAction &action, const config::FieldChange &field);
// The changes of actions [first, last) as the JSON documents list them.
Json ChangeList(const config::Plan &plan, size_t first, size_t last);
// The number of changed fields of actions [first, last).
size_t ChangeCount(const config::Plan &plan, size_t first, size_t last);
// Every change's line, one a line, grouped by object; "No differences." for none.
std::string DiffText(const config::Plan &plan);
// "warning: ..." lines of a plan's warnings.
std::string WarningText(const std::vector<config::Problem> &warnings);

// A check's problem as printed: its value leading the message.
std::string ProblemMessage(const config::Problem &problem);
Json ProblemList(const std::vector<config::Problem> &problems);

// config apply's document body (without the error part) and its text.
Json ApplyBody(const config::Plan &plan, const config::ApplyResult &result, bool dryRun);
std::string ApplyText(const config::Plan &plan, const config::ApplyResult &result, bool dryRun,
                      const std::string &file);
// After a refusal: what was applied and the changes not applied, the refused ones marked.
std::string NotAppliedText(const config::Plan &plan, const config::ApplyResult &result);

}  // namespace share::tools
