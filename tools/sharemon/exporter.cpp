// SPDX-License-Identifier: Apache-2.0
#include "sharemon/exporter.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <memory>

#include "sharemon/serve.h"

namespace share::sharemon {
namespace {

int ExitStatus(ErrorKind kind) {
    switch (kind) {
        case ErrorKind::kNone:
            return tools::kExitOk;
        case ErrorKind::kRefused:
        case ErrorKind::kAccessDenied:
        case ErrorKind::kBadReply:
            return tools::kExitRefused;
        case ErrorKind::kUnreachable:
        case ErrorKind::kTimeout:
        case ErrorKind::kUnexpectedServer:
            break;
    }
    return tools::kExitUnreachable;
}

// The exposition is written whatever the server did (fileserver_up 0 and the kind when it
// failed); the exit status says it failed, so that a timer's unit shows it.
int Metrics(const GatherOptions &gather, std::chrono::milliseconds timeout,
            const std::string &output) {
    ErrorKind error = ErrorKind::kNone;
    const std::string text = Gatherer(gather, timeout, false).Scrape(&error);
    int status = ExitStatus(error);
    if (output.empty()) {
        std::fwrite(text.data(), 1, text.size(), stdout);
        if (std::fflush(stdout) != 0) status = tools::kExitRejected;
    } else if (std::string message; !WriteAtomically(output, text, &message)) {
        std::fprintf(stderr, "sharemon: metrics: %s\n", message.c_str());
        status = tools::kExitRejected;
    }
    // A gather stuck in the library past the time-out cannot be joined: leave without it.
    if (error == ErrorKind::kTimeout) {
        std::fflush(stderr);
        _exit(status);
    }
    return status;
}

void GatherFlags(CLI::App *cmd, GatherOptions &gather, double &timeoutSeconds) {
    cmd->add_flag("--per-connection", gather.perConnection,
                  "Add series per connection (one label value per connection ID)");
    cmd->add_option("--max-series", gather.maxSeries,
                    "Series at most in each per-share or per-connection family")
        ->type_name("N")
        ->check(CLI::Range(size_t{1}, size_t{1000000}))
        ->capture_default_str();
    cmd->add_option("--desired", gather.desired,
                    "Compare the server with this configuration document (as `shareadm config "
                    "export` writes it)")
        ->type_name("FILE");
    cmd->add_option("--timeout", timeoutSeconds, "Seconds a gather waits for the server")
        ->type_name("SECONDS")
        ->check(CLI::Range(0.1, 3600.0))
        ->capture_default_str();
}

std::chrono::milliseconds Millis(double seconds) {
    return std::chrono::milliseconds(static_cast<long>(seconds * 1000));
}

}  // namespace

void RegisterExporter(CLI::App &app, std::function<int(const tools::Reporter &)> &run) {
    // Owned by the callbacks, which outlive this function.
    auto serve = std::make_shared<ServeOptions>();
    auto output = std::make_shared<std::string>();
    auto timeoutSeconds = std::make_shared<double>(10);

    CLI::App *metrics = app.add_subcommand(
        "metrics", "Print the server's state in the Prometheus text exposition format");
    metrics
        ->add_option("--output", *output,
                     "Write to FILE atomically (for the node exporter's textfile collector)")
        ->type_name("FILE");
    GatherFlags(metrics, serve->gather, *timeoutSeconds);
    metrics->callback([&run, serve, output, timeoutSeconds] {
        run = [serve, output, timeoutSeconds](const tools::Reporter &) {
            return Metrics(serve->gather, Millis(*timeoutSeconds), *output);
        };
    });

    CLI::App *cmd =
        app.add_subcommand("serve", "Serve the metrics over HTTP for Prometheus (GET /metrics)");
    cmd->add_option("--listen", serve->listen, "Listen on ADDR:PORT")
        ->type_name("ADDR:PORT")
        ->capture_default_str();
    GatherFlags(cmd, serve->gather, *timeoutSeconds);
    cmd->callback([&run, serve, timeoutSeconds] {
        serve->timeout = Millis(*timeoutSeconds);
        run = [serve](const tools::Reporter &) { return Serve(*serve); };
    });
}

}  // namespace share::sharemon
