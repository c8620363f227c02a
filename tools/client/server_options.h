// SPDX-License-Identifier: Apache-2.0
// The server options, one row each: the single-value ones of the server formats' table and
// those set by key or by member. A row says how a value is checked, read back from the
// configuration dump, set, and shown; the setters, option show, config export, check and plan
// are all driven from here.
#pragma once

#include <nlohmann/json.hpp>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "client/pipeline.h"
#include "common/server_formats.h"

namespace share::client {

using Json = nlohmann::ordered_json;

enum class OptionShape {
    kSingle,  // one value
    kKeyed,   // KEY=VALUE entries: cache sizes by kind, share-volumes-by-default by server
    kSet,     // members added and removed one at a time
};

// The JSON a document gives for a value (single, keyed) or a member (set).
enum class ValueType { kStringOrInteger, kInteger, kString, kNamed /* {name, address} */ };

struct ServerOption {
    const char *name;  // the setter's subcommand and the document's key (singular)
    OptionShape shape;
    const tools::StoredOption *stored;  // a single value's row of the server formats, or null
    const char *valueRule;          // the value's rule (single, keyed) or the member name's (set)
    const char *keyRule;            // keyed: the key's rule; set: the address's; or null
    std::vector<std::string> keys;  // keyed: the only keys there are (empty: any)
    ValueType type;
    bool numberOnly;   // the document gives the number part of the rule only
    const char *noun;  // what the library refuses ("the size"); null: the value and help
    std::string help;
    // The value as the document holds it, from the configuration dump decoded; null: absent.
    Json (*read)(const ServerOption &row, const Json &dump);
    // The setter's command: of value (single), of key=value (keyed), adding or removing the
    // member value (set).
    std::vector<Arg> (*args)(const ServerOption &row, const std::string &key, const Json &value,
                             bool add);
    // option show's text of a value as read.
    std::string (*show)(const ServerOption &row, const Json &value);
};

std::span<const ServerOption> ServerOptions();
const ServerOption *FindServerOption(std::string_view name);

std::string ValueText(const Json &value);    // a string as it is, a number in decimal
std::string MemberName(const Json &member);  // a set member's identity: its name
std::vector<Arg> SetterArgs(const ServerOption &row, const Json &value);  // single shape

}  // namespace share::client
