// SPDX-License-Identifier: Apache-2.0
#include "sharemon/serve.h"

#include <httplib.h>
#include <malloc.h>
#include <pthread.h>
#include <signal.h>

#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <thread>

#include "output/reporter.h"
#include "sharemon/exposition.h"
#include "sharemon/http_server.h"
#include "sharemon/web_config.h"

namespace share::sharemon {

using Clock = std::chrono::steady_clock;
constexpr std::chrono::seconds kTrimAfter{2};

struct Gatherer::Shared {
    struct Flight {
        Clock::time_point start;
        bool done = false;
        std::string text;
        ErrorKind error = ErrorKind::kNone;
    };
    GatherOptions options;
    std::chrono::milliseconds timeout;
    std::mutex mutex;
    std::condition_variable finished, requested;
    std::shared_ptr<Flight> inflight;  // set by a scrape, cleared by the worker when done
    bool started = false;
    History history;  // under mutex

    Shared(GatherOptions o, std::chrono::milliseconds t, bool serving, History::Log log)
        : options(std::move(o)), timeout(t), history(serving, std::move(log)) {}

    // With the mutex held.
    std::string Publish(const Snapshot &snapshot, double seconds) {
        history.Record(snapshot, options);
        return Render(snapshot, seconds, options, &history);
    }

    // One long-lived worker gathers, so its heap is reused from one scrape to the next. Once no
    // scrape has come for kTrimAfter, what the last one allocated goes back to the system:
    // trimming after every scrape would make each gather fault its memory in again, which costs
    // more than the gather's own work at a short scrape interval.
    void Work() {
        const auto wanted = [&] { return inflight && !inflight->done; };
        std::unique_lock lock(mutex);
        for (;;) {
            if (!requested.wait_for(lock, kTrimAfter, wanted)) {
                lock.unlock();
                malloc_trim(0);
                lock.lock();
                requested.wait(lock, wanted);
            }
            const auto flight = inflight;
            lock.unlock();
            Snapshot snapshot = Gather(options);
            const std::chrono::duration<double> took = Clock::now() - flight->start;
            lock.lock();
            flight->text = Publish(snapshot, took.count());
            flight->error = snapshot.error;
            snapshot = {};
            flight->done = true;
            inflight.reset();
            finished.notify_all();
        }
    }
};

Gatherer::Gatherer(GatherOptions options, std::chrono::milliseconds timeout, bool serving,
                   History::Log log)
    : shared_(std::make_shared<Shared>(std::move(options), timeout, serving, std::move(log))) {}

std::string Gatherer::Scrape(ErrorKind *error) {
    std::unique_lock lock(shared_->mutex);
    shared_->history.CountScrape();
    if (!shared_->started) {
        // Owns what it touches: a gather stuck in the library may outlive the server.
        std::thread([shared = shared_] { shared->Work(); }).detach();
        shared_->started = true;
    }
    if (!shared_->inflight) {
        shared_->inflight = std::make_shared<Shared::Flight>();
        shared_->inflight->start = Clock::now();
        shared_->requested.notify_one();
    }
    const auto flight = shared_->inflight;
    if (shared_->finished.wait_until(lock, flight->start + shared_->timeout,
                                     [&] { return flight->done; })) {
        if (error) *error = flight->error;
        return flight->text;
    }
    const std::chrono::duration<double> waited = Clock::now() - flight->start;
    Snapshot late;
    late.Fail(ErrorKind::kTimeout, "no answer within the time-out");
    if (error) *error = late.error;
    return shared_->Publish(late, waited.count());
}

bool ParseListen(const std::string &text, std::string *host, int *port) {
    const auto colon = text.rfind(':');
    if (colon == std::string::npos || colon == 0) return false;
    std::string h = text.substr(0, colon);
    if (h.front() == '[') {
        if (h.size() < 3 || h.back() != ']') return false;
        h = h.substr(1, h.size() - 2);
    } else if (h.find(':') != std::string::npos) {
        return false;  // a bare IPv6 address is ambiguous
    }
    long p = 0;
    if (!tools::ParseNumber(text.substr(colon + 1), 1, 65535, &p)) return false;
    *host = h;
    *port = static_cast<int>(p);
    return true;
}

namespace {

constexpr const char *kIndex =
    "<!DOCTYPE html>\n<html><head><title>sharemon exporter</title></head><body>\n"
    "<h1>File server exporter</h1>\n<p><a href=\"/metrics\">Metrics</a></p>\n</body></html>\n";
constexpr const char *kExposition = "text/plain; version=0.0.4; charset=utf-8";

}  // namespace

int Serve(const ServeOptions &options) {
    std::string host;
    int port = 0;
    if (!ParseListen(options.listen, &host, &port)) {
        std::fprintf(stderr, "sharemon: serve: --listen takes ADDR:PORT, not \"%s\"\n",
                     options.listen.c_str());
        return tools::kExitRejected;
    }
    // Signals go to one thread that stops the server; every other thread keeps them blocked.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    signal(SIGPIPE, SIG_IGN);

    // One heap for every thread: a gather's large blocks grow in place as they do on the main
    // thread, and malloc_trim hands one heap back instead of one per thread.
    mallopt(M_ARENA_MAX, 1);
    Gatherer gatherer(options.gather, options.timeout);
    WebConfig web;
    std::string error;
    if (!options.webConfig.empty() && !LoadWebConfig(options.webConfig, &web, &error)) {
        std::fprintf(stderr, "sharemon: serve: --web-config %s\n", error.c_str());
        return tools::kExitRejected;
    }
    const auto http = HttpServer::Create(web, &error);
    if (!http) {
        std::fprintf(stderr, "sharemon: serve: --web-config %s: %s\n", options.webConfig.c_str(),
                     error.c_str());
        return tools::kExitRejected;
    }
    httplib::Server &server = http->routes();
    server.Get("/metrics", [&](const httplib::Request &, httplib::Response &res) {
        res.set_content(gatherer.Scrape(), kExposition);
    });
    server.Get("/", [](const httplib::Request &, httplib::Response &res) {
        res.set_content(kIndex, "text/html; charset=utf-8");
    });
    server.set_exception_handler(
        [](const httplib::Request &, httplib::Response &res, std::exception_ptr) {
            res.status = 500;
            res.set_content("internal error\n", "text/plain");
        });
    if (!http->Bind(host, port, &error)) {
        std::fprintf(stderr, "sharemon: serve: cannot listen on %s: %s\n", options.listen.c_str(),
                     error.c_str());
        return tools::kExitRejected;
    }
    std::thread stopper([&] {
        int sig = 0;
        sigwait(&stopSignals, &sig);
        http->Stop();
    });
    std::fprintf(stderr, "sharemon: serving metrics on %s://%s/metrics\n",
                 http->Tls() ? "https" : "http", options.listen.c_str());
    const bool served = http->Run();
    if (!served) pthread_kill(stopper.native_handle(), SIGTERM);  // end the waiting thread
    stopper.join();
    return served ? tools::kExitOk : tools::kExitRejected;
}

}  // namespace share::sharemon
