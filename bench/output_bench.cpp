// SPDX-License-Identifier: Apache-2.0
// What the tools' output layer adds to a listing of 10,000 connections: the plain table (the
// records made into JSON rows one at a time as they are written), next to CSV, a filter and a
// sort of the same.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "bench/listing_names.h"
#include "output/listings.h"
#include "output/records.h"

namespace share::bench {
namespace {

constexpr unsigned kRows = 10000;

const std::vector<ConnectionRecord> &Records() {
    static const std::vector<ConnectionRecord> records = [] {
        std::vector<ConnectionRecord> out(kRows);
        for (unsigned i = 0; i < kRows; ++i) {
            ConnectionRecord &r = out[i];
            std::memset(&r, 0, sizeof r);
            r.connectionId = static_cast<uint16_t>(i + 1);
            r.value12 = 1796700000 + i;
            r.value326 = (i * 7919) % 20000;
            r.value330 = uint64_t{i} << 20;
            std::snprintf(r.text20, sizeof r.text20, "WS-%u", 1000 + i);
            std::snprintf(r.text36, sizeof r.text36, "cn=user%u,ou=staff,o=example", i % 97);
            std::snprintf(r.text292, sizeof r.text292, "10.0.%u.%u", i / 250, i % 250);
            std::snprintf(r.text354, sizeof r.text354, "SMB 3.1.1");
            std::snprintf(r.text386, sizeof r.text386, "Kerberos");
        }
        return out;
    }();
    return records;
}

void BM_Output(benchmark::State &state, tools::OutputOptions options) {
    const auto &records = Records();
    for (auto _ : state) {
        const std::string out = tools::WriteListing(
            nullptr, options, tools::kConnectionListing,
            tools::RowsOf(records.data(), records.size(),
                          [](const ConnectionRecord &r) { return tools::ConnectionJson(r); }));
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(state.iterations() * kRows);
}

tools::OutputOptions With(tools::Format format, std::vector<tools::ActiveFilter> filters = {},
                          std::string sort = "") {
    tools::OutputOptions o;
    o.format = format;
    o.filters = std::move(filters);
    o.sort = std::move(sort);
    return o;
}

BENCHMARK_CAPTURE(BM_Output, Table, With(tools::Format::kTable))
    ->Name(kOutputTable)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Output, Csv, With(tools::Format::kCsv))
    ->Name(kOutputCsv)
    ->Unit(benchmark::kMillisecond);
// A filter that keeps every row: the test of each row without the saving of fewer rows.
BENCHMARK_CAPTURE(BM_Output, Filter,
                  With(tools::Format::kTable, {{"address", tools::ListingFilter::kPrefix, "10.0."},
                                               {"idle_seconds", tools::ListingFilter::kOver, "0"}}))
    ->Name(kOutputFilter)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Output, Sort, With(tools::Format::kTable, {}, "-idle_seconds"))
    ->Name(kOutputSort)
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace share::bench
