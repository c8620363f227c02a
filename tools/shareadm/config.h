// SPDX-License-Identifier: Apache-2.0
// Configuration as code: the server's shares, options, invalid-user cache and user contexts as
// one JSON document (export), checked as a whole against the library's own rules and the
// server's volumes, compared with the server (diff) and converged to it (apply).
#pragma once

#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "client/pipeline.h"
#include "common/server_formats.h"
#include "output/reporter.h"

namespace share::shareadm::config {

using client::Arg;
using client::LibraryCheck;
using tools::Json;

// The document's version; every document starts with it.
inline constexpr int kSchemaVersion = 1;
// config diff's status when something differs.
inline constexpr int kExitDifferent = 4;

// The server as the document sees it, plus what checking and planning need besides.
struct ServerState {
    Json doc;                              // what export prints
    std::vector<std::string> volumes;      // as the server spells them (administrative included)
    std::map<std::string, long> clients;   // upper-case share name -> connected clients
    std::set<std::string> temporaryUsers;  // upper-case names of cached users that expire
};

// Reads the whole state through the library. -1 when done, else the exit status (reported).
int ReadServer(const tools::Reporter &out, const std::string &action, ServerState *state);

// One mistake of a document: where (a JSON pointer into it) and what.
struct Problem {
    std::string pointer;
    std::string message;
};

// Every mistake of doc, in document order; empty when it may be applied to this server.
std::vector<Problem> Check(const Json &doc, const ServerState &server);

// One difference between the document and the server.
struct Change {
    std::string kind;    // add, change, rename, remove
    std::string target;  // "share home", "option smb-signing", "user-context ou=x", ...
    std::string field;   // the field that differs; empty for a whole object
    Json before, after;  // null where absent
};

// One command that makes changes [first, last) of the plan (a modify covers several fields; an
// add may take two commands).
struct Step {
    std::string action;
    std::vector<Arg> args;
    size_t first, last;
};

struct Plan {
    std::vector<Change> changes;   // in the order they are made
    std::vector<Step> steps;       // in order; each refers to changes at or after its own
    std::vector<Problem> blocked;  // removals that would cut clients off (need --force)
};

// The smallest set of changes that makes the server match doc (a checked document), in a safe
// order: renames, then creations, then modifications, then removals (only with prune).
Plan MakePlan(const Json &doc, const ServerState &server, bool prune, bool force);

// config apply of file: checked, planned, converged, reported. Returns the exit status.
int RunApply(const tools::Reporter &out, const std::string &file, bool dryRun, bool prune,
             bool force);

Json ChangeJson(const Change &change);
// "+ share home {...}", "~ option dialect: \"SMB2\" -> \"SMB3\"", "- user-context ou=x".
std::string ChangeLine(const Change &change);

// The setters' commands, shared by checking (the library's verdict on each) and planning.
std::string ValueText(const Json &value);  // a string as it is, a number in decimal
std::vector<Arg> ShareAddArgs(const Json &share);
std::vector<Arg> OptionArgs(const tools::OptionSpec &row, const std::string &value);
std::vector<Arg> CacheArgs(const std::string &kind, const Json &size);
std::vector<Arg> DfsDurationArgs(const Json &minutes);
std::vector<Arg> ShareByDefaultArgs(const std::string &server, const Json &value);
// add or remove of a member of a set option (virtual-server, dns-entry, multichannel-interface)
std::vector<Arg> MemberArgs(const std::string &option, const Json &member, bool add);
std::vector<Arg> TimeoutArgs(const Json &minutes);
std::vector<Arg> InvalidUserArgs(int32_t action, const std::string &name);
std::vector<Arg> UserContextArgs(int32_t action, const std::string &context);
// The set options: each member's identity is its name (or the member itself, a string).
inline constexpr const char *kSetOptions[] = {"virtual-server", "dns-entry",
                                              "multichannel-interface"};
std::string MemberName(const Json &member);

// Helpers shared by the pieces.
std::string Upper(std::string_view text);
std::string PointerToken(std::string_view key);  // a key escaped for a JSON pointer
// The share fields of a document and the tools' share JSON, in their order.
inline constexpr const char *kShareFields[] = {
    "name",       "volume", "path", "comment", "max_users", "encrypt_data", "folder_redirection",
    "atm_backup", "mfa"};
// A key a document's share may carry besides: the name the share had before.
inline constexpr const char kRenamedFrom[] = "renamed_from";

}  // namespace share::shareadm::config
