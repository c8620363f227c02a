// SPDX-License-Identifier: Apache-2.0
// Every server option row: what it reads back from a server's configuration dump, set through
// its setter commands on a fresh server, reads back the same.
#include <gtest/gtest.h>

#include "tests/config/server.h"
#include "tests/support/sim_process.h"

namespace share::client::config::test {
namespace {

// A value of row that its setter accepts and that differs from a fresh server's.
Json Sample(const ServerOption &row) {
    if (row.shape == OptionShape::kSet)
        return row.type == ValueType::kNamed
                   ? Json::array({{{"name", "rt1"}, {"address", "192.0.2.7"}}})
                   : Json::array({"rt1"});
    if (row.shape == OptionShape::kKeyed) {
        Json entries = Json::object();
        for (const auto &key : row.keys) entries[key] = 7 + entries.size();
        if (row.keys.empty()) entries["SRV9"] = "NO";
        return entries;
    }
    if (row.stored == nullptr) return 42;
    const tools::StoredOption &stored = *row.stored;
    for (const tools::Keyword &k : stored.keywords)
        if (k.value != stored.defaultNumber) return k.word;
    if (!stored.keywords.empty()) return stored.keywords.back().word;
    if (stored.kind == tools::ValueKind::kText || stored.kind == tools::ValueKind::kField)
        return "rt";
    return stored.max == stored.defaultNumber ? stored.min : stored.max;
}

// The server's options after applying doc; failures are the test's.
Json ApplyAndRead(const Json &doc) {
    const Decoders decode = tools::RecordDecoders();
    const ServerState before = ReadServer(decode);
    EXPECT_TRUE(before.outcome.done()) << before.outcome.message;
    for (const Problem &p : Check(doc, before))
        ADD_FAILURE() << p.pointer << ": " << tools::ProblemMessage(p);
    const Plan plan = MakePlan(doc, before, false, false);
    const ApplyResult result = Apply(plan);
    EXPECT_FALSE(result.refused) << result.refused->command << ": "
                                 << result.refused->outcome.message;
    const ServerState after = ReadServer(decode);
    EXPECT_TRUE(MakePlan(doc, after, false, false).actions.empty());
    return after.doc["options"];
}

TEST(ServerOptions, EachRowsReadBackRoundTripsThroughItsSetters) {
    Json options = Json::object();
    for (const ServerOption &row : ServerOptions()) options[row.name] = Sample(row);
    Json seeded;
    {
        share::test::SimProcess sim(SHARESIM_BIN, {});
        ASSERT_TRUE(sim.ready());
        seeded = ApplyAndRead({{"schema_version", kSchemaVersion}, {"options", options}});
    }
    share::test::SimProcess fresh(SHARESIM_BIN, {});
    ASSERT_TRUE(fresh.ready());
    const Json again = ApplyAndRead({{"schema_version", kSchemaVersion}, {"options", seeded}});
    for (const ServerOption &row : ServerOptions()) {
        SCOPED_TRACE(row.name);
        ASSERT_TRUE(seeded.contains(row.name));
        EXPECT_EQ(again[row.name], seeded[row.name]);
        EXPECT_NE(seeded[row.name], Json::array()) << "the sample was not stored";
    }
}

}  // namespace
}  // namespace share::client::config::test
