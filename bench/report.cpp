// SPDX-License-Identifier: Apache-2.0
#include "bench/report.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <span>
#include <string_view>
#include <tuple>

#include "bench/listing_names.h"

namespace share::bench {
namespace {

enum class Kind {
    kTime,    // median time of `measured` / median time of `floor`
    kRate,    // items per second of `measured` / of `floor` (higher is better)
    kMemory,  // peak_bytes / response_bytes of `measured`
    kRss,     // maxrss_bytes of `measured` / of `floor` (child processes)
};

struct Row {
    std::string label;
    Kind kind;
    std::string measured;
    std::string floor;  // unused for kMemory
    double target;      // 0: reported, no target
};

// A listing's row against the least the exchange's rules allow for the same responses: chunks of
// at most 1024 bytes, received into a fresh block copied into a fresh buffer the caller owns. The
// indented rows show where the time goes, from a raw read with no such rules to the exchange
// without decoding.
struct Listing {
    const char *label;
    const char *call;
    double target;
};

constexpr Listing kListings[] = {
    {"65,535 connections: Ext_ListConnDetails / protocol floor", "Ext_ListConnDetails", 1.5},
    {"65,535 connections: CIFSLIB_GetConnectionsList / protocol floor",
     "CIFSLIB_GetConnectionsList", 1.5},
    {"1,000 shares: CIFSLIB_ListAllShares / protocol floor", "CIFSLIB_ListAllShares", 1.3},
};

std::vector<Row> Rows() {
    std::vector<Row> rows = {
        {"One exchange: SendAndReceiveIPC / raw client", Kind::kTime,
         "BM_Exchange/SendAndReceiveIPC", "BM_Exchange/RawSocket", 1.15},
        {"Switch command: ValidateAndProcessCmd / raw exchange", Kind::kTime,
         "BM_Command/ValidateAndProcessCmd", "BM_Command/RawSocket", 1.25},
        {"1,000 shares to an empty server: config apply / 1,000 share add", Kind::kTime,
         "BM_Config/Apply", "BM_Config/ShareAddDirect", 1.5},
    };
    for (const Listing &l : kListings) {
        const std::string call = kListing + std::string(l.call);
        auto floor = [&](const char *prefix) { return prefix + std::string(l.call); };
        rows.push_back({l.label, Kind::kTime, call, floor(kFreshFloor), l.target});
        rows.push_back({"  vs a raw read: 64 KiB reads into a reused buffer", Kind::kTime, call,
                        floor(kLargeFloor), 0});
        rows.push_back({"  vs the same in 1024-byte reads and writes", Kind::kTime, call,
                        floor(kChunkedFloor), 0});
        rows.push_back({"  vs SendAndReceiveIPC alone, no decoding", Kind::kTime, call,
                        floor(kExchangeFloor), 0});
    }
    // A filter builds each row it tests and the writer builds the kept ones again; a sort also
    // holds and orders every row where the plain table streams them.
    for (const auto &[label, name, target] :
         {std::tuple{"10,000 connections: --format csv / plain table", kOutputCsv, 1.5},
          {"10,000 connections: two filters / plain table", kOutputFilter, 1.75},
          {"10,000 connections: --sort -idle_seconds / plain table", kOutputSort, 2.0}})
        rows.push_back({label, Kind::kTime, name, kOutputTable, target});
    for (const auto &[format, name] :
         {std::pair{"table", kToolTable}, {"JSON", kToolJson}, {"CSV", kToolCsv}}) {
        const std::string label =
            std::string("65,535 connections: shareadm list, ") + format + " / library call";
        rows.push_back({label, Kind::kTime, name, kToolFloor, 1.5});
        rows.push_back({"  peak memory (ru_maxrss)", Kind::kRss, name, kToolFloor, 1.5});
    }
    rows.push_back({"Cockpit page, 10,000 connections: first table / tool run", Kind::kTime,
                    kConsoleLoad, kConsoleTool, 0});
    rows.push_back({"  one refresh of the sessions view / the same", Kind::kTime, kConsoleRefresh,
                    kConsoleTool, 0});
    rows.push_back({"Exchanges/s, 2 client threads / 1 (2-thread server)", Kind::kRate,
                    "BM_Scaling/SendAndReceiveIPC/threads:2", "BM_Scaling/SendAndReceiveIPC", 0});
    for (const Listing &l : std::span(kListings).first(2))
        rows.push_back({"Peak heap, " + std::string(l.call) + " / response size", Kind::kMemory,
                        kPeakHeap + std::string(l.call), "", 3.0});
    return rows;
}

constexpr std::string_view kEncodePrefix = "BM_Encode/";
constexpr const char *kSimRate = "BM_Sharesim/SendAndReceiveIPC/threads:2";

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

std::string Duration(double seconds) {
    char text[32];
    if (seconds < 1e-6)
        std::snprintf(text, sizeof text, "%.0f ns", seconds * 1e9);
    else if (seconds < 1e-3)
        std::snprintf(text, sizeof text, "%.1f us", seconds * 1e6);
    else
        std::snprintf(text, sizeof text, "%.2f ms", seconds * 1e3);
    return text;
}

std::string Rate(double perSecond) {
    char text[32];
    std::snprintf(text, sizeof text, "%.0f/s", perSecond);
    return text;
}

std::string Megabytes(double bytes) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f MB", bytes / 1e6);
    return text;
}

}  // namespace

