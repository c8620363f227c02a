// SPDX-License-Identifier: Apache-2.0
// Configuration as code: the server's shares, options, invalid-user cache and user contexts as
// one JSON document, checked as a whole against the library's own rules and the server's
// volumes, compared with the server (a plan) and converged to it (apply). Everything here
// returns values; the output layer's plan view prints them.
#pragma once

#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "client/pipeline.h"
#include "client/server_options.h"

namespace share::client::config {

// The document's version; every document starts with it.
inline constexpr int kSchemaVersion = 1;

// A share's document form is the output layer's share record, so that a listing and an export
// cannot say different things; reading is handed it.
struct Decoders {
    std::optional<Json> (*share)(const std::vector<ReplyElement> &elements);
};

// The server as the document sees it, plus what checking and planning need besides.
struct ServerState {
    Json doc;                              // what export prints
    std::vector<std::string> volumes;      // as the server spells them (administrative included)
    std::map<std::string, long> clients;   // upper-case share name -> connected clients
    std::set<std::string> temporaryUsers;  // upper-case names of cached users that expire
    Outcome outcome;                       // of reading; not done: the state is partial
};

// Reads the whole state through the library; a reply that lacks a record reads as rejected.
ServerState ReadServer(const Decoders &decode);
// The user contexts the server holds, in its order.
Outcome ReadUserContexts(std::vector<std::string> *contexts);

// One mistake of a document: where (a JSON pointer into it) and what; value, when set, leads
// the message ("70000 must be ...").
struct Problem {
    std::string pointer;
    std::string message;
    std::optional<Json> value = std::nullopt;
};

// Every mistake of doc, in document order; empty when it may be applied to this server.
std::vector<Problem> Check(const Json &doc, const ServerState &server);

enum class Action { kCreate, kRename, kModify, kRemove };
enum class ObjectKind { kShare, kOption, kInvalidUser, kUserContext };

// One field of the object that changes; an empty field is the object (or member) as a whole.
struct FieldChange {
    std::string field;
    Json before, after;  // null where absent
};

struct Command {
    std::string name;  // as the command line says it: "share modify", "option cache", ...
    std::vector<Arg> args;
};

// One change of one object and the commands that make it, in order.
struct PlannedAction {
    Action action;
    ObjectKind kind;
    std::string name;  // the share, option, user or context; empty: the invalid-user cache
    std::vector<FieldChange> fields;
    std::vector<Command> commands;
};

struct Plan {
    std::vector<PlannedAction> actions;  // in the order they are made
    std::vector<Problem> blocked;        // removals that would cut clients off (need --force)
    std::vector<Problem> warnings;       // changes that clients of the server will notice
};

// The smallest set of changes that makes the server match doc (a checked document), in a safe
// order: renames (chains from their free end, cycles through a temporary name), then
// creations, then modifications, then removals (only with prune). One apply of it leaves
// nothing to change.
Plan MakePlan(const Json &doc, const ServerState &server, bool prune, bool force);

// Where applying a plan stopped: the action the server (or library) refused, its command and
// the outcome.
struct Refusal {
    size_t action;
    std::string command;
    Outcome outcome;
};

struct ApplyResult {
    size_t applied = 0;              // actions made, from the first
    std::optional<Refusal> refused;  // unset: every action was made
};

ApplyResult Apply(const Plan &plan);

// The setters' commands, shared by checking (the library's verdict on each) and planning.
std::vector<Arg> ShareAddArgs(const Json &share);
std::vector<Arg> TimeoutArgs(const Json &minutes);
std::vector<Arg> InvalidUserArgs(int32_t action, const std::string &name);
std::vector<Arg> UserContextArgs(int32_t action, const std::string &context);

// Helpers shared by the pieces.
std::string Upper(std::string_view text);
std::string PointerToken(std::string_view key);  // a key escaped for a JSON pointer
// The share fields of a document and the tools' share JSON, in their order.
inline constexpr const char *kShareFields[] = {
    "name",       "volume", "path", "comment", "max_users", "encrypt_data", "folder_redirection",
    "atm_backup", "mfa"};
// A key a document's share may carry besides: the name the share had before.
inline constexpr const char kRenamedFrom[] = "renamed_from";

// Reading a document: every limit is checked while reading, so that no document makes the
// reader hold more than about kMaxDocumentBytes and kMaxDocumentValues values. The largest
// server state (4096 shares, 4096 users, full tables) is well inside both.
inline constexpr size_t kMaxDocumentBytes = 16u << 20;
inline constexpr size_t kMaxDocumentValues = 200000;
inline constexpr size_t kMaxDocumentDepth = 32;
// Problems listed by a report; the rest are counted.
inline constexpr size_t kMaxProblemsShown = 50;

// The text of file ("-": standard input), at most kMaxDocumentBytes + 1 bytes of it; nullopt
// with *error ("cannot read FILE: reason") when it cannot be read.
std::optional<std::string> ReadDocumentText(const std::string &file, std::string *error);
// The document in text; nullopt with its problems when it is not JSON (line, column and what
// was expected), too large or too deep, holds a key twice in one object, or a number no double
// can hold.
std::optional<Json> ParseDocument(std::string_view text, std::vector<Problem> *problems);

}  // namespace share::client::config
