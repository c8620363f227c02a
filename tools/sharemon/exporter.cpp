// SPDX-License-Identifier: Apache-2.0
#include "sharemon/exporter.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
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

bool WriteAll(int fd, const std::string &text) {
    for (size_t at = 0; at < text.size();) {
        const ssize_t n = write(fd, text.data() + at, text.size() - at);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        at += static_cast<size_t>(n);
    }
    return true;
}

// The exposition is written whatever the server did (fileserver_up 0 and the kind when it
// failed); the exit status says it failed, so that a timer's unit shows it.
int Metrics(const GatherOptions &gather, std::chrono::milliseconds timeout,
            const std::string &output) {
    // A gather left behind at the time-out still holds standard output, where it keeps the
    // library's messages: the exposition goes to the descriptor it had before.
    const int stdoutFd = output.empty() ? fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3) : -1;
    ErrorKind error = ErrorKind::kNone;
    const std::string text = Gatherer(gather, timeout, false).Scrape(&error);
    int status = ExitStatus(error);
    if (output.empty()) {
        if (stdoutFd < 0 || !WriteAll(stdoutFd, text)) status = tools::kExitRejected;
        if (stdoutFd >= 0) close(stdoutFd);
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

// The command's own --timeout, else the one given before the command (`sharemon --timeout 5
// metrics`), which every other command obeys.
std::chrono::milliseconds Timeout(const CLI::App &app, const CLI::App &cmd, double own) {
    if (cmd.count("--timeout") == 0 && app.count("--timeout") != 0)
        own = app.get_option("--timeout")->as<double>();
    return Millis(own);
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
    metrics->callback([&app, &run, metrics, serve, output, timeoutSeconds] {
        serve->timeout = Timeout(app, *metrics, *timeoutSeconds);
        run = [serve, output](const tools::Reporter &) {
            return Metrics(serve->gather, serve->timeout, *output);
        };
    });

    CLI::App *cmd =
        app.add_subcommand("serve", "Serve the metrics over HTTP for Prometheus (GET /metrics)");
    cmd->add_option("--listen", serve->listen, "Listen on ADDR:PORT")
        ->type_name("ADDR:PORT")
        ->capture_default_str();
    GatherFlags(cmd, serve->gather, *timeoutSeconds);
    cmd->add_option("--web-config", serve->webConfig,
                    "TLS and basic authentication from a web configuration FILE (YAML)")
        ->type_name("FILE");
    cmd->callback([&app, &run, cmd, serve, timeoutSeconds] {
        serve->timeout = Timeout(app, *cmd, *timeoutSeconds);
        run = [serve](const tools::Reporter &) { return Serve(*serve); };
    });
}

}  // namespace share::sharemon