RatioReporter::RatioReporter()
    : ConsoleReporter(isatty(STDOUT_FILENO) ? OO_ColorTabular : OO_Tabular) {}

void RatioReporter::ReportRuns(const std::vector<Run> &runs) {
    // Repeated benchmarks show only their aggregates; the table uses every run.
    std::vector<Run> shown;
    for (const Run &run : runs) {
        if (run.run_type == Run::RT_Aggregate || run.repetitions <= 1) shown.push_back(run);
        if (run.run_type != Run::RT_Iteration || run.error_occurred || run.iterations == 0)
            continue;
        std::string key = run.run_name.function_name;
        if (run.threads > 1) key += "/threads:" + std::to_string(run.threads);
        Samples &s = samples_[key];
        s.seconds.push_back(run.real_accumulated_time / static_cast<double>(run.iterations));
        if (const auto rate = run.counters.find("items_per_second"); rate != run.counters.end())
            s.rates.push_back(rate->second.value);
        for (const auto &[name, counter] : run.counters) s.counters[name] = counter.value;
    }
    if (!shown.empty()) ConsoleReporter::ReportRuns(shown);
}

bool RatioReporter::PrintTable() const {
    bool complete = true;
    auto find = [this](const std::string &name) -> const Samples * {
        const auto it = samples_.find(name);
        return it == samples_.end() ? nullptr : &it->second;
    };

    std::printf("\n%-66s %12s %12s %7s %9s\n", "Ratio", "ours", "floor", "ratio", "target");
    for (const Row &row : Rows()) {
        const Samples *m = find(row.measured);
        const Samples *f = row.kind == Kind::kMemory ? m : find(row.floor);
        std::string ours, floor;
        double ratio = 0;
        bool measured = m != nullptr && f != nullptr;
        switch (row.kind) {
            case Kind::kTime:
                if (!measured) break;
                ours = Duration(Median(m->seconds));
                floor = Duration(Median(f->seconds));
                ratio = Median(m->seconds) / Median(f->seconds);
                break;
            case Kind::kRate:
                measured = measured && !m->rates.empty() && !f->rates.empty();
                if (!measured) break;
                ours = Rate(Median(m->rates));
                floor = Rate(Median(f->rates));
                ratio = Median(m->rates) / Median(f->rates);
                break;
            case Kind::kMemory:
            case Kind::kRss: {
                // Two byte counts: of the call and of its response, or of the child and floor.
                const bool rss = row.kind == Kind::kRss;
                const char *ourKey = rss ? "maxrss_bytes" : "peak_bytes";
                const char *floorKey = rss ? "maxrss_bytes" : "response_bytes";
                measured = measured && m->counters.count(ourKey) && f->counters.count(floorKey);
                if (!measured) break;
                ours = Megabytes(m->counters.at(ourKey));
                floor = Megabytes(f->counters.at(floorKey));
                ratio = m->counters.at(ourKey) / f->counters.at(floorKey);
                break;
            }
        }
        if (!measured) {
            std::printf("%-66s %12s %12s %7s %9s\n", row.label.c_str(), "-", "-", "-", "not run");
            complete = complete && row.target == 0;
            continue;
        }
        char target[16] = "-";
        if (row.target > 0) std::snprintf(target, sizeof target, "<= %.2f", row.target);
        const char *verdict = row.target == 0 ? "" : ratio <= row.target ? "  met" : "  MISSED";
        std::printf("%-66s %12s %12s %7.2f %9s%s\n", row.label.c_str(), ours.c_str(), floor.c_str(),
                    ratio, target, verdict);
    }

    std::printf("\nValidation and encoding alone, no I/O (per command)\n");
    for (const auto &[name, s] : samples_)
        if (std::string_view(name).starts_with(kEncodePrefix))
            std::printf("  %-64s %12s\n", name.substr(kEncodePrefix.size()).c_str(),
                        Duration(Median(s.seconds)).c_str());
    if (const Samples *sim = find(kSimRate); sim != nullptr && !sim->rates.empty())
        std::printf("\nStand-in server, 2 client threads: %s exchanges\n",
                    Rate(Median(sim->rates)).c_str());
    return complete;
}

}  // namespace share::bench
