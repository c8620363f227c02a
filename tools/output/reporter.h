// SPDX-License-Identifier: Apache-2.0
// How an outcome of the tools is reported (text or one JSON document), their exit statuses,
// and value formatting.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "client/library_call.h"
#include "client/outcome.h"
#include "client/pipeline.h"
#include "client/text.h"
#include "output/output.h"

namespace share::tools {

using client::FieldString;
using client::LibraryOutput;
using client::OutcomeLock;
using client::ParseNumber;
using client::ReplyElement;
using client::ServerWait;
using client::ToUpperAscii;

// Exit statuses of both tools.
enum ExitCode : int {
    kExitOk = 0,           // done
    kExitRejected = 1,     // rejected before anything was sent (usage, or the library's checks)
    kExitRefused = 2,      // the server refused; its status is printed
    kExitUnreachable = 3,  // no answer: unreachable, unexpected holder of the endpoint, time-out
};

inline constexpr const char *kExitStatusHelp =
    "Exit status: 0 done; 1 rejected before anything was sent (bad usage, or refused by the "
    "library's checks); 2 refused by the server (its status is printed); 3 server unreachable, "
    "its endpoint held by a process of an unexpected uid, or no answer within --timeout.";

// How an outcome of a library call that is not done reads: the error's kind, its message, the
// exit status and the fields it adds to the JSON document. The one mapping of an outcome to
// the tools' exit statuses; detail adds which argument a refusal concerns.
struct Failure {
    const char *kind = nullptr;
    std::string message;
    int code = kExitOk;
    Json extra = Json::object();
};
Failure DescribeFailure(const client::Outcome &outcome, const std::string &detail = "");
// kExitOk for an outcome that is done.
int ExitStatus(const client::Outcome &outcome);

// Reports the outcome of one tool run, as text or as one JSON document on standard output.
class Reporter {
  public:
    Reporter(const char *program, bool json) : program_(program), json_(json) {
        if (json) output_.format = Format::kJson;
    }
    Reporter(const char *program, const OutputOptions &output)
        : program_(program), json_(output.format == Format::kJson), output_(output) {}
    bool json() const { return json_; }
    const char *program() const { return program_; }
    // JSON Lines (--watch): each document compact on one line, with a "timestamp".
    void set_json_lines(bool on) { lines_ = on; }
    bool json_lines() const { return lines_; }

    // An error as printed: the text line for standard error and, under --json, the document
    // for standard output (empty otherwise).
    struct ErrorText {
        std::string text;
        std::string document;
    };
    ErrorText RenderError(const char *kind, const std::string &action, const std::string &message,
                          int code, const Json &extra) const;
    // A document as printed under --json (schema version first; JSON Lines when set).
    std::string Document(const Json &body) const;
    const OutputOptions &output() const { return output_; }

    // A detail view or a confirmation: the JSON document, its key/value text, or (CSV, TSV)
    // one header row and one row; a rendered result (doc led by "schema_version") as Print.
    // Returns kExitOk.
    int Success(const Json &doc, const std::string &text) const;
    // A listing: rows filtered, sorted and printed in the chosen format, one at a time.
    // Returns kExitOk.
    int List(const Listing &listing, const RowSource &rows,
             const Json &extra = Json::object()) const;
    int List(const Listing &listing, const Json &rows, const Json &extra = Json::object()) const {
        return List(listing, JsonRows(rows), extra);
    }
    // Prints what was rendered: the document as JSON, else its text. Returns kExitOk.
    int Print(const Rendered &result) const;
    // The outcome of a library call for `action`: -1 when it is done (go on), else the exit
    // status after reporting it (DescribeFailure; extra is added to the JSON document).
    int Report(const std::string &action, const client::Outcome &outcome,
               const std::string &detail = "", const Json &extra = Json::object()) const;
    // The server refused `action` with status: the status, its name and meaning are printed,
    // then detail (which argument it concerns) when given; extra is added to the JSON document.
    int Refused(const std::string &action, int32_t status, const std::string &detail = "",
                const Json &extra = Json::object()) const;
    // Nothing was sent: the command is not acceptable (detail says why).
    int Rejected(const std::string &action, const std::string &detail) const;
    // The command line is not one of the tool's commands.
    int Usage(const std::string &action, const std::string &message) const;
    // Nothing was sent: argument's value is not one of the accepted values (a noun phrase:
    // "a number from 0 to 65535").
    int Invalid(const std::string &action, const std::string &argument, const std::string &value,
                const std::string &accepted) const;
    int Unreachable(const std::string &action) const;
    // The endpoint is held by a process whose uid is not among the accepted ones.
    int UnexpectedServer(uint32_t uid, int32_t pid, const std::string &accepted) const;
    // The error document's body as printed under --json (before Document()).
    static Json ErrorBody(const char *kind, const std::string &action, const std::string &message,
                          int code, const Json &extra);

  private:
    int Error(const char *kind, const std::string &action, const std::string &message, int code,
              const Json &extra) const;
    const char *program_;
    bool json_;
    bool lines_ = false;
    OutputOptions output_;
};

std::string FormatTime(int64_t epochSeconds);  // local "YYYY-MM-DD HH:MM:SS", "-" for 0
std::string FormatDuration(int64_t seconds);   // "3h07m", "12m05s", "42s"
std::string FormatBytes(uint64_t bytes);       // "1.5 GiB"
std::string YesNo(bool value);
// "1 open file", "2 open files".
std::string Plural(size_t n, const char *one, const char *many);

// value in double quotes, escaped as in JSON (invalid UTF-8 replaced); values over 64 bytes
// are cut, with their length given.
std::string QuoteValue(const std::string &value);
// value as a JSON string, invalid UTF-8 replaced.
Json TextJson(const std::string &value);

}  // namespace share::tools
