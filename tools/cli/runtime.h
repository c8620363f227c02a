// SPDX-License-Identifier: Apache-2.0
// How shareadm and sharemon run, fail and wait: the options every command has (--timeout,
// --version, help), reading the command line with useful usage errors, and the watchdog that
// ends a run when the file server does not answer in time.
#pragma once

#include <CLI/CLI.hpp>
#include <string>

#include "client/server_trust.h"
#include "output/reporter.h"

namespace share::tools {

using client::kDefaultTimeoutSeconds;

using client::ServerTrust;

// Adds --server-uid and --any-server to a tool's top level.
void AddServerTrustOptions(CLI::App &app, ServerTrust &trust);

struct RuntimeOptions {
    double timeoutSeconds = kDefaultTimeoutSeconds;
};

// Adds --timeout and --version to the top level and the `help [COMMAND...]` subcommand.
void AddRuntimeOptions(CLI::App &app, RuntimeOptions &options);

// Parses the command line. -1 to go on; otherwise the exit status: 0 after printing help or the
// version, kExitRejected after a usage error (named word, did-you-mean suggestions, and under
// --json or --format json the error document on standard output).
int ParseCommandLine(CLI::App &app, int argc, char **argv);

// The subcommands parsed, as "share add" (empty when none).
std::string ParsedCommand(const CLI::App &app);

// After parsing: applies the server trust options, starts the watchdog for the parsed command
// (not for `serve` and `metrics`, which bound each gather and report an unexpected holder of
// the endpoint in their output) and checks who holds the endpoint.
// -1 to go on, else the exit status after reporting.
int StartCommand(const Reporter &out, const CLI::App &app, const RuntimeOptions &options,
                 const ServerTrust &trust);

// From now on, every wait for the server (see ServerWait) longer than `seconds` is reported as a
// time-out of `action` through `out` and ends the process with kExitUnreachable. `changes` adds
// that the change may or may not have been applied. When standard error is a terminal, a notice
// says so after two seconds of waiting.
void StartWatchdog(const Reporter &out, double seconds, const std::string &action, bool changes);

// After a stop signal (see CatchStopSignals), a wait in progress ends the process with the status
// given here instead of running to its end.
void SetStatusOnStop(int status);

// SIGINT and SIGTERM set a flag instead of ending the process; system calls are restarted,
// sleeps are not.
void CatchStopSignals();
bool StopRequested();

// ServerWait and OutcomeLock (client/library_call.h): the watchdog counts the waits once
// started.

}  // namespace share::tools
