// SPDX-License-Identifier: Apache-2.0
#include "sharemon/exporter.h"

#include <chrono>
#include <cstdio>
#include <memory>

#include "sharemon/metrics.h"
#include "sharemon/serve.h"

namespace share::sharemon {
namespace {

// A fileserver_up 0 exposition is still written: the exit status says the server did not answer.
int Metrics(const GatherOptions &gather, const std::string &output) {
    const auto start = std::chrono::steady_clock::now();
    const Snapshot snapshot = Gather(gather);
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    const std::string text = Render(snapshot, took.count());
    if (output.empty()) {
        std::fwrite(text.data(), 1, text.size(), stdout);
        if (std::fflush(stdout) != 0) return tools::kExitRejected;
    } else if (std::string error; !WriteAtomically(output, text, &error)) {
        std::fprintf(stderr, "sharemon: metrics: %s\n", error.c_str());
        return tools::kExitRejected;
    }
    return snapshot.up ? tools::kExitOk : tools::kExitUnreachable;
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
    metrics->add_flag("--per-connection", serve->gather.perConnection,
                      "Add series per connection (one label value per connection ID)");
    metrics->callback([&run, serve, output] {
        run = [serve, output](const tools::Reporter &) { return Metrics(serve->gather, *output); };
    });

    CLI::App *cmd =
        app.add_subcommand("serve", "Serve the metrics over HTTP for Prometheus (GET /metrics)");
    cmd->add_option("--listen", serve->listen, "Listen on ADDR:PORT")
        ->type_name("ADDR:PORT")
        ->capture_default_str();
    cmd->add_option("--timeout", *timeoutSeconds, "Seconds a scrape waits for the server")
        ->type_name("SECONDS")
        ->check(CLI::Range(0.1, 3600.0))
        ->capture_default_str();
    cmd->add_flag("--per-connection", serve->gather.perConnection,
                  "Add series per connection (one label value per connection ID)");
    cmd->add_option("--web-config", serve->webConfig,
                    "TLS and basic authentication from a web configuration FILE (YAML)")
        ->type_name("FILE");
    cmd->callback([&run, serve, timeoutSeconds] {
        serve->timeout = std::chrono::milliseconds(static_cast<long>(*timeoutSeconds * 1000));
        run = [serve](const tools::Reporter &) { return Serve(*serve); };
    });
}

}  // namespace share::sharemon
