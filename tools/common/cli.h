// SPDX-License-Identifier: Apache-2.0
// What shareadm and sharemon have in common: exit statuses, how an outcome is reported (text
// or one JSON document), capturing the libraries' messages, and table and value formatting.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "common/output.h"

namespace share::tools {

// While alive, the process waits for the file server (common/runtime.h).
class ServerWait {
  public:
    ServerWait();
    ~ServerWait();
    void End();  // ends the wait early (idempotent)
    ServerWait(const ServerWait &) = delete;
    ServerWait &operator=(const ServerWait &) = delete;

  private:
    bool active_ = false;
};

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

// True when something accepts connections on the file server's endpoint.
bool ServerReachable();

// While alive, whatever the libraries print on standard output (only complaints about a
// command) goes to an in-memory file instead (standard error when none can be made); Finish()
// restores standard output and returns the text, which the Reporter then shows on standard
// error. A library call is a wait for the server: the watchdog counts while capturing.
class LibraryOutput {
  public:
    LibraryOutput();
    ~LibraryOutput();
    LibraryOutput(const LibraryOutput &) = delete;
    LibraryOutput &operator=(const LibraryOutput &) = delete;
    std::string Finish();

  private:
    int saved_ = -1;
    int file_ = -1;
    std::string text_;
    ServerWait wait_;
};

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
    // A listing: rows filtered, sorted and printed in the chosen format. Returns kExitOk.
    int List(const Listing &listing, Json rows, const Json &extra = Json::object()) const;
    // Prints what was rendered: the document as JSON, else its text. Returns kExitOk.
    int Print(const Rendered &result) const;
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
    // A library call returned -1: unreachable when no server answers, else rejected.
    int LocalFailure(const std::string &action, const std::string &detail) const;
    // Maps a library result: 0 gives -1 (go on); the server's status gives kExitRefused; -1
    // gives LocalFailure.
    int Check(int result, const std::string &action, const std::string &detail = "") const;

  private:
    int Error(const char *kind, const std::string &action, const std::string &message, int code,
              const Json &extra) const;
    const char *program_;
    bool json_;
    bool lines_ = false;
    OutputOptions output_;
};

// Text of a fixed-size field, up to its first NUL (or the whole field).
std::string FieldString(const char *field, size_t size);
template <size_t N>
std::string FieldString(const char (&field)[N]) {
    return FieldString(field, N);
}

std::string FormatTime(int64_t epochSeconds);  // local "YYYY-MM-DD HH:MM:SS", "-" for 0
std::string FormatDuration(int64_t seconds);   // "3h07m", "12m05s", "42s"
std::string FormatBytes(uint64_t bytes);       // "1.5 GiB"
std::string YesNo(bool value);
std::string ToUpperAscii(std::string_view text);

// value in double quotes, escaped as in JSON (invalid UTF-8 replaced); values over 64 bytes
// are cut, with their length given.
std::string QuoteValue(const std::string &value);
// value as a JSON string, invalid UTF-8 replaced.
Json TextJson(const std::string &value);

// Strict decimal conversion of a whole text within [min, max].
bool ParseNumber(std::string_view text, long min, long max, long *out);

}  // namespace share::tools
