// SPDX-License-Identifier: Apache-2.0
// Configuration documents through the reader and the check, in process against a fixed server
// state (no server: the check asks only the library's validation). Neither may throw, abort or
// hold more than the reader's limits allow; a document the check accepts must hold every value
// the server would keep, so it is also held to a few forms here.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "client/config/config.h"
#include "common/text_forms.h"
#include "fuzz/harness.h"
#include "tests/config/server.h"

namespace {

namespace config = share::client::config;

// Every text of a checked document reaches the library whole: a control character would be cut
// or refused by the server part-way.
void NoControl(const share::client::Json &value) {
    if (value.is_string() && share::tools::HasControl(value.get<std::string>())) std::abort();
    if (value.is_structured())
        for (const auto &[key, child] : value.items()) {
            if (value.is_object() && share::tools::HasControl(key)) std::abort();
            NoControl(child);
        }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    return share::fuzz::Initialize(false);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static const config::ServerState server = config::test::Server();
    std::vector<config::Problem> problems;
    const auto doc = config::ParseDocument(
        std::string_view(reinterpret_cast<const char *>(data), size), &problems);
    if (!doc) {
        if (problems.empty()) std::abort();  // refused without a reason
        return 0;
    }
    if (config::Check(*doc, server).empty()) NoControl(*doc);
    return 0;
}
