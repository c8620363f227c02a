// SPDX-License-Identifier: Apache-2.0
// gtest entry point shared by every test binary: isolate first, then run.
#include <gtest/gtest.h>

#include "tests/support/isolation.h"

int main(int argc, char **argv) {
    testing::InitGoogleTest(&argc, argv);
    if (!share::test::EnterPrivateNamespaces()) return 1;
    return RUN_ALL_TESTS();
}
